# The viewer beside the main window at two screen sizes: its place, Home and
# End in the list, Ctrl+Enter (fetched again, a refused fetch shown), a column
# search in a sorted list, a new composer's caret, the reading face after a
# preview, and quitting with an unsaved composer.
foreach(size 1600x1000 1280x800)
  add_test(NAME screen_viewer_${size}
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/viewer_screen.py
            $<TARGET_FILE:pelliwox> ${PROJECT_SOURCE_DIR}/data ${CMAKE_CURRENT_BINARY_DIR}/viewer-${size}
            --wm openbox --size ${size})
  set_tests_properties(screen_viewer_${size} PROPERTIES TIMEOUT 300)
endforeach()
