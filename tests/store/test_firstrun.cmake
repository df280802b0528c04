tavirin_unit_test(NAME test_firstrun
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_firstrun.cpp
  LIBS tavirin_store tavirin_platform)
