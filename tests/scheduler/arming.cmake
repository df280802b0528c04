tavirin_unit_test(NAME test_arming SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_arming.cpp
                  LIBS tavirin_scheduler)
