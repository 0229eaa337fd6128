# The composer's body editor (menu, keys, history, colouring timers, Find and
# Replace) and the check-list dialog it loads stored copies through, among
# the program's windows on the offscreen platform.
pelliwox_test(test_composer_editor GUI SOURCES editor_test.cpp checklist_test.cpp editor_fixture.cpp
  LIBS pelliwox_app composer Qt6::Test)
add_dependencies(test_composer_editor syntaro_lxt)
target_compile_definitions(test_composer_editor PRIVATE SYNTARO_LXT="${SYNTARO_LXT}")
# The start-up step gives the body the shipped dictionary.
add_dependencies(test_composer_editor british_lxm)
target_compile_definitions(test_composer_editor PRIVATE BRITISH_LXM="${BRITISH_LXM}")
