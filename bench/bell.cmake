# From the trigger second to the first sample of the front chime at the sink.
add_executable(bell_bench ${CMAKE_CURRENT_LIST_DIR}/bell_bench.cpp)
target_link_libraries(bell_bench PRIVATE tavirin_core tavirin_scheduler tavirin_platform tavirin_fakes PkgConfig::GST)
target_compile_definitions(bell_bench PRIVATE TAVIRIN_BENCH_SOUNDLIB="${TAVIRIN_SOUNDLIB_DIR}")
target_include_directories(bell_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
