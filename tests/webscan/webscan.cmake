tavirin_unit_test(NAME test_requestscanner SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_requestscanner.cpp
                  LIBS tavirin_web)
