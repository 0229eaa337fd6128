# The codec fuzz targets (one source each, named after the target) and the
# program sources they exercise. Used by the libFuzzer build in this folder
# and by the corpus replay that CTest runs (tests/mail).
get_filename_component(CODEC_FUZZ_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(CODEC_FUZZ_TARGETS base64_decode qp_decode header_codec ntlm_challenge)
set(CODEC_FUZZ_SOURCES
  ${CODEC_FUZZ_ROOT}/mail/mimeutils.cpp
  ${CODEC_FUZZ_ROOT}/mail/evqmd4.cpp
  ${CODEC_FUZZ_ROOT}/mail/evqdes.cpp
  ${CODEC_FUZZ_ROOT}/mail/evqntlmmsgs.cpp
  ${CODEC_FUZZ_ROOT}/platform/rtl/sysutils.cpp
  ${CODEC_FUZZ_ROOT}/platform/rtl/classes.cpp
  ${CODEC_FUZZ_ROOT}/platform/rtl/fileio.cpp
)
# mimeutils composes outgoing text with ICU before converting it.
find_package(PkgConfig REQUIRED)
pkg_check_modules(CODEC_FUZZ_ICU REQUIRED IMPORTED_TARGET icu-uc)
set(CODEC_FUZZ_LIBS PkgConfig::CODEC_FUZZ_ICU)
# The message renderer's target: built by render.cmake with the libraries it
# needs; its seed corpus is tests/data/render/corpus.
set(RENDER_FUZZ_TARGETS msgrender_parts)
