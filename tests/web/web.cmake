tavirin_unit_test(NAME test_webapi SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_webapi.cpp
                  LIBS tavirin_web tavirin_core tavirin_journal tavirin_platform TIMEOUT 180)
