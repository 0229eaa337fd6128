// Colour names and values, fonts as text and as CSS.
#include <QColor>
#include <QString>

#include "helpers/kwutil.h"
#include "tests/helpers/support.h"

using namespace helpers;

namespace {

class ColoursTest : public kwtest::KwTest {};

// The fourteen CSS keywords the table gives values of its own.
const std::pair<const char*, const char*> kOwnValues[] = {
    {"azure", "007FFF"},   {"brown", "964B00"},         {"chocolate", "7B3F00"}, {"darkblue", "0000C8"},
    {"green", "00FF00"},   {"khaki", "C3B091"},         {"lavender", "B57EDC"},  {"lime", "BFFF00"},
    {"midnightblue", "003366"}, {"palevioletred", "D87093"}, {"purple", "660099"},  {"salmon", "FF8C69"},
    {"turquoise", "30D5C8"}, {"violet", "8B00FF"},
};

TEST_F(ColoursTest, CssKeywordsCarryTheirCssValuesButFourteen) {
    int css = 0, own = 0;
    for (const QString& name : QColor::colorNames()) {
        const std::string n = name.toStdString();
        if (n == "transparent") continue;
        const std::string value = colorbyname(n);
        ASSERT_EQ(value.size(), 6u) << n << " is missing";
        bool special = false;
        for (const auto& [k, v] : kOwnValues) {
            if (n == k) {
                EXPECT_EQ(value, v) << n;
                special = true;
                ++own;
            }
        }
        if (special) continue;
        EXPECT_EQ("#" + value, QColor(name).name(QColor::HexRgb).toUpper().toStdString()) << n;
        ++css;
    }
    EXPECT_EQ(css, 133);
    EXPECT_EQ(own, 14);
}

TEST_F(ColoursTest, NamesAreCleanedAndUnknownNamesComeBackCleaned) {
    EXPECT_EQ(colorbyname("Alice Blue"), "F0F8FF");
    EXPECT_EQ(colorbyname("x11khaki"), "F0E68C");
    EXPECT_EQ(colorbyname("Web Green"), "008000");
    EXPECT_EQ(colorbyname("No Such Colour"), "nosuchcolour");
}

TEST_F(ColoursTest, ColorvalueTable) {
    const std::pair<std::string, int32_t> cases[] = {
        {"", 0xFFFFFF},        {"nosuch", 0xFFFFFF}, {"#fff", 0xFF0F00},   {"#", 0},
        {"bad", 0xAD0B00},     {"green", 0x00FF00},  {"Green", 0x00FF00},  {"webgreen", 0x008000},
        {"#ff000080", 0x0000FF}, {"#0000FF", 0xFF0000}, {"red", 0x0000FF}, {"#12345g", 0xFFFFFF},
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(colorvalue(text), want) << text;
    EXPECT_EQ(swaprb("112233"), "332211");
    EXPECT_EQ(swaprb("ABC"), "BC0A00");
    EXPECT_EQ(swaprb("11223344"), "332211");
}

TEST_F(ColoursTest, FontDescriptionsRoundTrip) {
    TFontSpec f;
    f.Name = "Arial";
    f.Size = 10;
    txttofont("Arial", f);
    EXPECT_EQ(fonttotxt(f), "Arial/10/0/NNNN");
    const std::pair<std::string, std::string> cases[] = {
        {"Verdana/12/-16777208/BNUS", "Verdana/12/-16777208/BNUS"},
        {"Times/x/y/Y", "Times/10/0/BNNN"},
        {"A/9/255/YYYY", "A/9/255/BIUS"},
        {"A/9/255/bnnn", "A/9/255/NNNN"},
        {"/8", "/8/0/NNNN"},
    };
    for (const auto& [text, want] : cases) {
        txttofont(text, f);
        EXPECT_EQ(fonttotxt(f), want) << text;
    }
    const TFontSpec before = f;
    txttofont("  \r\n", f);
    EXPECT_EQ(fonttotxt(f), fonttotxt(before));
}

TEST_F(ColoursTest, FontsAsCss) {
    EXPECT_EQ(colorhex(255), "FF0000");
    EXPECT_EQ(colorhex(16711680), "0000FF");
    EXPECT_EQ(colorhex(-16777208), "000000");
    TFontSpec f;
    f.Name = "Verdana";
    f.Size = 12;
    f.Color = 0xFF0000;
    f.Style = fsUnderline | fsStrikeOut;
    EXPECT_EQ(fonttocss(f, true),
              "font-family:Verdana; font-size:12pt; color:#0000FF; text-decoration: underline line-through;");
    f.Style = 0;
    EXPECT_EQ(fonttocss(f, false), "font-family:Verdana; font-size:12pt;");
    f.Style = fsBold | fsItalic;
    EXPECT_EQ(fontspan(f, "<b>"), "<SPAN STYLE=\"font-family:Verdana; font-size:12pt; color:#0000FF; "
                                  "font-weight:bold; font-style:italic;\"><b></SPAN>");
}

}  // namespace
