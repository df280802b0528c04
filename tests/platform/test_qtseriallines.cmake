tavirin_unit_test(NAME test_qtseriallines
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_qtseriallines.cpp
  LIBS tavirin_platform)
