tavirin_unit_test(NAME test_selftest SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_selftest.cpp
                  LIBS tavirin_status)
