# The PNG decoder's fuzz target: the codec's sources (no Qt) and zlib; its
# seed corpus is the PngSuite in tests/data/pngsuite.
find_package(ZLIB REQUIRED)
set(PNG_FUZZ_TARGETS png_decode)
file(GLOB PNG_FUZZ_SOURCES ${CODEC_FUZZ_ROOT}/png/*.cpp)
list(FILTER PNG_FUZZ_SOURCES EXCLUDE REGEX "pngpicture\\.cpp$")
# The run-time library pieces the codec opens its files with.
list(APPEND PNG_FUZZ_SOURCES ${CODEC_FUZZ_ROOT}/platform/rtl/fileio.cpp ${CODEC_FUZZ_ROOT}/platform/rtl/sysutils.cpp)
if(NOT DEFINED PNG_FUZZ_REPLAY)
  add_library(fuzz_png OBJECT ${PNG_FUZZ_SOURCES})
  target_include_directories(fuzz_png PUBLIC ${CODEC_FUZZ_ROOT})
  target_compile_options(fuzz_png PUBLIC ${SANITIZE} -fsanitize=fuzzer-no-link)
  target_link_libraries(fuzz_png PUBLIC ZLIB::ZLIB)
  foreach(t ${PNG_FUZZ_TARGETS})
    add_executable(fuzz_${t} ${t}.cpp)
    target_link_libraries(fuzz_${t} PRIVATE fuzz_png)
    target_link_options(fuzz_${t} PRIVATE ${SANITIZE} -fsanitize=fuzzer)
  endforeach()
endif()
