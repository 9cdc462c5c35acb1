// Options every fuzz target starts with (ASAN_OPTIONS still overrides them).
// - A report keeps ten frames of the stacks that allocated and freed the memory it is about, not
//   thirty: recording those stacks at every allocation took about a tenth of a fuzzing run, and
//   ten frames name the code that allocated. The stack of the fault itself is never cut.
// - Freed memory waits in a quarantine of 4 MB before it is used again, not 256 MB: an
//   allocation then takes memory that is still in the cache, where the large quarantine made
//   every allocation miss it (a sixth of the workbook reader's run). A use after free is still
//   caught while less than 4 MB has been freed since, which is more than most inputs free.
extern "C" const char* __asan_default_options() { return "malloc_context_size=10:quarantine_size_mb=4"; }
