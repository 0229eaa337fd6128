// The text target over the platform's edits, memos and rich edits: the
// suite's 8-bit columns against the controls' UTF-8 bytes, so that a
// replaced word is exactly the misspelt one whatever stands before it.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/comctrls.h"
#include "platform/ui/stdctrls.h"
#include "spell/lx3edittarget.h"
#include "spell/lx3parseengine.h"
#include "spell/lx3winapiparser.h"
#include "tests/ui/form_fixture.h"

using namespace spell;

namespace {

// "é", "ï" and "ö" are one column but two bytes; the curly quotes one
// column and three bytes; the emoji one (unmapped) column and four bytes.
const std::string kLine = "caf\xC3\xA9 \xE2\x80\x9Cquoted\xE2\x80\x9D \xF0\x9F\x98\x80 na\xC3\xAFve teh end";
const std::string kFixed = "caf\xC3\xA9 \xE2\x80\x9Cqu\xC3\xB6ted\xE2\x80\x9D \xF0\x9F\x98\x80 na\xC3\xAFve the end";

struct Kind {
    const char* name;
    std::function<ui::TCustomEdit*(ui::TForm*)> make;
    bool multiLine, rich;
};

const Kind kKinds[] = {
    {"edit", [](ui::TForm* f) -> ui::TCustomEdit* { return new ui::TEdit(f); }, false, false},
    {"memo", [](ui::TForm* f) -> ui::TCustomEdit* { return new ui::TMemo(f); }, true, false},
    {"rich edit", [](ui::TForm* f) -> ui::TCustomEdit* { return new ui::TRichEdit(f); }, true, true},
};

// Reads words until Word; false when the text ends first.
bool seek(TParsingEngine& engine, const std::string& word) {
    for (std::string w = engine.NextWord(); !w.empty(); w = engine.NextWord())
        if (w == word) return true;
    return false;
}

class SpellTextTarget : public FormTest {
protected:
    ui::TCustomEdit* make(const Kind& kind) {
        ui::TCustomEdit* edit = kind.make(form.get());
        edit->Parent = form.get();
        edit->SetBounds(10, 10, 360, 200);
        return edit;
    }
};

}  // namespace

TEST_F(SpellTextTarget, ReplacesExactlyTheMisspeltWordAfterWideCharacters) {
    for (const auto& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        ui::TCustomEdit* edit = make(kind);
        const std::string before = kind.multiLine ? "first line\r\n" : "";
        const std::string after = kind.multiLine ? "\r\n\xE2\x80\x9Clast\xE2\x80\x9D wrod" : "";
        edit->Text = before + kLine + after;

        TWinAPIControlParser parser(MakeEditTextTarget(edit));
        EXPECT_EQ(parser.ControlType(), kind.rich ? actRichEdit : actEdit);
        EXPECT_EQ(parser.GetControl(), edit);
        TMainParsingEngine engine;
        engine.Initialize(&parser, ctAll);
        ASSERT_TRUE(seek(engine, "quoted"));
        parser.SelectWord(6);
        EXPECT_EQ(edit->SelText(), "quoted");
        parser.ReplaceWord("qu\xF6ted", 0);  // Windows-1252 in, UTF-8 in the control
        EXPECT_EQ(engine.NextWord(), "na\xEFve");
        EXPECT_EQ(engine.NextWord(), "teh");
        parser.SelectWord(3);
        EXPECT_EQ(edit->SelText(), "teh");
        int64_t sx, ex;
        int sy, ey;
        parser.GetSelectionPosition(sx, sy, ex, ey);
        EXPECT_EQ(sx, 22);
        EXPECT_EQ(ex, 25);
        EXPECT_EQ(sy, kind.multiLine ? 1 : 0);
        parser.ReplaceWord("the", 0);
        EXPECT_EQ(engine.NextWord(), "end");
        if (kind.multiLine) {
            EXPECT_EQ(engine.NextWord(), "last");
            EXPECT_EQ(engine.NextWord(), "wrod");
            parser.SelectWord(4);
            parser.ReplaceWord("word", 0);
        }
        EXPECT_EQ(engine.NextWord(), "");
        const std::string fixedAfter = kind.multiLine ? "\r\n\xE2\x80\x9Clast\xE2\x80\x9D word" : "";
        EXPECT_EQ(edit->Text(), before + kFixed + fixedAfter);
        delete edit;
    }
}

