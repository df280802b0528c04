tavirin_unit_test(NAME test_bellsbus SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_bellsbus.cpp
                  LIBS tavirin_dbus tavirin_core tavirin_platform)
