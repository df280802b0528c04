tavirin_unit_test(NAME test_emergency SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_emergency.cpp
                  LIBS tavirin_core tavirin_journal tavirin_platform)
