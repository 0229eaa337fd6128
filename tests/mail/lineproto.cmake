# The line engine's limits on an answer, over POP3 and FTP, against scripted peers.
pelliwox_test(test_lineproto SOURCES lineproto_deadline_test.cpp LIBS mail)
