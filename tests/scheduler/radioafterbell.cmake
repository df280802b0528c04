# A stand-in for a web browser (none is installed on the test machine), put into the test's
# PATH under a browser's name.
add_executable(standin_browser ${CMAKE_CURRENT_LIST_DIR}/../support/standinbrowser.cpp)
tavirin_unit_test(NAME test_radioafterbell SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_radioafterbell.cpp
                  LIBS tavirin_core tavirin_scheduler tavirin_platform PkgConfig::GST TIMEOUT 120)
if(TARGET test_radioafterbell)
  target_compile_definitions(test_radioafterbell PRIVATE
                             TAVIRIN_STANDIN_BROWSER="$<TARGET_FILE:standin_browser>")
  add_dependencies(test_radioafterbell standin_browser)
endif()
