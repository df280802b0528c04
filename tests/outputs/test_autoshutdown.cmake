tavirin_unit_test(NAME test_autoshutdown
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_autoshutdown.cpp
  LIBS tavirin_outputs tavirin_store tavirin_model)
