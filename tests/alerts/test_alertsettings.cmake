# tavirin_platform: the real settings file, to see the settings survive it.
tavirin_unit_test(NAME test_alertsettings
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_alertsettings.cpp
  LIBS tavirin_alerts tavirin_platform LABELS alerts)
