# Starts the real program as a second process.
tavirin_unit_test(NAME test_singleinstance GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_singleinstance.cpp
  LIBS tavirin_ui)
if(TARGET test_singleinstance)
  target_compile_definitions(test_singleinstance PRIVATE TAVIRIN_BINARY="$<TARGET_FILE:tavirin>")
  add_dependencies(test_singleinstance tavirin)
endif()
