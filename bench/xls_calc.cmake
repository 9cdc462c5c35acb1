add_executable(bench_xls_calc xls_calc_bench.cpp)
target_link_libraries(bench_xls_calc PRIVATE kv_xls_io benchmark::benchmark benchmark::benchmark_main kv_warnings)
target_compile_definitions(bench_xls_calc PRIVATE KV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
