# The viewer's emoji window over the real engine, with the page the build
# writes (tools/emojipage) and the data it is written from.
pelliwox_test(test_viewer_emoji GUI SOURCES emoji_test.cpp LIBS pelliwox_app composer helpers_ui Qt6::Test
  ENV ${WEBENGINE_ENV})
add_dependencies(test_viewer_emoji emoji_page)
target_compile_definitions(test_viewer_emoji PRIVATE EMOJI_PAGE="${EMOJI_PAGE}" EMOJI_TEST_TXT="${EMOJI_TEST_TXT}")
if(PELLIWOX_SANITIZE)
  foreach(var ${PELLIWOX_SANITIZER_ENV})
    if(var MATCHES "^ASAN_OPTIONS=")
      set_property(TEST test_viewer_emoji APPEND PROPERTY ENVIRONMENT "${var}:new_delete_type_mismatch=0")
    endif()
  endforeach()
endif()
