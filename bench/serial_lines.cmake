# The simulated drive's command line and configuration come with the program's own sources.
add_executable(bench_serial_lines serial_lines_bench.cpp ${CMAKE_SOURCE_DIR}/tools/simdrive/options.cpp
                                  ${CMAKE_SOURCE_DIR}/tools/simdrive/configure.cpp)
target_link_libraries(bench_serial_lines PRIVATE kv_core kv_simdrive benchmark::benchmark benchmark::benchmark_main
                                                 kv_warnings)
target_compile_definitions(bench_serial_lines PRIVATE KV_DEMO_CONFIG="${CMAKE_SOURCE_DIR}/demo/Kestravel.cfg")
