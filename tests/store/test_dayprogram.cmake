tavirin_unit_test(NAME test_dayprogram
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_dayprogram.cpp
  LIBS tavirin_store tavirin_platform)
