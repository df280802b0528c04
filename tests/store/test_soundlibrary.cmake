tavirin_unit_test(NAME test_soundlibrary
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_soundlibrary.cpp
  LIBS tavirin_store)
