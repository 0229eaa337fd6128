# The FTP client against a scripted peer, pyftpdlib and vsftpd.
set(FTP_STATE ${CMAKE_CURRENT_BINARY_DIR}/ftp-state)
pelliwox_server(ftppeers ${PROJECT_SOURCE_DIR}/tests/servers/ftp.sh ${FTP_STATE})
pelliwox_test(test_ftp SOURCES ftp_test.cpp LIBS mail ENV PWX_FTP_STATE=${FTP_STATE} FIXTURES ftppeers)
target_compile_definitions(test_ftp PRIVATE FTP_SERVERS_DIR="${PROJECT_SOURCE_DIR}/tests/servers")
