tavirin_unit_test(NAME test_bellrealtime SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_bellrealtime.cpp
                  LIBS tavirin_core tavirin_scheduler tavirin_platform PkgConfig::GST TIMEOUT 120)
# It listens for gaps of half a millisecond at a 20 ms sink: with another test beside it on a
# two-core machine the sound server itself can be starved, so it runs alone.
if(TARGET test_bellrealtime)
  set_tests_properties(test_bellrealtime PROPERTIES RUN_SERIAL TRUE)
endif()
