// Sanitizer defaults for the unit tests: allocation failure must reach the engine's own
// "Out of memory" handling instead of aborting the test process.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:detect_leaks=1";
}
#endif
