tavirin_unit_test(NAME test_dayplan SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_dayplan.cpp
                  LIBS tavirin_calendar tavirin_platform)
tavirin_unit_test(NAME test_dayrules SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_dayrules.cpp
                  LIBS tavirin_calendar tavirin_platform)
