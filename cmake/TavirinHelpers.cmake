# A library made of every source in its folder (sub-folders included).
function(tavirin_layer_library name)
  cmake_parse_arguments(ARG "" "" "LINKS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  foreach(ex IN LISTS ARG_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${ex}")
  endforeach()
  if(NOT srcs)
    # A layer that has no code yet still links.
    set(placeholder ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${placeholder} "")
    set(srcs ${placeholder})
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LINKS})
endfunction()

# One Qt Test executable per unit, registered with CTest.
#   tavirin_unit_test(NAME name SOURCES a.cpp ... LIBS lib ... [GUI] [TIMEOUT s] [LABELS l])
function(tavirin_unit_test)
  cmake_parse_arguments(ARG "GUI" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE Qt6::Test tavirin_fakes ${ARG_LIBS})
  target_include_directories(${ARG_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
  set(env "QT_QPA_PLATFORM=offscreen" "TAVIRIN_SOUNDLIB_DIR=${TAVIRIN_SOUNDLIB_DIR}"
          "TAVIRIN_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data" "ASAN_OPTIONS=detect_leaks=0")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  # Tests without widgets form the "core" set that also runs under the sanitizers.
  set(labels ${ARG_LABELS})
  if(ARG_GUI)
    list(APPEND labels gui)
  else()
    list(APPEND labels core)
  endif()
  set_tests_properties(${ARG_NAME} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${ARG_TIMEOUT}
                                              LABELS "${labels}")
endfunction()
