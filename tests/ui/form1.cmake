tavirin_unit_test(NAME test_form1 GUI SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_form1.cpp LIBS tavirin_ui)
