tavirin_unit_test(NAME test_webpasswords
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_webpasswords.cpp
  LIBS tavirin_webauth LABELS webauth)
