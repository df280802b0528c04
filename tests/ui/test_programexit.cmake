# The whole program in this process, on its real adapters.
tavirin_unit_test(NAME test_programexit GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_programexit.cpp
  LIBS tavirin_ui)
