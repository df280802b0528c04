tavirin_unit_test(NAME test_weeksoak SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_weeksoak.cpp
                  LIBS tavirin_core tavirin_scheduler tavirin_outputs tavirin_platform)
