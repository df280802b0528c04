# PkexecRtcWake against a stand-in for pkexec that runs the helper's logic on a file (never
# the real pkexec, never the real RTC).
include(GNUInstallDirs)
add_executable(wakealarm_testnode ${CMAKE_CURRENT_LIST_DIR}/wakealarm_testnode.cpp)
target_link_libraries(wakealarm_testnode PRIVATE tavirin_wakealarm)
tavirin_unit_test(NAME test_pkexecrtcwake
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_pkexecrtcwake.cpp
  LIBS tavirin_platform)
if(TARGET test_pkexecrtcwake)
  add_dependencies(test_pkexecrtcwake wakealarm_testnode)
  target_compile_definitions(test_pkexecrtcwake PRIVATE
    TAVIRIN_WAKEALARM_TESTNODE="$<TARGET_FILE:wakealarm_testnode>"
    TAVIRIN_PACKAGED_HELPER="/usr/${CMAKE_INSTALL_LIBEXECDIR}/tavirin/tavirin-wakealarm")
endif()

