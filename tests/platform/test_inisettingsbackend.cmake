tavirin_unit_test(NAME test_inisettingsbackend
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_inisettingsbackend.cpp
  LIBS tavirin_platform)
