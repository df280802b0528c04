# Time from switchOn to the relay's lines raised, the adapter's own part.
add_executable(relay_bench ${CMAKE_CURRENT_LIST_DIR}/relay_bench.cpp)
target_link_libraries(relay_bench PRIVATE tavirin_outputs tavirin_store tavirin_model
                                          tavirin_platform tavirin_fakes)
