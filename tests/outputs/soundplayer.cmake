tavirin_unit_test(NAME test_soundplayer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_soundplayer.cpp
  LIBS tavirin_outputs tavirin_platform
  TIMEOUT 60)
