tavirin_unit_test(NAME test_gstaudiooutput
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_gstaudiooutput.cpp
  LIBS tavirin_platform
  TIMEOUT 120)
