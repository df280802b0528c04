tavirin_unit_test(NAME test_gstaudiooutput_noapp
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_gstaudiooutput_noapp.cpp
  LIBS tavirin_platform
  TIMEOUT 60)
