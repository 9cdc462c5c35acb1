kv_add_fuzzer(config config_fuzz.cpp)
target_link_libraries(fuzz_config PRIVATE kv_core)
kv_add_fuzzer(documents documents_fuzz.cpp)
target_link_libraries(fuzz_documents PRIVATE kv_core)
