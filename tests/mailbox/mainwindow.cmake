# The mailbox window and the main routine's windows; retrieval through the
# window against the private Dovecot of the mail tests.
pelliwox_test(test_mainwindow GUI SOURCES mainwindow_test.cpp LIBS pelliwox_app)
pelliwox_test(test_retrieval GUI SOURCES retrieval_window_test.cpp LIBS pelliwox_app
  ENV PWX_DOVECOT_STATE=${DOVECOT_STATE} FIXTURES dovecot)
target_compile_definitions(test_retrieval PRIVATE PWX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
# The real program, pulling unattended.
pelliwox_test(test_pull SOURCES pull_test.cpp LIBS Qt6::Core
  ENV PWX_DOVECOT_STATE=${DOVECOT_STATE} FIXTURES dovecot)
add_dependencies(test_pull pelliwox)
target_compile_definitions(test_pull PRIVATE PWX_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  PWX_PROGRAM="$<TARGET_FILE:pelliwox>")
# Not a test: draws the main window with synthetic rows (tools/mainwindow-screenshot.sh).
add_executable(mainwindow_shot mainwindow_shot.cpp)
target_link_libraries(mainwindow_shot PRIVATE pelliwox_app)
