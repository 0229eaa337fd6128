# The composer's Insert Image dialog on a real display: a PNG with a
# semi-transparent palette previewed with each entry's own alpha.
add_test(NAME screen_png_preview COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/png_preview_screen.py
         $<TARGET_FILE:pelliwox> ${PROJECT_SOURCE_DIR}/data ${CMAKE_CURRENT_BINARY_DIR})
set_tests_properties(screen_png_preview PROPERTIES TIMEOUT 300)
