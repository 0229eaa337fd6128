# The viewer's editing commands on a real display under a window manager:
# the Font button over a selected line and the View Source menu entry.
add_test(NAME screen_commands COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/commands_screen.py
         $<TARGET_FILE:pelliwox> ${PROJECT_SOURCE_DIR}/data ${CMAKE_CURRENT_BINARY_DIR} --wm openbox)
set_tests_properties(screen_commands PROPERTIES TIMEOUT 300)
