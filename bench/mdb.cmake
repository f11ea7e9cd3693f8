# The Access reader (automation/mdb): every cell of a generated 32,767 x 10
# table through the interfaces, opening a database, and a saved join query.
add_executable(bench_mdb_read ${CMAKE_CURRENT_LIST_DIR}/bench_mdb_read.cpp)
target_link_libraries(bench_mdb_read PRIVATE kestrin_mdb kestrin_jet4_writer benchmark::benchmark)
