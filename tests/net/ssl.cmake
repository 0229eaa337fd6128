# TLS tests, and the certificates they use: made by a script into the build
# folder before test_net is linked, again whenever the script changes.
list(APPEND NET_TEST_SOURCES ssl_binding_test.cpp ssl_context_test.cpp ssl_x509_test.cpp ssl_socket_test.cpp
  files_test.cpp)

set(SSL_TEST_CERTS ${CMAKE_CURRENT_BINARY_DIR}/certs)
set(SSL_CERT_SCRIPT ${PROJECT_SOURCE_DIR}/tests/data/certs/make-certs.sh)
add_custom_command(
  OUTPUT ${SSL_TEST_CERTS}/stamp
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${SSL_TEST_CERTS}
  COMMAND sh ${SSL_CERT_SCRIPT} ${SSL_TEST_CERTS}
  DEPENDS ${SSL_CERT_SCRIPT}
  COMMENT "Making the TLS test certificates"
  VERBATIM)
add_custom_target(ssl_test_certs DEPENDS ${SSL_TEST_CERTS}/stamp)
set_source_files_properties(ssl_binding_test.cpp ssl_context_test.cpp ssl_x509_test.cpp ssl_socket_test.cpp
  files_test.cpp PROPERTIES COMPILE_DEFINITIONS "SSL_TEST_CERTS=\"${SSL_TEST_CERTS}\"")

# The TLS peers (openssl s_server instances and a Python peer) run while the
# tests that need them do; they find the ports in PWX_TLS_STATE.
set(TLS_STATE ${CMAKE_CURRENT_BINARY_DIR}/tls-state)
set(TLS_PEERS_SCRIPT ${PROJECT_SOURCE_DIR}/tests/servers/tls_peers.sh)
add_test(NAME tls_peers_start COMMAND bash ${TLS_PEERS_SCRIPT} start ${TLS_STATE} ${SSL_TEST_CERTS})
add_test(NAME tls_peers_stop COMMAND bash ${TLS_PEERS_SCRIPT} stop ${TLS_STATE})
set_tests_properties(tls_peers_start PROPERTIES FIXTURES_SETUP tls_peers TIMEOUT 120)
set_tests_properties(tls_peers_stop PROPERTIES FIXTURES_CLEANUP tls_peers)

# test_net is defined after this file is read.
cmake_language(DEFER CALL add_dependencies test_net ssl_test_certs)
cmake_language(DEFER CALL set_property TEST test_net APPEND PROPERTY ENVIRONMENT "PWX_TLS_STATE=${TLS_STATE}")
cmake_language(DEFER CALL set_property TEST test_net APPEND PROPERTY FIXTURES_REQUIRED tls_peers)
