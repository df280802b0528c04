# The writer that the durability test kills at random moments.
add_executable(store_crash_writer ${CMAKE_CURRENT_LIST_DIR}/store_crash_writer.cpp)
target_link_libraries(store_crash_writer PRIVATE tavirin_store tavirin_platform)

tavirin_unit_test(NAME test_storedurability
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_storedurability.cpp
  LIBS tavirin_store tavirin_platform)
target_compile_definitions(test_storedurability PRIVATE
  TAVIRIN_CRASH_WRITER="$<TARGET_FILE:store_crash_writer>")
add_dependencies(test_storedurability store_crash_writer)
