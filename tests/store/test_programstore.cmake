tavirin_unit_test(NAME test_programstore
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_programstore.cpp
  LIBS tavirin_store tavirin_platform)
