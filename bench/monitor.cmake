# One monitor tick of the largest test model over a pseudo-terminal (needs the windows).
if(TARGET kv_ui_drive)
  add_executable(bench_monitor monitor_bench.cpp)
  target_link_libraries(bench_monitor PRIVATE kv_ui_drive kv_simdrive benchmark::benchmark kv_warnings)
  target_compile_definitions(bench_monitor PRIVATE KV_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data")
endif()
