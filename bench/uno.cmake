# The whole export, a generated database through the Access reader into an .xls
# through the office over UNO, 32,767 x 10 cells, with and without starting the office, and cell by cell.
add_executable(bench_uno_export ${CMAKE_CURRENT_LIST_DIR}/bench_uno_export.cpp)
target_link_libraries(bench_uno_export PRIVATE
  kestrin_uno kestrin_export kestrin_mdb kestrin_jet4_writer kestrin_test_doubles benchmark::benchmark)
target_compile_definitions(bench_uno_export PRIVATE
  KESTRIN_BENCH_WORKBOOK="${PROJECT_SOURCE_DIR}/tests/data/workbooks/WithChart.xls")

# The same export against the mdb-export + soffice --convert-to pipeline, cold and warm, by phase.
add_executable(bench_pipeline ${CMAKE_CURRENT_LIST_DIR}/bench_pipeline.cpp)
target_link_libraries(bench_pipeline PRIVATE
  kestrin_uno kestrin_workbook kestrin_export kestrin_mdb kestrin_jet4_writer kestrin_test_doubles)
target_compile_definitions(bench_pipeline PRIVATE
  KESTRIN_BENCH_WORKBOOK="${PROJECT_SOURCE_DIR}/tests/data/workbooks/WithChart.xls"
  KESTRIN_OFFICE_PROGRAM_DIR="${KESTRIN_OFFICE_PROGRAM_DIR}")
