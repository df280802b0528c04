tavirin_unit_test(NAME test_widgetdialogs GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_widgetdialogs.cpp
  LIBS tavirin_platform_gui)
