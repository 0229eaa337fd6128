// Edits, memos and rich edits: texts, byte positions over UTF-8 and CR LF,
// lines, the edit messages, change events and colours by range.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPageLayout>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/ui/comctrls.h"
#include "platform/ui/printers.h"
#include "platform/ui/stdctrls.h"
#include "platform/win/pump.h"

#include "tests/ui/form_fixture.h"

using namespace ui;

namespace {

// "é" is 2 bytes, "€" 3, "😀" 4; every line break counts 2.
const std::string kText = "h\xC3\xA9llo\r\n\xE2\x82\xAC 5\r\n\xF0\x9F\x98\x80!";

using EditsTest = FormTest;

TEST_F(EditsTest, EveryEditCountsBytesAndCrLf) {
    auto* edit = new TEdit(form.get());
    auto* memo = new TMemo(form.get());
    auto* rich = new TRichEdit(form.get());
    const std::string line = "h\xC3\xA9llo \xE2\x82\xAC";  // one line for the single-line edit
    struct Case {
        int start, length;
        const char* selected;  // for the memo and the rich edit
    } cases[] = {
        {0, 2, "h\xC3\xA9"},              // "h" and half of "é": the range grows to the character's end
        {1, 2, "\xC3\xA9"},
        {2, 1, "\xC3\xA9"},               // from inside "é": back to its start
        {6, 2, "\r\n"},                   // the break is two bytes
        {7, 1, "\r\n"},                   // from between CR and LF
        {8, 5, "\xE2\x82\xAC 5"},
        {17, 4, "\xF0\x9F\x98\x80"},
        {19, 50, "!"},
    };
    memo->Text = kText;
    rich->Text = kText;
    EXPECT_EQ(memo->Text(), kText);
    EXPECT_EQ(rich->GetTextLen(), static_cast<int64_t>(kText.size()));
    for (TCustomEdit* e : {static_cast<TCustomEdit*>(memo), static_cast<TCustomEdit*>(rich)}) {
        for (const Case& c : cases) {
            e->SelStart = c.start;
            e->SelLength = c.length;
            EXPECT_EQ(e->SelText(), c.selected) << e->ClassName() << " " << c.start << "+" << c.length;
            EXPECT_EQ(e->SelStart() + e->SelLength(), e->SelStart() + static_cast<int>(std::string(c.selected).size()));
        }
    }
    edit->Text = line;
    edit->SelStart = 3;
    edit->SelLength = 7;
    EXPECT_EQ(edit->SelStart(), 3);
    EXPECT_EQ(edit->SelText(), "llo \xE2\x82\xAC");
    EXPECT_EQ(edit->GetTextLen(), static_cast<int64_t>(line.size()));
}

TEST_F(EditsTest, SettingSelStartEmptiesTheSelectionAndSelTextReplacesIt) {
    auto* memo = new TMemo(form.get());
    memo->Text = kText;
    memo->SelectAll();
    memo->SelStart = 8;
    EXPECT_EQ(memo->SelLength(), 0);
    memo->SelLength = 3;
    memo->SelText = "EUR\r\nx";
    EXPECT_EQ(memo->Text(), "h\xC3\xA9llo\r\nEUR\r\nx 5\r\n\xF0\x9F\x98\x80!");
    EXPECT_EQ(memo->SelStart(), 14);  // the caret follows the inserted text
}

TEST_F(EditsTest, MemoLinesFollowTheText) {
    auto* memo = new TMemo(form.get());
    EXPECT_EQ(memo->Lines->Count, 0);
    memo->Lines->Add("first");
    EXPECT_EQ(memo->Text(), "first\r\n");
    EXPECT_EQ(memo->Lines->Count, 1);
    memo->Lines->Add("\xC3\xA9" "cho");
    memo->Lines->Insert(0, "zero");
    EXPECT_EQ(memo->Text(), "zero\r\nfirst\r\n\xC3\xA9" "cho\r\n");
    memo->Lines->Delete(1);
    memo->Lines->Strings[0] = "nil";
    EXPECT_EQ(memo->Lines[1], "\xC3\xA9" "cho");
    EXPECT_EQ(memo->Lines->Text(), "nil\r\n\xC3\xA9" "cho\r\n");
    memo->Text = "a\r\nb";  // no final break: adding starts a new line
    memo->Lines->Add("c");
    EXPECT_EQ(memo->Text(), "a\r\nb\r\nc");
    EXPECT_EQ(memo->Lines->IndexOf("B"), 1);
    EXPECT_THROW(memo->Lines[3], rtl::EStringListError);
}

TEST_F(EditsTest, EditMessagesCountLinesAndBytes) {
    auto* rich = new TRichEdit(form.get());
    auto* memo = new TMemo(form.get());
    for (TCustomMemo* m : {static_cast<TCustomMemo*>(rich), static_cast<TCustomMemo*>(memo)}) {
        m->Text = kText;
        EXPECT_EQ(m->Perform(EM_GETLINECOUNT, 0, 0), 3);
        EXPECT_EQ(m->Perform(EM_GETTEXTLENGTHEX, 0, 0), static_cast<LRESULT>(kText.size()));
        EXPECT_EQ(m->Perform(WM_GETTEXTLENGTH, 0, 0), static_cast<LRESULT>(kText.size()));
        struct Case {
            int pos, line;
        } lines[] = {{0, 0}, {5, 0}, {6, 0}, {8, 1}, {13, 1}, {15, 2}, {22, 2}};
        for (const Case& c : lines) {
            EXPECT_EQ(m->Perform(EM_LINEFROMCHAR, c.pos, 0), c.line) << c.pos;
            EXPECT_EQ(m->Perform(EM_EXLINEFROMCHAR, 0, c.pos), c.line) << c.pos;
        }
        EXPECT_EQ(m->Perform(EM_LINEINDEX, 1, 0), 8);
        EXPECT_EQ(m->Perform(EM_LINEINDEX, 2, 0), 15);
        EXPECT_EQ(m->Perform(EM_LINEINDEX, 3, 0), -1);
        EXPECT_EQ(m->Perform(EM_LINELENGTH, 9, 0), 5);
        char buf[16] = {};
        const uint16_t size = sizeof buf;
        std::memcpy(buf, &size, sizeof size);
        ASSERT_EQ(m->Perform(EM_GETLINE, 1, reinterpret_cast<LPARAM>(buf)), 5);
        EXPECT_EQ(std::string(buf, 5), "\xE2\x82\xAC 5");

        m->Perform(EM_SETSEL, 8, 11);
        uint32_t start = 0, end = 0;
        m->Perform(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 8u);
        EXPECT_EQ(end, 11u);
        EXPECT_EQ(m->Perform(EM_LINEFROMCHAR, static_cast<WPARAM>(-1), 0), 1);  // the caret's line
        m->Perform(EM_REPLACESEL, 0, reinterpret_cast<LPARAM>("E"));
        EXPECT_EQ(m->Text(), "h\xC3\xA9llo\r\nE 5\r\n\xF0\x9F\x98\x80!");
        m->Perform(EM_SETSEL, 0, -1);
        EXPECT_EQ(m->SelLength(), static_cast<int>(m->GetTextLen()));
    }
}

TEST_F(EditsTest, ScrollingByLinesAndTheFirstVisibleLine) {
    auto* memo = new TRichEdit(form.get());
    memo->WordWrap = false;
    memo->SetBounds(0, 0, 200, 120);
    std::string text;
    for (int i = 0; i < 200; ++i) text += "line \xC3\xA9 " + std::to_string(i) + "\r\n";
    memo->Text = text;
    showForm();
    EXPECT_EQ(memo->Perform(EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    memo->Perform(EM_LINESCROLL, 0, 40);
    EXPECT_EQ(memo->Perform(EM_GETFIRSTVISIBLELINE, 0, 0), 40);
    const int pos = memo->ScrollPos(false);
    memo->Perform(WM_VSCROLL, MAKEWPARAM(SB_TOP, 0), 0);
    EXPECT_EQ(memo->Perform(EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    memo->Perform(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, pos), 0);
    EXPECT_EQ(memo->Perform(EM_GETFIRSTVISIBLELINE, 0, 0), 40);

    // The caret far below comes into view; the character at the top-left
    // corner starts the first visible line.
    memo->SelStart = static_cast<int>(memo->LineIndex(150));
    memo->Perform(EM_SCROLLCARET, 0, 0);
    const int first = memo->FirstVisibleLine();
    EXPECT_LE(first, 150);
    EXPECT_GT(first, 100);
    const TPoint topLeft{2, 2};
    EXPECT_EQ(memo->Perform(EM_CHARFROMPOS, 0, reinterpret_cast<LPARAM>(&topLeft)), memo->LineIndex(first));
    TPoint at;
    memo->Perform(EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), memo->LineIndex(first + 1));
    EXPECT_EQ(memo->CharFromPos({at.X + 1, at.Y + 1}), memo->LineIndex(first + 1));
}

TEST_F(EditsTest, ProgrammaticTextChangesRaiseOnChangeColouringDoesNot) {
    auto* rich = new TRichEdit(form.get());
    auto* edit = new TEdit(form.get());
    int richChanges = 0, editChanges = 0;
    rich->OnChange = [&](rtl::TObject*) { ++richChanges; };
    edit->OnChange = [&](rtl::TObject*) { ++editChanges; };
    edit->Text = "abc";
    EXPECT_EQ(editChanges, 1);
    rich->Text = kText;
    EXPECT_EQ(richChanges, 1);
    rich->SelStart = 1;
    rich->SelLength = 4;
    rich->SelAttributes->Color = clRed;
    rich->SelAttributes->Style = fsBold;
    EXPECT_EQ(richChanges, 1);
    // Colouring keeps no undo steps, which would pile up without end.
    EXPECT_FALSE(static_cast<QPlainTextEdit*>(rich->Widget())->document()->isUndoRedoEnabled());
    rich->SelText = "x";
    EXPECT_EQ(richChanges, 2);
    // With the change notification off in the event mask, edits are silent.
    const LRESULT mask = rich->Perform(EM_GETEVENTMASK, 0, 0);
    EXPECT_TRUE(mask & ENM_CHANGE);
    rich->Perform(EM_SETEVENTMASK, 0, 0);
    rich->Text = "quiet";
    EXPECT_EQ(richChanges, 2);
    EXPECT_EQ(rich->Perform(EM_SETEVENTMASK, 0, mask), 0);
    rich->Text = "loud";
    EXPECT_EQ(richChanges, 3);
}

TEST_F(EditsTest, ColoursApplyToByteRanges) {
    auto* rich = new TRichEdit(form.get());
    rich->DefAttributes->Color = clBlack;
    rich->Text = "ab\xC3\xA9" "cd\r\n\xE2\x82\xAC" "ef";
    auto colourAt = [&](int pos) {
        rich->SelStart = pos;
        rich->SelLength = 1;
        return static_cast<TColor>(rich->SelAttributes->Color);
    };
    rich->SelStart = 2;  // "é" and "c"
    rich->SelLength = 3;
    rich->SelAttributes->Color = clRed;
    rich->SelStart = 7;  // the break and "€"
    rich->SelLength = 5;
    rich->SelAttributes->Color = RGB(0, 0x85, 0xDF);
    struct Case {
        int pos;
        TColor colour;
    } cases[] = {{0, clBlack}, {1, clBlack}, {2, clRed}, {4, clRed}, {5, clBlack}, {9, RGB(0, 0x85, 0xDF)},
                 {12, clBlack}};
    for (const Case& c : cases) EXPECT_EQ(colourAt(c.pos), c.colour) << c.pos;
}

// A wavy mark over text the user underlined: when the mark goes, the
// text's own underline is there again.
TEST_F(EditsTest, WavyMarksKeepTheTextsOwnUnderline) {
    auto* rich = new TRichEdit(form.get());
    rich->Text = "a wrod here";
    rich->Select(2, 4);
    rich->SelAttributes->Style = fsUnderline;
    rich->SetLineUnderlines(0, {{2, 6}, {7, 11}}, clRed);
    rich->Select(3, 1);
    EXPECT_EQ(rich->SelAttributes->UnderlineStyle(), usWave);
    rich->SetLineUnderlines(0, {}, clRed);
    struct Case {
        int pos;
        bool underlined;
    } cases[] = {{1, false}, {2, true}, {5, true}, {8, false}};
    for (const Case& c : cases) {
        rich->Select(c.pos, 1);
        EXPECT_NE(rich->SelAttributes->UnderlineStyle(), usWave) << c.pos;
        EXPECT_EQ((rich->SelAttributes->Style & fsUnderline) != 0, c.underlined) << c.pos;
    }
}

TEST_F(EditsTest, RichEditsPrintWithinTheirPageRectangle) {
    QTemporaryDir dir;
    const std::string pdf = dir.filePath("out.pdf").toStdString();
    TPrinter* printer = Printer();
    printer->SetOutputFileName(pdf);
    auto* rich = new TRichEdit(form.get());
    rich->Text = "Pelliwox Email Summary\r\n\r\nTo: alice@example.org";
    // Four different margins, so that a swapped or ignored side shows.
    const int dpi = printer->PixelsPerInchX();
    const TRect page = Rect(dpi, dpi / 4, printer->PhysicalWidth() - dpi / 2, printer->PhysicalHeight() - dpi * 3 / 4);
    rich->PageRect = page;
    rich->Print("Output from pelliwox");
    printer->SetOutputFileName("");
    std::ifstream in(pdf, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.substr(0, 5), "%PDF-");
    // The page was laid out in the rectangle asked for, in printer pixels.
    const QRect printed = printer->Handle()->pageLayout().paintRectPixels(dpi);
    EXPECT_NEAR(printed.left(), page.Left, 2);
    EXPECT_NEAR(printed.top(), page.Top, 2);
    EXPECT_NEAR(printed.left() + printed.width(), page.Right, 2);
    EXPECT_NEAR(printed.top() + printed.height(), page.Bottom, 2);
    EXPECT_NEAR(printer->PageWidth(), page.Width(), 2);
    EXPECT_NEAR(printer->PageHeight(), page.Height(), 2);
}

TEST_F(EditsTest, RedrawStopsAndRestarts) {
    auto* rich = new TRichEdit(form.get());
    showForm();
    auto* editor = static_cast<QPlainTextEdit*>(rich->Widget());
    rich->Perform(WM_SETREDRAW, 0, 0);
    EXPECT_FALSE(editor->viewport()->updatesEnabled());
    rich->Perform(WM_SETREDRAW, 1, 0);
    EXPECT_TRUE(editor->viewport()->updatesEnabled());
}

TEST_F(EditsTest, EditPropertiesReachTheWidget) {
    auto* edit = new TEdit(form.get());
    edit->PasswordChar = '*';
    edit->MaxLength = 3;
    showForm();
    edit->SetFocus();
    QTest::keyClicks(edit->Widget(), "secret");
    EXPECT_EQ(edit->Text(), "sec");
    edit->ReadOnly = true;
    EXPECT_EQ(edit->Perform(EM_SETREADONLY, 0, 0), 1);
    EXPECT_FALSE(edit->ReadOnly());
}

}  // namespace
