# Reuses the crash writer of the store tests.
tavirin_unit_test(NAME test_killloop SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_killloop.cpp
                  LIBS tavirin_store tavirin_platform)
target_compile_definitions(test_killloop PRIVATE
  TAVIRIN_CRASH_WRITER="$<TARGET_FILE:store_crash_writer>")
add_dependencies(test_killloop store_crash_writer)
