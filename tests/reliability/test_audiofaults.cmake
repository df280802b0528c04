tavirin_unit_test(NAME test_audiofaults SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_audiofaults.cpp
                  LIBS tavirin_core tavirin_scheduler tavirin_platform TIMEOUT 120)
