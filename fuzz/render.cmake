# The message renderer's fuzz target: it stands on the helper library, the
# header decoders and the run-time layer, so it gets those sources, built
# with the sanitizers, and their libraries (Qt Core, PCRE, glibc iconv).
find_package(Qt6 REQUIRED COMPONENTS Core)
find_package(PkgConfig REQUIRED)
pkg_check_modules(PCRE REQUIRED IMPORTED_TARGET libpcre)
file(GLOB RENDER_FUZZ_SOURCES
  ${CODEC_FUZZ_ROOT}/helpers/*.cpp
  ${CODEC_FUZZ_ROOT}/platform/rtl/*.cpp
  ${CODEC_FUZZ_ROOT}/platform/win/*.cpp
  ${CODEC_FUZZ_ROOT}/platform/sock/*.cpp)
# The helpers that stand on the windows layer or on the mail clients are not
# the renderer's.
list(FILTER RENDER_FUZZ_SOURCES EXCLUDE REGEX "helpers/(edithelpers|edhistory|htmlcolour|typekeys|kwsendmail)\\.cpp$")
list(APPEND RENDER_FUZZ_SOURCES
  ${CODEC_FUZZ_ROOT}/platform/ui/prompter.cpp
  ${CODEC_FUZZ_ROOT}/mail/mimeutils.cpp
  ${CODEC_FUZZ_ROOT}/mailbox/hdrdecode.cpp
  ${CODEC_FUZZ_ROOT}/mailbox/msgrender.cpp
  ${CODEC_FUZZ_ROOT}/mailbox/browsercopy.cpp)
add_library(fuzz_render OBJECT ${RENDER_FUZZ_SOURCES})
target_include_directories(fuzz_render PUBLIC ${CODEC_FUZZ_ROOT})
target_compile_options(fuzz_render PUBLIC ${SANITIZE} -fsanitize=fuzzer-no-link)
target_link_libraries(fuzz_render PUBLIC Qt6::Core PkgConfig::PCRE ${CODEC_FUZZ_LIBS})
foreach(t ${RENDER_FUZZ_TARGETS})
  add_executable(fuzz_${t} ${t}.cpp)
  target_link_libraries(fuzz_${t} PRIVATE fuzz_render)
  target_compile_definitions(fuzz_${t} PRIVATE PWX_DATA_DIR="${CODEC_FUZZ_ROOT}/data")
  target_link_options(fuzz_${t} PRIVATE ${SANITIZE} -fsanitize=fuzzer)
endforeach()
