tavirin_unit_test(NAME test_emergencykinds
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_emergencykinds.cpp
  LIBS tavirin_store tavirin_platform)
