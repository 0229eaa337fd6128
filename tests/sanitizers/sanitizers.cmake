# The run-time options of the sanitizer build (PELLIWOX_SANITIZE), added to
# the environment of every test binary (pelliwox_test), so that the programs
# a test starts inherit them too: the first report stops the process with a
# stack trace, and its exit fails the test.
set(PELLIWOX_SANITIZER_ENV
  "ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1:detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1"
  "UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1"
  "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan.supp:print_suppressions=0")
