# The SMTP client: helpers, the message as written and scripted servers; a
# real server scripted for the checks (aiosmtpd); and, end to end, OpenSMTPD
# delivering into a private Dovecot whose mailbox our POP3 client reads.
set(SMTP_SERVERS ${PROJECT_SOURCE_DIR}/tests/servers)
set(SMTP_PEER_STATE ${CMAKE_CURRENT_BINARY_DIR}/smtp-peer-state)
set(SMTP_DOVECOT_STATE ${CMAKE_CURRENT_BINARY_DIR}/smtp-dovecot-state)
set(SMTP_MTA_STATE ${CMAKE_CURRENT_BINARY_DIR}/smtp-mta-state)

pelliwox_server(smtp_peer ${SMTP_SERVERS}/smtp_peer.sh ${SMTP_PEER_STATE})

# A Dovecot of its own with one empty mailbox (user pwx1), so that the POP3
# tests' mailboxes stay as they are.
add_test(NAME smtp_dovecot_start COMMAND bash ${SMTP_SERVERS}/dovecot.sh start ${SMTP_DOVECOT_STATE} 0 1)
add_test(NAME smtp_dovecot_stop COMMAND bash ${SMTP_SERVERS}/dovecot.sh stop ${SMTP_DOVECOT_STATE})
set_tests_properties(smtp_dovecot_start PROPERTIES FIXTURES_SETUP smtp_dovecot TIMEOUT 120)
set_tests_properties(smtp_dovecot_stop PROPERTIES FIXTURES_CLEANUP smtp_dovecot)

add_test(NAME smtp_mta_start COMMAND bash ${SMTP_SERVERS}/opensmtpd.sh start ${SMTP_MTA_STATE} ${SMTP_DOVECOT_STATE})
add_test(NAME smtp_mta_stop COMMAND bash ${SMTP_SERVERS}/opensmtpd.sh stop ${SMTP_MTA_STATE})
set_tests_properties(smtp_mta_start PROPERTIES FIXTURES_SETUP smtp_mta FIXTURES_REQUIRED smtp_dovecot TIMEOUT 120)
set_tests_properties(smtp_mta_stop PROPERTIES FIXTURES_CLEANUP smtp_mta)

# A second instance beside the first: the test's OpenSMTPD must run where
# another one (the machine's own, another test's) already does.
add_test(NAME smtp_mta_beside_another
  COMMAND bash ${SMTP_SERVERS}/opensmtpd_second.sh ${SMTP_MTA_STATE} ${SMTP_MTA_STATE}-second ${SMTP_DOVECOT_STATE})
set_tests_properties(smtp_mta_beside_another PROPERTIES FIXTURES_REQUIRED "smtp_dovecot;smtp_mta" TIMEOUT 120)

pelliwox_test(test_smtp
  SOURCES smtp_test.cpp smtp_peer_test.cpp smtp_e2e_test.cpp mail_test_util.cpp
  LIBS mail
  ENV PWX_SMTP_PEER_STATE=${SMTP_PEER_STATE} PWX_SMTP_DOVECOT_STATE=${SMTP_DOVECOT_STATE}
      PWX_SMTP_MTA_STATE=${SMTP_MTA_STATE}
  FIXTURES smtp_peer smtp_dovecot smtp_mta)
target_compile_definitions(test_smtp PRIVATE MAIL_TEST_DIR="${CMAKE_CURRENT_SOURCE_DIR}")
