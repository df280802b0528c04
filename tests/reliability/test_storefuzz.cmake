tavirin_unit_test(NAME test_storefuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_storefuzz.cpp
                  ${CMAKE_CURRENT_LIST_DIR}/storefuzz.h LIBS tavirin_core tavirin_scheduler tavirin_platform)
