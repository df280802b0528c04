tavirin_unit_test(NAME test_watching SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_watching.cpp
                  ${CMAKE_CURRENT_LIST_DIR}/coreharness.h LIBS tavirin_core tavirin_scheduler tavirin_platform)
