# A received page in the viewer: a real click on a toggle label opens the
# block below it, without scripts.
add_test(NAME screen_render COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/render_screen.py
         $<TARGET_FILE:pelliwox> ${PROJECT_SOURCE_DIR}/data ${CMAKE_CURRENT_BINARY_DIR} --wm openbox)
set_tests_properties(screen_render PROPERTIES TIMEOUT 300)
