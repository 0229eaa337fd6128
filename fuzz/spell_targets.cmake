# The spell suite's fuzz targets (dictionary readers; parsers and filters; the
# spelling configuration), and the sources
# it exercises. Used by the libFuzzer build in this folder and by the
# corpus replay that CTest runs (tests/spell); its seeds are
# tests/spell/corpus/<target>.
get_filename_component(SPELL_FUZZ_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(SPELL_FUZZ_TARGETS spell_dictionaries spell_parsers spell_config)
include(${SPELL_FUZZ_ROOT}/spell/sources.cmake)
list(TRANSFORM SPELLSUITE_SOURCES PREPEND ${SPELL_FUZZ_ROOT}/spell/ OUTPUT_VARIABLE SPELL_FUZZ_SOURCES)
list(APPEND SPELL_FUZZ_SOURCES
  ${SPELL_FUZZ_ROOT}/platform/rtl/fileio.cpp
  ${SPELL_FUZZ_ROOT}/platform/rtl/sysutils.cpp
  ${SPELL_FUZZ_ROOT}/platform/win/program.cpp)
# The thesaurus reader's target; its seeds are tests/data/thesaurus/corpus.
set(THESAURUS_FUZZ_TARGETS thesaurus_reader)
