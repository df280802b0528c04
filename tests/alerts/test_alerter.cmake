# The alerter over the real core and journal, against a LINE-like far end on this machine.
tavirin_unit_test(NAME test_alerter
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_alerter.cpp ${CMAKE_CURRENT_LIST_DIR}/localhttpserver.h
  LIBS tavirin_alerts tavirin_core tavirin_journal tavirin_platform LABELS alerts TIMEOUT 120)
