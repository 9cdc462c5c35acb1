kv_add_fuzzer(calc calc_fuzz.cpp)
target_link_libraries(fuzz_calc PRIVATE kv_xls_formula kv_xls_model)
