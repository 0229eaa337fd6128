# The FTP client's readers: reply lines with 227/229 addresses, listing lines
# with MLSx facts, and MDTM stamps. Their seeds are tests/mail/corpus/<target>;
# tests/mail/ftp.cmake replays them (FTP_FUZZ_REPLAY set there).
get_filename_component(FTP_FUZZ_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(FTP_FUZZ_TARGETS ftp_reply ftp_listing ftp_mdtm)
set(FTP_FUZZ_SOURCES
  ${FTP_FUZZ_ROOT}/mail/ftpcli_parse.cpp
  ${FTP_FUZZ_ROOT}/mail/ftpsrvt.cpp
  ${FTP_FUZZ_ROOT}/platform/rtl/sysutils.cpp
  ${FTP_FUZZ_ROOT}/platform/rtl/dateutils.cpp
  ${FTP_FUZZ_ROOT}/platform/rtl/fileio.cpp
)
if(NOT DEFINED FTP_FUZZ_REPLAY)
  add_library(fuzz_ftp OBJECT ${FTP_FUZZ_SOURCES})
  target_include_directories(fuzz_ftp PUBLIC ${FTP_FUZZ_ROOT})
  target_compile_options(fuzz_ftp PUBLIC ${SANITIZE} -fsanitize=fuzzer-no-link)
  foreach(t ${FTP_FUZZ_TARGETS})
    add_executable(fuzz_${t} ${t}.cpp)
    target_link_libraries(fuzz_${t} PRIVATE fuzz_ftp)
    target_link_options(fuzz_${t} PRIVATE ${SANITIZE} -fsanitize=fuzzer)
  endforeach()
endif()
