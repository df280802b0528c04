tavirin_unit_test(NAME test_gstradioplayer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_gstradioplayer.cpp
  LIBS tavirin_platform Qt6::Network PkgConfig::GST
  TIMEOUT 120)
