add_executable(bench_settings settings_bench.cpp)
target_link_libraries(bench_settings PRIVATE kv_platform benchmark::benchmark benchmark::benchmark_main kv_warnings)
