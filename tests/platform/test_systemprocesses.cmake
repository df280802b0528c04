tavirin_unit_test(NAME test_systemprocesses
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_systemprocesses.cpp
  LIBS tavirin_platform)
