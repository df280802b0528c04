# Word gaps at a PulseAudio null sink (low and default latency), the 08:00 bell's length
# against its files, five blips.
add_executable(sound_bench ${CMAKE_CURRENT_LIST_DIR}/sound_bench.cpp)
target_link_libraries(sound_bench PRIVATE tavirin_outputs tavirin_scheduler tavirin_platform tavirin_fakes)
target_compile_definitions(sound_bench PRIVATE TAVIRIN_BENCH_SOUNDLIB="${TAVIRIN_SOUNDLIB_DIR}")
target_include_directories(sound_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
