tavirin_unit_test(NAME test_selfcheckprobes
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_selfcheckprobes.cpp
  LIBS tavirin_platform Qt6::DBus
  TIMEOUT 60)
