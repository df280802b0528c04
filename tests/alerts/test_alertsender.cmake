# tavirin_webauth: the program's own certificate maker, for the local HTTPS far end.
tavirin_unit_test(NAME test_alertsender
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_alertsender.cpp ${CMAKE_CURRENT_LIST_DIR}/localhttpserver.h
  LIBS tavirin_alerts tavirin_webauth LABELS alerts)
