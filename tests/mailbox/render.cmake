# Message rendering: fixtures made by Python's email package at test time.
pelliwox_test(test_render SOURCES msgrender_test.cpp LIBS mailbox Qt6::Core)
target_compile_definitions(test_render PRIVATE
  PWX_DATA_DIR="${PROJECT_SOURCE_DIR}/data"
  RENDER_FIXTURE_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/make_render_fixtures.py"
  RENDER_ORACLE_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/render_oracle.py"
  PWX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
# The fuzz target's seed corpus replayed under AddressSanitizer and UBSan,
# through the renderer built with them.
set(RENDER_REPLAY_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
add_executable(replay_msgrender_parts
  ${PROJECT_SOURCE_DIR}/fuzz/msgrender_parts.cpp ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp
  ${PROJECT_SOURCE_DIR}/mailbox/msgrender.cpp ${PROJECT_SOURCE_DIR}/mailbox/browsercopy.cpp
  ${PROJECT_SOURCE_DIR}/mailbox/hdrdecode.cpp)
target_include_directories(replay_msgrender_parts PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(replay_msgrender_parts PRIVATE ${RENDER_REPLAY_SANITIZE})
target_link_options(replay_msgrender_parts PRIVATE ${RENDER_REPLAY_SANITIZE})
target_link_libraries(replay_msgrender_parts PRIVATE helpers mail platform Qt6::Core)
target_compile_definitions(replay_msgrender_parts PRIVATE PWX_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
add_test(NAME fuzz_replay_msgrender_parts
  COMMAND replay_msgrender_parts ${PROJECT_SOURCE_DIR}/tests/data/render/corpus)
# Showing messages through the window, against the private Dovecot of the
# mail tests; the text window on the offscreen platform.
pelliwox_test(test_showmsg GUI SOURCES showmsg_test.cpp LIBS pelliwox_app
  ENV PWX_DOVECOT_STATE=${DOVECOT_STATE} FIXTURES dovecot)
target_compile_definitions(test_showmsg PRIVATE PWX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
pelliwox_test(test_textwindow GUI SOURCES win_textwindow_test.cpp LIBS mailbox Qt6::Test)
# The copy of a page for the desktop's browser.
pelliwox_test(test_browsercopy SOURCES browsercopy_test.cpp LIBS mailbox Qt6::Core)
