# The morning self-test's cost on the default library: wall and CPU time per run.
add_executable(selftest_bench ${CMAKE_CURRENT_LIST_DIR}/selftest_bench.cpp)
target_link_libraries(selftest_bench PRIVATE tavirin_status tavirin_platform tavirin_fakes)
target_compile_definitions(selftest_bench PRIVATE TAVIRIN_BENCH_SOUNDLIB="${TAVIRIN_SOUNDLIB_DIR}")
target_include_directories(selftest_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
