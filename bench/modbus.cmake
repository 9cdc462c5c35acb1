add_executable(bench_modbus modbus_bench.cpp)
target_link_libraries(bench_modbus PRIVATE kv_core kv_simdrive benchmark::benchmark benchmark::benchmark_main kv_warnings)
