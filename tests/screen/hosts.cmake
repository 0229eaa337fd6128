# A new user's first steps at two screen sizes: F1 at start-up, the hosts
# window's whole column titles, an account typed at paste speed kept, asked
# about on Revert and Close, saved and read back by a pull.
foreach(size 1600x1000 1280x800)
  add_test(NAME screen_hosts_${size} COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/hosts_screen.py
           $<TARGET_FILE:pelliwox> ${PROJECT_SOURCE_DIR}/data ${CMAKE_CURRENT_BINARY_DIR}/hosts-${size}
           --wm openbox --size ${size})
  set_tests_properties(screen_hosts_${size} PROPERTIES TIMEOUT 300)
endforeach()
# Windows that fit, at the same two sizes: plain separators in a popup menu,
# a long caption whole in its window's title bar.
foreach(size 1600x1000 1280x800)
  add_test(NAME screen_layout_${size} COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/layout_screen.py
           $<TARGET_FILE:pelliwox> ${PROJECT_SOURCE_DIR}/data ${CMAKE_CURRENT_BINARY_DIR}/layout-${size}
           --wm openbox --size ${size})
  set_tests_properties(screen_layout_${size} PROPERTIES TIMEOUT 300)
endforeach()
