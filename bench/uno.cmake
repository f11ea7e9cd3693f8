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

# The export as tables grow: 32,767 and 100,000 records x 10 fields into an .xlsx, by phase,
# with time per record and peak memory.
add_executable(bench_sheet_size ${CMAKE_CURRENT_LIST_DIR}/bench_sheet_size.cpp)
target_link_libraries(bench_sheet_size PRIVATE
  kestrin_uno kestrin_export kestrin_mdb kestrin_jet4_writer kestrin_test_doubles)
target_compile_definitions(bench_sheet_size PRIVATE
  KESTRIN_BENCH_XLSX="${PROJECT_SOURCE_DIR}/tests/data/workbooks/chart_sheet.xlsx")
