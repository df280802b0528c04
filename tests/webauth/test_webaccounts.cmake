# tavirin_platform: the real settings file, to see a hash survive it.
tavirin_unit_test(NAME test_webaccounts
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_webaccounts.cpp
  LIBS tavirin_webauth tavirin_platform LABELS webauth)
