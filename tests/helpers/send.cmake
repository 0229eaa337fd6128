# The blocking send routine: against aiosmtpd, scripted servers and, end to
# end, OpenSMTPD delivering into Dovecot; the servers are the SMTP client's
# fixtures.
foreach(v SMTP_PEER_STATE SMTP_DOVECOT_STATE SMTP_MTA_STATE)
  get_directory_property(SEND_${v} DIRECTORY ${PROJECT_SOURCE_DIR}/tests/mail DEFINITION ${v})
endforeach()

pelliwox_test(test_send
  SOURCES support.cpp send_test.cpp ${PROJECT_SOURCE_DIR}/tests/mail/mail_test_util.cpp
  LIBS helpers_send
  ENV PWX_SMTP_PEER_STATE=${SEND_SMTP_PEER_STATE} PWX_SMTP_DOVECOT_STATE=${SEND_SMTP_DOVECOT_STATE}
      PWX_SMTP_MTA_STATE=${SEND_SMTP_MTA_STATE}
  FIXTURES smtp_peer smtp_dovecot smtp_mta)
target_compile_definitions(test_send PRIVATE MAIL_TEST_DIR="${PROJECT_SOURCE_DIR}/tests/mail")
