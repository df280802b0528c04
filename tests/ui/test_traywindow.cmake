tavirin_unit_test(NAME test_traywindow GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_traywindow.cpp
  LIBS tavirin_ui)
