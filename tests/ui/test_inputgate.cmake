tavirin_unit_test(NAME test_inputgate GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_inputgate.cpp
  LIBS tavirin_ui)
