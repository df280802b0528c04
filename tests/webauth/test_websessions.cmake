tavirin_unit_test(NAME test_websessions
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_websessions.cpp
  LIBS tavirin_webauth LABELS webauth)
