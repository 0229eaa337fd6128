# The zip directory reader's fuzz target; its seeds are tests/data/zip/corpus.
set(ZIP_FUZZ_SOURCES
  ${CODEC_FUZZ_ROOT}/zip/avexcept.cpp ${CODEC_FUZZ_ROOT}/zip/avstream.cpp ${CODEC_FUZZ_ROOT}/zip/avutils.cpp
  ${CODEC_FUZZ_ROOT}/zip/avrecords.cpp ${CODEC_FUZZ_ROOT}/zip/avdirmgr.cpp ${CODEC_FUZZ_ROOT}/zip/avoptions.cpp)
add_executable(fuzz_zip_directory zip_directory.cpp ${ZIP_FUZZ_SOURCES})
target_include_directories(fuzz_zip_directory PRIVATE ${CODEC_FUZZ_ROOT})
target_compile_options(fuzz_zip_directory PRIVATE ${SANITIZE} -fsanitize=fuzzer-no-link)
target_link_options(fuzz_zip_directory PRIVATE ${SANITIZE} -fsanitize=fuzzer)
# Test-mode extraction; its seeds are tests/data/zip/extract-corpus.
find_package(ZLIB REQUIRED)
add_executable(fuzz_zip_extract zip_extract.cpp ${ZIP_FUZZ_SOURCES}
  ${CODEC_FUZZ_ROOT}/zip/arkivolt.cpp ${CODEC_FUZZ_ROOT}/zip/avadd.cpp ${CODEC_FUZZ_ROOT}/zip/avextract.cpp
  ${CODEC_FUZZ_ROOT}/zip/avcrypt.cpp ${CODEC_FUZZ_ROOT}/zip/avzlib.cpp ${CODEC_FUZZ_ROOT}/platform/ui/prompter.cpp)
target_include_directories(fuzz_zip_extract PRIVATE ${CODEC_FUZZ_ROOT})
target_compile_options(fuzz_zip_extract PRIVATE ${SANITIZE} -fsanitize=fuzzer-no-link)
target_link_options(fuzz_zip_extract PRIVATE ${SANITIZE} -fsanitize=fuzzer)
target_link_libraries(fuzz_zip_extract PRIVATE ZLIB::ZLIB)