TEST_F(SpellTextTarget, TheUsersSelectionReadsAsColumns) {
    for (const auto& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        ui::TCustomEdit* edit = make(kind);
        edit->Text = kind.multiLine ? "x\r\n" + kLine : kLine;
        // The caret inside "teh": the check from the cursor starts with it.
        const int64_t teh = static_cast<int64_t>(edit->Text().find("teh"));
        edit->Select(teh + 1, 0);
        TWinAPIControlParser parser(MakeEditTextTarget(edit));
        int64_t x;
        int y;
        parser.GetCursorPosition(x, y);
        EXPECT_EQ(x, 23);
        EXPECT_EQ(y, kind.multiLine ? 1 : 0);
        TMainParsingEngine engine;
        engine.Initialize(&parser, ctFromCursor);
        EXPECT_EQ(engine.NextWord(), "teh");
        // A selection that ends inside a wide character's bytes covers it.
        edit->Select(teh - 7, 3);
        int64_t endX;
        int endY;
        parser.GetSelectionPosition(x, y, endX, endY);
        EXPECT_EQ(x, 16);
        EXPECT_EQ(endX, 19);
        delete edit;
    }
}

TEST_F(SpellTextTarget, AMisspellingFarAlongALongLineIsFoundAndReplaced) {
    for (const auto& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        ui::TCustomEdit* edit = make(kind);
        std::string accents;
        for (int i = 0; i < 20000; ++i) accents += "\xC3\xA9";
        edit->Text = accents + " wrod end";
        TWinAPIControlParser parser(MakeEditTextTarget(edit));
        TMainParsingEngine engine;
        engine.Initialize(&parser, ctAll);
        ASSERT_TRUE(seek(engine, "wrod"));
        int64_t x;
        int y;
        parser.GetPosition(x, y);
        EXPECT_EQ(x, 20005);
        parser.SelectWord(4);
        parser.ReplaceWord("word", 0);
        EXPECT_EQ(edit->Text(), accents + " word end");
        delete edit;
    }
}

TEST_F(SpellTextTarget, ScreenRectanglesFollowTheWords) {
    showForm();
    for (const auto& kind : kKinds) {
        if (!kind.multiLine) continue;
        SCOPED_TRACE(kind.name);
        ui::TCustomEdit* edit = make(kind);
        edit->Text = kLine + "\r\nsecond line";
        TWinAPIControlParser parser(MakeEditTextTarget(edit));
        TLxRect control;
        parser.GetControlScreenPosition(control);
        EXPECT_EQ(control.Right - control.Left, 360);
        TMainParsingEngine engine;
        engine.Initialize(&parser, ctAll);
        auto rectOf = [&](const std::string& word) {
            EXPECT_TRUE(seek(engine, word));
            parser.SelectWord(static_cast<int64_t>(word.size()));
            parser.IgnoreWord(10);
            TLxRect r;
            parser.GetSelectionScreenPosition(r);
            return r;
        };
        const TLxRect quoted = rectOf("quoted"), teh = rectOf("teh"), second = rectOf("second");
        EXPECT_GT(quoted.Right, quoted.Left);
        EXPECT_GT(quoted.Bottom, quoted.Top);
        EXPECT_GT(teh.Left, quoted.Right);
        EXPECT_EQ(teh.Top, quoted.Top);
        EXPECT_GE(second.Top, quoted.Bottom);
        EXPECT_LT(second.Left, teh.Left);
        for (const TLxRect& r : {quoted, teh, second}) {
            EXPECT_GE(r.Left, control.Left);
            EXPECT_GE(r.Top, control.Top);
            EXPECT_LE(r.Bottom, control.Bottom);
        }
        delete edit;
    }
}

TEST_F(SpellTextTarget, CentringBringsTheWordIntoTheMiddle) {
    showForm();
    auto* memo = new ui::TMemo(form.get());
    memo->Parent = form.get();
    memo->SetBounds(10, 10, 360, 200);
    std::string text;
    for (int i = 0; i < 300; ++i) text += (i == 250 ? "wrod" : "line") + std::string("\r\n");
    memo->Text = text;
    TWinAPIControlParser parser(MakeEditTextTarget(memo));
    TMainParsingEngine engine;
    engine.Initialize(&parser, ctAll);
    ASSERT_TRUE(seek(engine, "wrod"));
    parser.SelectWord(4);
    parser.CenterSelection();
    const int first = memo->FirstVisibleLine();
    EXPECT_GT(first, 200);
    EXPECT_LT(first, 250);
    EXPECT_EQ(memo->SelText(), "wrod");
}
