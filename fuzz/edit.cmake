# The typed edit control's text rules need Qt Core only: built here from their source, so that
# the fuzz build needs no windows.
find_package(Qt6 REQUIRED COMPONENTS Core)
kv_add_fuzzer(edit_text edit_text_fuzz.cpp ${CMAKE_SOURCE_DIR}/controls/edit/edit_text.cpp)
target_link_libraries(fuzz_edit_text PRIVATE Qt6::Core)
