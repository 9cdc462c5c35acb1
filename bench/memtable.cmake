find_package(SQLite3 REQUIRED)
add_executable(bench_memtable memtable_bench.cpp)
target_link_libraries(bench_memtable PRIVATE kv_memtable SQLite::SQLite3 benchmark::benchmark benchmark::benchmark_main kv_warnings)
