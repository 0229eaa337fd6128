# The composer's small windows on a real display under a window manager: the
# address book editor's title line (title and hint apart), Load Draft's pick
# over the composer without the check mode's option, and the Find and Replace
# question wide enough for its caption.
add_test(NAME screen_composer COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/composer_screen.py
         $<TARGET_FILE:pelliwox> ${PROJECT_SOURCE_DIR}/data ${CMAKE_CURRENT_BINARY_DIR} --wm openbox)
set_tests_properties(screen_composer PROPERTIES TIMEOUT 300)
