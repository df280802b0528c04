tavirin_unit_test(NAME test_systemctlpower
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_systemctlpower.cpp
  LIBS tavirin_platform)
