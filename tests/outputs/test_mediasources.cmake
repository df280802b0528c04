tavirin_unit_test(NAME test_mediasources
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_mediasources.cpp
  LIBS tavirin_outputs tavirin_store tavirin_model)
