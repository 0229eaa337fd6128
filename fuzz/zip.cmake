# The zip directory reader's fuzz target; its seeds are tests/data/zip/corpus.
set(ZIP_FUZZ_SOURCES
  ${CODEC_FUZZ_ROOT}/zip/avexcept.cpp ${CODEC_FUZZ_ROOT}/zip/avstream.cpp ${CODEC_FUZZ_ROOT}/zip/avutils.cpp
  ${CODEC_FUZZ_ROOT}/zip/avrecords.cpp ${CODEC_FUZZ_ROOT}/zip/avdirmgr.cpp ${CODEC_FUZZ_ROOT}/zip/avoptions.cpp)
add_executable(fuzz_zip_directory zip_directory.cpp ${ZIP_FUZZ_SOURCES})
target_include_directories(fuzz_zip_directory PRIVATE ${CODEC_FUZZ_ROOT})
target_compile_options(fuzz_zip_directory PRIVATE ${SANITIZE} -fsanitize=fuzzer-no-link)
target_link_options(fuzz_zip_directory PRIVATE ${SANITIZE} -fsanitize=fuzzer)
