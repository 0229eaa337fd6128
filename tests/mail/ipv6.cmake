# POP3 and SMTP to an IPv6 address: a Dovecot of its own (one user, three
# messages) and aiosmtpd, both on ::1.
set(IPV6_SERVERS ${PROJECT_SOURCE_DIR}/tests/servers)
set(IPV6_DOVECOT_STATE ${CMAKE_CURRENT_BINARY_DIR}/ipv6-dovecot-state)
set(IPV6_SMTP_STATE ${CMAKE_CURRENT_BINARY_DIR}/ipv6-smtp-state)
add_test(NAME ipv6_dovecot_start COMMAND bash ${IPV6_SERVERS}/dovecot.sh start ${IPV6_DOVECOT_STATE} 3 1 ::1)
add_test(NAME ipv6_dovecot_stop COMMAND bash ${IPV6_SERVERS}/dovecot.sh stop ${IPV6_DOVECOT_STATE})
set_tests_properties(ipv6_dovecot_start PROPERTIES FIXTURES_SETUP ipv6_dovecot TIMEOUT 120)
set_tests_properties(ipv6_dovecot_stop PROPERTIES FIXTURES_CLEANUP ipv6_dovecot)
pelliwox_server(smtp6_peer ${IPV6_SERVERS}/smtp6_peer.sh ${IPV6_SMTP_STATE})
pelliwox_test(test_mail_ipv6 SOURCES ipv6_test.cpp LIBS mail
  ENV PWX_IPV6_DOVECOT_STATE=${IPV6_DOVECOT_STATE} PWX_IPV6_SMTP_STATE=${IPV6_SMTP_STATE}
  FIXTURES ipv6_dovecot smtp6_peer)
