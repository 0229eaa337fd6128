# The reply readers of POP3 and SMTP and the hosts file reader: they stand
# on the mail clients, the socket layer, the helper library and the run-time
# layer, built here with the sanitizers, over Qt Core, PCRE and glibc.
find_package(Qt6 REQUIRED COMPONENTS Core)
find_package(PkgConfig REQUIRED)
pkg_check_modules(PCRE REQUIRED IMPORTED_TARGET libpcre)
set(MAILPROTO_FUZZ_TARGETS pop3_reply smtp_reply hosts_file)
file(GLOB MAILPROTO_FUZZ_SOURCES
  ${CODEC_FUZZ_ROOT}/helpers/*.cpp
  ${CODEC_FUZZ_ROOT}/platform/rtl/*.cpp
  ${CODEC_FUZZ_ROOT}/platform/win/*.cpp
  ${CODEC_FUZZ_ROOT}/platform/sock/*.cpp
  ${CODEC_FUZZ_ROOT}/net/*.cpp
  ${CODEC_FUZZ_ROOT}/mail/*.cpp)
list(FILTER MAILPROTO_FUZZ_SOURCES EXCLUDE REGEX "helpers/(edithelpers|edhistory|htmlcolour|typekeys)\\.cpp$")
list(APPEND MAILPROTO_FUZZ_SOURCES
  ${CODEC_FUZZ_ROOT}/platform/ui/prompter.cpp
  ${CODEC_FUZZ_ROOT}/mailbox/hostsfile.cpp)
add_library(fuzz_mailproto OBJECT ${MAILPROTO_FUZZ_SOURCES})
target_include_directories(fuzz_mailproto PUBLIC ${CODEC_FUZZ_ROOT})
target_compile_options(fuzz_mailproto PUBLIC ${SANITIZE} -fsanitize=fuzzer-no-link)
target_link_libraries(fuzz_mailproto PUBLIC Qt6::Core PkgConfig::PCRE ${CODEC_FUZZ_LIBS} ${CMAKE_DL_LIBS})
foreach(t ${MAILPROTO_FUZZ_TARGETS})
  add_executable(fuzz_${t} ${t}.cpp)
  target_link_libraries(fuzz_${t} PRIVATE fuzz_mailproto)
  target_link_options(fuzz_${t} PRIVATE ${SANITIZE} -fsanitize=fuzzer)
endforeach()
