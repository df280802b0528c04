# From StartEmergency to the first buffer of the evacuation signal at the sink.
add_executable(emergency_bench ${CMAKE_CURRENT_LIST_DIR}/emergency_bench.cpp)
target_link_libraries(emergency_bench PRIVATE tavirin_core tavirin_platform tavirin_fakes PkgConfig::GST)
target_compile_definitions(emergency_bench PRIVATE TAVIRIN_BENCH_SOUNDLIB="${TAVIRIN_SOUNDLIB_DIR}")
target_include_directories(emergency_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
