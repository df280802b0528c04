# The wake alarm helper's logic against a model of the kernel's node and a file standing in.
tavirin_unit_test(NAME test_wakealarmcommand
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_wakealarmcommand.cpp
  LIBS tavirin_wakealarm)

# The sanitizer build makes only what the core set needs: the two tests below need the helper.
set_property(GLOBAL APPEND PROPERTY TAVIRIN_CORE_TESTS tavirin-wakealarm)

# The installed program itself refuses what it must (never given arguments it would act on:
# these tests may run as root on a machine with an RTC).
add_test(NAME test_wakealarm_program
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/wakealarm_program.sh $<TARGET_FILE:tavirin-wakealarm>)
set_tests_properties(test_wakealarm_program PROPERTIES LABELS "core" TIMEOUT 30)

# The polkit action: valid against polkit's DTD (polkitd's), the three defaults, and the
# helper installed at the path it names (needs xmllint, libxml2-utils).
add_test(NAME test_wakealarm_policy
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/wakealarm_policy.sh
                 ${CMAKE_SOURCE_DIR}/src/wakehelper/org.tavirin.wakealarm.policy ${CMAKE_BINARY_DIR}
                 ${CMAKE_COMMAND})
set_tests_properties(test_wakealarm_policy PROPERTIES LABELS "core" TIMEOUT 60)
