tavirin_unit_test(NAME test_todayview GUI SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_todayview.cpp
                  LIBS tavirin_ui)
