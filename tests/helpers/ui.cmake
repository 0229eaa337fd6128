# The helpers that work on the windows' controls (the editor history and the
# HTML colouring), under a widgets application on the offscreen platform.
pelliwox_test(test_helpers_ui GUI SOURCES edhistory_test.cpp htmlcolour_test.cpp LIBS helpers_ui Qt6::Test)
