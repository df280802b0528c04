# Cost of one scheduler tick (Timer3) while watching, on the control model.
add_executable(tick_bench ${CMAKE_CURRENT_LIST_DIR}/tick_bench.cpp)
target_include_directories(tick_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/scheduler)
target_link_libraries(tick_bench PRIVATE tavirin_core tavirin_scheduler tavirin_platform tavirin_fakes Qt6::Test)
