#pragma once
// Typing a text as key presses into the program's own focused control.
#include <string>

namespace helpers {

// Each character as a key press and release to the control that has the
// keyboard focus in this program (nothing when none has it): upper-case
// letters with Shift held; a character that needs Shift and is not a letter
// goes as its unshifted key, as the original's key scan gave it.
void typekeys(const std::string& text);

}  // namespace helpers
