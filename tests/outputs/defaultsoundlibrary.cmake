tavirin_unit_test(NAME test_defaultsoundlibrary
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_defaultsoundlibrary.cpp
  LIBS tavirin_outputs tavirin_scheduler tavirin_platform Qt6::Gui
  TIMEOUT 60)
add_dependencies(test_defaultsoundlibrary soundlib)
