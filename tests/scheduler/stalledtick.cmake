# The real program frozen across a bell's second; its clock moved by libfaketime.
find_file(TAVIRIN_LIBFAKETIME libfaketime.so.1
          PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/faketime /usr/lib/faketime)
if(TAVIRIN_LIBFAKETIME)
  tavirin_unit_test(NAME test_stalledtick GUI
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_stalledtick.cpp
    LIBS tavirin_store tavirin_platform Qt6::Sql TIMEOUT 90)
  if(TARGET test_stalledtick)
    target_compile_definitions(test_stalledtick PRIVATE TAVIRIN_BINARY="$<TARGET_FILE:tavirin>"
                                                        LIBFAKETIME="${TAVIRIN_LIBFAKETIME}")
    add_dependencies(test_stalledtick tavirin soundlib)
  endif()
else()
  message(WARNING "libfaketime not found: test_stalledtick is not built")
endif()
