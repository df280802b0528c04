# Cost of one animation tick on the real main window (offscreen), against the frame tick.
add_executable(animation_bench ${CMAKE_CURRENT_LIST_DIR}/animation_bench.cpp)
target_link_libraries(animation_bench PRIVATE tavirin_ui tavirin_model)
