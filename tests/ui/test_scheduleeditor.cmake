tavirin_unit_test(NAME test_scheduleeditor GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_scheduleeditor.cpp
  LIBS tavirin_ui)
