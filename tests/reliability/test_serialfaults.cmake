tavirin_unit_test(NAME test_serialfaults SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_serialfaults.cpp
                  LIBS tavirin_core tavirin_scheduler tavirin_platform)
