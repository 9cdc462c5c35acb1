if(KV_GUI)
  add_executable(bench_report report_bench.cpp)
  target_link_libraries(bench_report PRIVATE kv_ui_main benchmark::benchmark kv_warnings)
endif()
