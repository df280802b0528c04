# Bell journal: what a bell's writes cost on a real SQLite file.
add_executable(journal_bench ${CMAKE_CURRENT_LIST_DIR}/journal_bench.cpp)
target_link_libraries(journal_bench PRIVATE tavirin_journal tavirin_platform_api)
