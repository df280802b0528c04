tavirin_unit_test(NAME test_startup GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_startup.cpp
  LIBS tavirin_ui)
