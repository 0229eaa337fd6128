# What the program leaves on disk: the real program pulling from the private
# Dovecot of the mail tests, and the renderer, through the shared file helpers.
pelliwox_test(test_ondisk SOURCES ondisk_test.cpp LIBS mailbox Qt6::Core
  ENV PWX_DOVECOT_STATE=${DOVECOT_STATE} FIXTURES dovecot)
add_dependencies(test_ondisk pelliwox)
target_compile_definitions(test_ondisk PRIVATE PWX_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  PWX_PROGRAM="$<TARGET_FILE:pelliwox>")
