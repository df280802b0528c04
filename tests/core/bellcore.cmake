tavirin_unit_test(NAME test_bellcore SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_bellcore.cpp
                  LIBS tavirin_core tavirin_journal tavirin_platform)
