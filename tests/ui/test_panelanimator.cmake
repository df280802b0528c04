tavirin_unit_test(NAME test_panelanimator GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_panelanimator.cpp
  LIBS tavirin_ui tavirin_model)
