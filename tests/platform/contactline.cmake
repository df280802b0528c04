# The emergency contact: its debounce and test double, and the TIOCMIWAIT adapter (against a
# pseudo-terminal and a stand-in for the driver; no real modem lines are needed).
tavirin_unit_test(NAME test_contactline
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_contactline.cpp
  LIBS tavirin_platform_api)
tavirin_unit_test(NAME test_tiocmiwaitcontact
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_tiocmiwaitcontact.cpp
  LIBS tavirin_platform
  TIMEOUT 60)
