#pragma once
// The style designer's rule as data: what each control holds, the style text
// built from it, a style text read back into it, and the preview page. The
// window (cssdsgnr) only moves values between its controls and this.
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "helpers/kwutil.h"

namespace composer {

// How a control holds its value.
enum class TStyleKind {
    Length,  // an edit whose value passes the length rule
    Pick,    // a list: one of its entries or nothing
    Text,    // an editable list: any text
    Colour,  // a colour panel: "#RRGGBB" or not set
};

struct TStyleControl {
    const char* Name;      // the control
    const char* Property;  // the CSS property it feeds ("" for those built by hand)
    TStyleKind Kind;
    std::vector<const char*> Entries;  // the list's entries
};

// Every control that holds a part of the rule, in the order the window
// lays them out.
const std::vector<TStyleControl>& StyleControls();
const TStyleControl* FindStyleControl(std::string_view Name);

// The rule as the controls hold it.
struct TStyleRule {
    // Control name -> value, for the controls that hold one (an edit with
    // text, a list with an entry chosen, a colour panel that is set).
    std::map<std::string, std::string> Values;
    bool FontChosen = false;  // the font dialog was used
    helpers::TFontSpec Font;
    std::string FontFamilyList;  // the whole font-family of the last parsed style
    bool MarginGang = true, PaddingGang = true;  // "Left" controls the other sides
    // The declarations no control took, in their order (OtherNames, OtherValues).
    std::vector<std::pair<std::string, std::string>> Others;
    std::string ClassName;

    std::string Value(const std::string& Control) const;
    // Whether Control holds a value to write: an empty one (the list's
    // blank entry) writes nothing.
    bool Holds(const std::string& Control) const {
        const auto it = Values.find(Control);
        return it != Values.end() && !it->second.empty();
    }
    // Empties what the Clear button empties (the gang boxes stay).
    void Clear();
};

// A bare number (digits and "-") gets "px"; every value then ends in ";".
std::string LengthValue(std::string_view Value);

// The opacity control's value (0 to 100) as CSS: its decimal fraction.
std::string OpacityFraction(int Percent);

// The style text the rule stands for. With FontChosen, the font's
// declarations leave Others (the font panel now speaks for them).
std::string BuildStyleText(TStyleRule& Rule);

// Reads a declaration list, or one class rule ".name { ... }", into Rule,
// which the caller has cleared. Declarations a control cannot hold stay in
// Others and come back unchanged. False, with Rule untouched, when the text
// is no such list: the caller keeps the text as it stands.
bool ParseStyleText(std::string_view Text, TStyleRule& Rule);

// Text with the class selector for Name around it (put, renamed, or taken
// away when Name is empty).
std::string WithClassName(std::string_view Text, std::string_view Name);

// The rule's declarations without a selector and with no double quotes, for
// a STYLE attribute.
std::string StyleAttributeText(std::string_view Text);

// The preview page of a style on a sample element (DIV, SPAN, TABLE, TR, TD).
std::string PreviewPage(std::string_view Style, std::string_view Sample);

// Where a site-relative image of the local web server is fetched from.
extern const char* const kLocalWebServer;

}  // namespace composer
