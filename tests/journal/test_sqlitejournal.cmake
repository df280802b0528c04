tavirin_unit_test(NAME test_sqlitejournal
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_sqlitejournal.cpp
  LIBS tavirin_journal)
