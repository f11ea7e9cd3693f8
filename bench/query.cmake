# The saved-query engine: loading a 32,767-row table into SQLite and running
# join and totals queries over it.
add_executable(bench_query ${CMAKE_CURRENT_LIST_DIR}/bench_query.cpp)
target_link_libraries(bench_query PRIVATE kestrin_mdb_query benchmark::benchmark)
