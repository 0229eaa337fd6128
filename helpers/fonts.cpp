// Fonts as one line of text, and as CSS.
#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace helpers {

namespace {

struct StyleLetter {
    TFontStyle style;
    char letter;
};
// The order of the letters in the description's fourth field.
constexpr StyleLetter kStyleLetters[] = {{fsBold, 'B'}, {fsItalic, 'I'}, {fsUnderline, 'U'}, {fsStrikeOut, 'S'}};

}  // namespace

void txttofont(std::string_view description, TFontSpec& font) {
    if (rtl::Trim(description).empty()) return;
    font.Name = getdelimel(description, "/", 1);
    font.Size = rtl::StrToIntDef(getdelimel(description, "/", 2), 10);
    font.Color = rtl::StrToIntDef(getdelimel(description, "/", 3), 0);
    const std::string letters = padstr(rtl::Trim(getdelimel(description, "/", 4)), 4, 'N', false);
    font.Style = 0;
    for (size_t i = 0; i < 4; ++i) {
        if (letters[i] == kStyleLetters[i].letter || letters[i] == 'Y') font.Style |= kStyleLetters[i].style;
    }
}

std::string fonttotxt(const TFontSpec& font) {
    std::string letters;
    for (const auto& s : kStyleLetters) letters += (font.Style & s.style) ? s.letter : 'N';
    return font.Name + "/" + rtl::IntToStr(font.Size) + "/" + rtl::IntToStr(font.Color) + "/" + letters;
}

std::string colorhex(int32_t colour) {
    return swaprb(rtl::IntToHex(static_cast<uint64_t>(max64(colour, 0)), 6));
}

std::string fonttocss(const TFontSpec& font, bool withcolour) {
    std::string css = "font-family:" + font.Name + "; font-size:" + rtl::IntToStr(font.Size) + "pt;";
    if (withcolour) css += " color:#" + colorhex(font.Color) + ";";
    if (font.Style & fsBold) css += " font-weight:bold;";
    if (font.Style & fsItalic) css += " font-style:italic;";
    if (font.Style & (fsUnderline | fsStrikeOut)) {
        css += " text-decoration:";
        if (font.Style & fsUnderline) css += " underline";
        if (font.Style & fsStrikeOut) css += " line-through";
        css += ";";
    }
    return css;
}

std::string fontspan(const TFontSpec& font, std::string_view text) {
    return "<SPAN STYLE=\"" + fonttocss(font, true) + "\">" + std::string(text) + "</SPAN>";
}

}  // namespace helpers

