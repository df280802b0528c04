tavirin_unit_test(NAME test_alarmtones
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_alarmtones.cpp
  LIBS tavirin_outputs tavirin_platform
  TIMEOUT 60)
