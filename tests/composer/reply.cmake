# Reply, reply to all and forward from the mailbox window into the composer,
# on pages rendered from tests/data/reply/forward.eml.
pelliwox_test(test_reply GUI SOURCES reply_test.cpp LIBS pelliwox_app composer)
target_compile_definitions(test_reply PRIVATE PWX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
# A forward sent through the real send routine to aiosmtpd (tests/mail/smtp.cmake).
pelliwox_test(test_reply_send GUI SOURCES reply_send_test.cpp LIBS pelliwox_app composer
  ENV PWX_PEER_STATE=${CMAKE_BINARY_DIR}/tests/mail/smtp-peer-state
  FIXTURES smtp_peer)
target_compile_definitions(test_reply_send PRIVATE PWX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
