# The zip directory reader's fuzz target; its seeds are tests/data/zip/corpus.
set(ZIP_FUZZ_SOURCES
  ${CODEC_FUZZ_ROOT}/zip/avexcept.cpp ${CODEC_FUZZ_ROOT}/zip/avstream.cpp ${CODEC_FUZZ_ROOT}/zip/avutils.cpp
  ${CODEC_FUZZ_ROOT}/zip/avrecords.cpp ${CODEC_FUZZ_ROOT}/zip/avdirmgr.cpp ${CODEC_FUZZ_ROOT}/zip/avoptions.cpp)
# The records know AES entries' field, which lives beside the AES code and
# its crypto (over the codecs' platform and DES/MD4 objects).
file(GLOB ZIP_CRYPTO_FUZZ_SOURCES ${CODEC_FUZZ_ROOT}/zip/crypto/*.cpp)
list(APPEND ZIP_FUZZ_SOURCES ${CODEC_FUZZ_ROOT}/zip/avaes.cpp ${ZIP_CRYPTO_FUZZ_SOURCES}
  ${CODEC_FUZZ_ROOT}/platform/rtl/streams.cpp)
add_executable(fuzz_zip_directory zip_directory.cpp ${ZIP_FUZZ_SOURCES})
target_include_directories(fuzz_zip_directory PRIVATE ${CODEC_FUZZ_ROOT})
target_compile_options(fuzz_zip_directory PRIVATE ${SANITIZE} -fsanitize=fuzzer-no-link)
target_link_options(fuzz_zip_directory PRIVATE ${SANITIZE} -fsanitize=fuzzer)
# Test-mode extraction; its seeds are tests/data/zip/extract-corpus.
find_package(ZLIB REQUIRED)
add_executable(fuzz_zip_extract zip_extract.cpp ${ZIP_FUZZ_SOURCES}
  ${CODEC_FUZZ_ROOT}/zip/arkivolt.cpp ${CODEC_FUZZ_ROOT}/zip/avadd.cpp ${CODEC_FUZZ_ROOT}/zip/avextract.cpp
  ${CODEC_FUZZ_ROOT}/zip/avcrypt.cpp ${CODEC_FUZZ_ROOT}/zip/avzlib.cpp ${CODEC_FUZZ_ROOT}/platform/ui/prompter.cpp
  ${CODEC_FUZZ_ROOT}/zip/avedit.cpp ${CODEC_FUZZ_ROOT}/zip/avvolume.cpp)
target_include_directories(fuzz_zip_extract PRIVATE ${CODEC_FUZZ_ROOT})
target_compile_options(fuzz_zip_extract PRIVATE ${SANITIZE} -fsanitize=fuzzer-no-link)
target_link_options(fuzz_zip_extract PRIVATE ${SANITIZE} -fsanitize=fuzzer)
target_link_libraries(fuzz_zip_extract PRIVATE ZLIB::ZLIB)
target_link_libraries(fuzz_zip_extract PRIVATE fuzz_codecs)
target_link_libraries(fuzz_zip_directory PRIVATE fuzz_codecs)
# AES entries as a reader meets them; seeds in tests/data/zip/aes_corpus.
add_executable(fuzz_zip_aes_entry zip_aes_entry.cpp ${ZIP_FUZZ_SOURCES})
target_include_directories(fuzz_zip_aes_entry PRIVATE ${CODEC_FUZZ_ROOT})
target_compile_options(fuzz_zip_aes_entry PRIVATE ${SANITIZE} -fsanitize=fuzzer-no-link)
target_link_options(fuzz_zip_aes_entry PRIVATE ${SANITIZE} -fsanitize=fuzzer)
target_link_libraries(fuzz_zip_aes_entry PRIVATE fuzz_codecs)
