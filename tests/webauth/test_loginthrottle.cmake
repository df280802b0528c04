tavirin_unit_test(NAME test_loginthrottle
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_loginthrottle.cpp
  LIBS tavirin_webauth LABELS webauth)
