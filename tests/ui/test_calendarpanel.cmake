tavirin_unit_test(NAME test_calendarpanel GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_calendarpanel.cpp
  LIBS tavirin_ui)
