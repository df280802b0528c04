# Silence between two playWait sounds at the sink, time for playBlip to return.
add_executable(sound_bench ${CMAKE_CURRENT_LIST_DIR}/sound_bench.cpp)
target_link_libraries(sound_bench PRIVATE tavirin_outputs tavirin_platform tavirin_fakes)
