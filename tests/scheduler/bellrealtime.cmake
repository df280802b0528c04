tavirin_unit_test(NAME test_bellrealtime SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_bellrealtime.cpp
                  LIBS tavirin_scheduler tavirin_platform PkgConfig::GST TIMEOUT 120)
