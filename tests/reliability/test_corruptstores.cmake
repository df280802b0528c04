tavirin_unit_test(NAME test_corruptstores GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_corruptstores.cpp ${CMAKE_CURRENT_LIST_DIR}/storefuzz.h
  LIBS tavirin_ui)
