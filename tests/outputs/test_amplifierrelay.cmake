tavirin_unit_test(NAME test_amplifierrelay
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_amplifierrelay.cpp
  LIBS tavirin_outputs tavirin_store tavirin_model)
