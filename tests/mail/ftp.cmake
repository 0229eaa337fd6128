# The FTP client: its readers alone, a scripted peer, and pyftpdlib, vsftpd
# and proftpd (tests/servers/ftp.sh); the readers' fuzz targets replayed over
# their seeds under AddressSanitizer and UBSan.
set(FTP_STATE ${CMAKE_CURRENT_BINARY_DIR}/ftp-state)
pelliwox_server(ftppeers ${PROJECT_SOURCE_DIR}/tests/servers/ftp.sh ${FTP_STATE})
pelliwox_test(test_ftp SOURCES ftp_test.cpp ftp_servers_test.cpp ftp_parse_test.cpp LIBS mail
  ENV PWX_FTP_STATE=${FTP_STATE} FIXTURES ftppeers)
target_compile_definitions(test_ftp PRIVATE FTP_SERVERS_DIR="${PROJECT_SOURCE_DIR}/tests/servers")

# tools/ftpget end to end, every step.
add_test(NAME ftpget_steps
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/ftpget_steps.py $<TARGET_FILE:ftpget> ${FTP_STATE})
set_tests_properties(ftpget_steps PROPERTIES FIXTURES_REQUIRED ftppeers TIMEOUT 120
  ENVIRONMENT "${PELLIWOX_SANITIZER_ENV}")

set(FTP_FUZZ_REPLAY ON)
include(${PROJECT_SOURCE_DIR}/fuzz/ftp.cmake)
set(FTP_REPLAY_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
add_library(replay_ftp OBJECT ${FTP_FUZZ_SOURCES})
target_include_directories(replay_ftp PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(replay_ftp PUBLIC ${FTP_REPLAY_SANITIZE})
foreach(t ${FTP_FUZZ_TARGETS})
  add_executable(replay_${t} ${PROJECT_SOURCE_DIR}/fuzz/${t}.cpp ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
  target_link_libraries(replay_${t} PRIVATE replay_ftp)
  target_link_options(replay_${t} PRIVATE ${FTP_REPLAY_SANITIZE})
  add_test(NAME fuzz_replay_${t} COMMAND replay_${t} ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${t})
endforeach()
