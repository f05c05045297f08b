# The libFuzzer targets (tests/fuzz/<name>.cpp, corpus in tests/fuzz/corpus/<name>),
# read by the fuzz project, the ctest registration and tools/run-fuzzers.sh.
set(WYK_FUZZ_TARGETS options_fuzz registry_fuzz version_fuzz paths_fuzz log_stamp_fuzz)
