# Settings store: bursts on a real file and the reads of a firing period.
add_executable(store_bench ${CMAKE_CURRENT_LIST_DIR}/store_bench.cpp)
target_link_libraries(store_bench PRIVATE tavirin_store tavirin_platform)
