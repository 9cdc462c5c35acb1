// Options every fuzz target starts with (ASAN_OPTIONS still overrides them). A report keeps ten
// frames of the stacks that allocated and freed the memory it is about, not thirty: recording
// those stacks at every allocation took about a tenth of a fuzzing run, and ten frames name the
// code that allocated. The stack of the fault itself is never cut.
extern "C" const char* __asan_default_options() { return "malloc_context_size=10"; }
