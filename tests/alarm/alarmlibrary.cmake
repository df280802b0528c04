tavirin_unit_test(NAME test_alarmlibrary
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_alarmlibrary.cpp
  LIBS tavirin_outputs tavirin_store tavirin_platform
  TIMEOUT 60)
add_dependencies(test_alarmlibrary soundlib)
