tavirin_unit_test(NAME test_certificate
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_certificate.cpp
  LIBS tavirin_webauth LABELS webauth)
