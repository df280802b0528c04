tavirin_unit_test(NAME test_networkdialog GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_networkdialog.cpp
  LIBS tavirin_ui)
