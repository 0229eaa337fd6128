# The small windows of the mailbox window and the edit-control helpers,
# under a widgets application.
pelliwox_test(test_windows GUI
  SOURCES win_edithelpers_test.cpp win_grabstr_test.cpp win_find_test.cpp win_hosts_test.cpp
          win_commslog_test.cpp
  LIBS mailbox Qt6::Test)
