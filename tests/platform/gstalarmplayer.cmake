tavirin_unit_test(NAME test_gstalarmplayer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_gstalarmplayer.cpp
  LIBS tavirin_platform
  TIMEOUT 120)
