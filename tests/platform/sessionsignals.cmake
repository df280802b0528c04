# SIGTERM, SIGHUP and SIGINT sent to the test itself, by itself and by another process.
tavirin_unit_test(NAME test_sessionsignals
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_sessionsignals.cpp
  LIBS tavirin_platform
  TIMEOUT 60)
