tavirin_unit_test(NAME test_timerfdalarm
                  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_timerfdalarm.cpp LIBS tavirin_platform)
# The same under a faked wall clock a year from the machine's: faketime translates the
# timerfd's absolute time, which the alarm reads through the same faked clock. Not with the
# sanitizers, whose runtime must be the first library loaded.
if(NOT TAVIRIN_SANITIZE)
  add_test(NAME test_timerfdalarm_faketime
           COMMAND faketime "2027-12-09 07:59:00" $<TARGET_FILE:test_timerfdalarm>)
  set_tests_properties(test_timerfdalarm_faketime PROPERTIES LABELS "core" TIMEOUT 60
                       ENVIRONMENT "FAKETIME_DONT_FAKE_MONOTONIC=1;QT_QPA_PLATFORM=offscreen")
endif()
