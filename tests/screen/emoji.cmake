# The viewer's emoji window on a real display: opened by its button over a
# previewed page, a smiley picked into the page at its caret.
add_test(NAME screen_emoji COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/emoji_screen.py
         $<TARGET_FILE:pelliwox> ${PROJECT_SOURCE_DIR}/data ${CMAKE_CURRENT_BINARY_DIR})
set_tests_properties(screen_emoji PROPERTIES TIMEOUT 300)
