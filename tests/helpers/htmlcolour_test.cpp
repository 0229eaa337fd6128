// The HTML colouring: the colour of each kind of text after a pass, the
// masking of escapes and apostrophes, bracket pairs, and a pass that leaves
// the caret and the scroll position where they were.
#include <gtest/gtest.h>

#include <QTest>
#include <string>

#include "helpers/edhistory.h"
#include "helpers/htmlcolour.h"
#include "platform/ui/comctrls.h"
#include "tests/mailbox/win_fixture.h"

using namespace helpers;

namespace {

constexpr ui::TColor kTag = 0x808080, kDoubleQuoted = 0x9D3900, kSingleQuoted = 0xFF0000, kField = 0x0000FF,
                     kComment = 0x008000, kComments = 0x52B8DA, kBlack = 0;

class Colouring : public WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        edit = new ui::TRichEdit(form.get());
        edit->SetBounds(0, 0, 480, 380);
        edit->WordWrap = false;
        show(form.get());
        hlinvalidate();
        hlpair = {};
    }
    ui::TColor colourAt(int pos) {
        edit->Select(pos, 1);
        return edit->SelAttributes->Color;
    }
    int at(const std::string& what, int nth = 0) const {
        const std::string text = edit->Text();
        size_t p = text.find(what);
        while (nth-- > 0) p = text.find(what, p + 1);
        return static_cast<int>(p);
    }
    ui::TRichEdit* edit = nullptr;
};

TEST(HtmlMask, KeepsTheLengthAndHidesEscapesAndInnerApostrophes) {
    struct {
        std::string in, out;
    } cases[] = {
        {"'don't'", "'doeee'"},
        {"a \\\\ b", "a ee b"},
        {"\\\"x\\'", "eexee"},
        {"'\"' and \"'\"", "'e' and \"e\""},
        {"Don't DON'T", "Doeee DOeee"},
    };
    for (auto& c : cases) {
        std::string t = c.in;
        hlmask(t);
        EXPECT_EQ(t, c.out) << c.in;
    }
}

TEST_F(Colouring, TextRangesReadLineByLineMatchTheWholeText) {
    const std::string text = "first line\r\n\r\nsecond \xC3\xA9t\xC3\xA9\r\nlast";
    edit->Text = text;
    struct {
        int64_t start, length;
    } cases[] = {{0, 5}, {3, 12}, {10, 2}, {12, 2}, {14, 9}, {21, 100}, {0, 1000}, {29, 4}, {-3, 4}};
    for (auto& c : cases) {
        const size_t from = static_cast<size_t>(std::max<int64_t>(0, c.start));
        EXPECT_EQ(edtextrange(edit, c.start, c.length), text.substr(from, static_cast<size_t>(c.length)))
            << c.start << "+" << c.length;
    }
}

TEST_F(Colouring, EachKindOfTextGetsItsColour) {
    edit->Text =
        "<P CLASS=x>text</P>\r\n"
        "say \"it's\" and 'don't stop' now\r\n"
        "see http://a.example/p // note\r\n"
        "// whole line\r\n"
        "/* one\r\ntwo */ after\r\n"
        "<!-- remark -->\r\n"
        "#name# ~other~\r\n"
        "define abc=1";
    edit->SelStart = 0;
    hilite(edit);
    struct {
        std::string what;
        int nth;
        ui::TColor colour;
    } cases[] = {
        {"<P", 0, kTag},           {"text", 0, kBlack},       {"</P>", 0, kTag},
        {"\"it", 0, kDoubleQuoted}, {"'don", 0, kSingleQuoted}, {"stop'", 0, kSingleQuoted},
        {"now", 0, kBlack},        {"//a.ex", 0, kBlack},     {"// note", 0, kComment},
        {"// whole", 0, kComment}, {"one", 0, kComment},      {"two", 0, kComment},
        {"after", 0, kBlack},      {"<!--", 0, kComments},    {"#name#", 0, kField},
        {"~other", 0, kField},     {"define", 0, kBlack},     {"abc=", 0, kField},
        {"=1", 0, kField},
    };
    for (auto& c : cases) {
        const int pos = at(c.what, c.nth);
        ASSERT_GE(pos, 0) << c.what;
        EXPECT_EQ(colourAt(pos), c.colour) << c.what;
    }
}

TEST_F(Colouring, APassLeavesTheCaretAndTheScrollPosition) {
    std::string text;
    for (int i = 0; i < 400; ++i) text += "<B>line " + std::to_string(i) + "</B> 'q'" + std::string(200, ' ') + "\r\n";
    edit->Text = text;
    edit->Select(20000, 4);
    edit->SetScrollPos(false, 300);
    edit->SetScrollPos(true, 7);
    hilite(edit);
    EXPECT_EQ(edit->SelStart, 20000);
    EXPECT_EQ(edit->SelLength, 4);
    EXPECT_EQ(scrollpos(edit, false), 300);
    EXPECT_EQ(scrollpos(edit, true), 7);
    const int line = edit->FirstVisibleLine();
    EXPECT_EQ(colourAt(static_cast<int>(edit->LineIndex(line + 1))), kTag) << "the visible lines are coloured";
    EXPECT_NE(colourAt(static_cast<int>(edit->LineIndex(10))), kTag) << "lines above the screen are left alone";
}

TEST_F(Colouring, NothingIsColouredWhileShiftIsHeld) {
    edit->Text = "<B>bold</B>";
    QTest::keyPress(edit->Widget(), Qt::Key_Shift);
    hilite(edit);
    EXPECT_EQ(colourAt(0), kBlack);
    QTest::keyRelease(edit->Widget(), Qt::Key_Shift);
    hilite(edit);
    EXPECT_EQ(colourAt(0), kTag);
}

TEST_F(Colouring, TheBracketAtTheCaretAndItsPartnerAreHighlighted) {
    edit->Text = "f(a, \"(\", (b)) x(";
    const int open = 1, close = at("))") + 1;
    edit->SelStart = open;
    hilite(edit);
    EXPECT_EQ(hlpair.ch, '(');
    EXPECT_EQ(hlpair.pos1, open + 1);
    EXPECT_EQ(hlpair.pos2, close + 1) << "the bracket inside quotes does not count";
    EXPECT_EQ(colourAt(open), hlbracketcolour);
    EXPECT_EQ(colourAt(close), hlbracketcolour);

    // Backwards from the closing bracket finds the same pair.
    edit->SelStart = close;
    hilite(edit);
    EXPECT_EQ(hlpair.pos2, open + 1);

    // An unmatched bracket: the old pair loses its highlight, none is set.
    edit->SelStart = at("x(") + 1;
    hilite(edit);
    EXPECT_EQ(hlpair.ch, '#');
    EXPECT_EQ(colourAt(open), hlunpaircolour);
    EXPECT_EQ(colourAt(close), hlunpaircolour);
}

}  // namespace
