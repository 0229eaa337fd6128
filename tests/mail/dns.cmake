# The DNS query component: a scripted peer for what real servers never send
# (forged answers included, read by dig too), a private BIND 9 named whose
# answers dig reads too, and the response decoder's fuzz corpus replayed under
# AddressSanitizer and UBSan.
set(DNS_PEER_STATE ${CMAKE_CURRENT_BINARY_DIR}/dns-peer-state)
set(DNS_NAMED_STATE ${CMAKE_CURRENT_BINARY_DIR}/dns-named-state)
pelliwox_server(dns_peer ${PROJECT_SOURCE_DIR}/tests/servers/dns_peer.sh ${DNS_PEER_STATE})
pelliwox_server(dns_named ${PROJECT_SOURCE_DIR}/tests/servers/named.sh ${DNS_NAMED_STATE})

pelliwox_test(test_dns SOURCES dns_test.cpp LIBS mail ENV PWX_DNS_PEER_STATE=${DNS_PEER_STATE} FIXTURES dns_peer)

add_test(NAME dns_dig_compare
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/dns_dig_compare.py $<TARGET_FILE:dnsq> ${DNS_NAMED_STATE})
set_tests_properties(dns_dig_compare PROPERTIES FIXTURES_REQUIRED dns_named TIMEOUT 120
  ENVIRONMENT "${PELLIWOX_SANITIZER_ENV}")

# A blind spoof of both dnsq and dig, through the scripted peer.
add_test(NAME dns_spoof_compare
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/dns_spoof_compare.py $<TARGET_FILE:dnsq> ${DNS_PEER_STATE})
set_tests_properties(dns_spoof_compare PROPERTIES FIXTURES_REQUIRED dns_peer TIMEOUT 120
  ENVIRONMENT "${PELLIWOX_SANITIZER_ENV}")

add_executable(replay_dns_response ${PROJECT_SOURCE_DIR}/fuzz/dns_response.cpp
  ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp ${PROJECT_SOURCE_DIR}/mail/dnsquery_msg.cpp)
target_include_directories(replay_dns_response PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(replay_dns_response PRIVATE ${REPLAY_SANITIZE})
target_link_options(replay_dns_response PRIVATE ${REPLAY_SANITIZE})
add_test(NAME fuzz_replay_dns_response COMMAND replay_dns_response ${PROJECT_SOURCE_DIR}/tests/data/dns/corpus)
