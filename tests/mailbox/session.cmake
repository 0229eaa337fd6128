# The mailbox session without windows, against the hostile server and the
# private Dovecot of the mail tests.
pelliwox_test(test_session SOURCES session_test.cpp LIBS mailbox_session Qt6::Core
  ENV PWX_DOVECOT_STATE=${DOVECOT_STATE} FIXTURES dovecot)
target_compile_definitions(test_session PRIVATE PWX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
