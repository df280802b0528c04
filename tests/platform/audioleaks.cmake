# 200 sounds into a real PulseAudio null sink; GStreamer's leak tracer counts the live objects.
tavirin_unit_test(NAME test_audioleaks
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_audioleaks.cpp
  LIBS tavirin_platform PkgConfig::GST
  TIMEOUT 120)
if(TARGET test_audioleaks)
  set_property(TEST test_audioleaks APPEND PROPERTY ENVIRONMENT "GST_TRACERS=leaks")
endif()
