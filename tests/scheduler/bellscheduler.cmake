tavirin_unit_test(NAME test_bellscheduler SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_bellscheduler.cpp
                  ${CMAKE_CURRENT_LIST_DIR}/coreharness.h LIBS tavirin_core tavirin_scheduler tavirin_journal tavirin_platform)
