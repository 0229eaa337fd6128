# libFuzzer build of the spell suite's dictionary readers (SANITIZE comes
# from fuzz/CMakeLists.txt).
include(${CMAKE_CURRENT_LIST_DIR}/spell_targets.cmake)
add_library(fuzz_spell OBJECT ${SPELL_FUZZ_SOURCES})
target_include_directories(fuzz_spell PUBLIC ${SPELL_FUZZ_ROOT})
target_compile_options(fuzz_spell PUBLIC ${SANITIZE} -fsanitize=fuzzer-no-link)
foreach(t ${SPELL_FUZZ_TARGETS} ${THESAURUS_FUZZ_TARGETS})
  add_executable(fuzz_${t} ${t}.cpp)
  target_link_libraries(fuzz_${t} PRIVATE fuzz_spell)
  target_link_options(fuzz_${t} PRIVATE ${SANITIZE} -fsanitize=fuzzer)
endforeach()
