#pragma once
// The composer's body editor: its popup menu and keys, the quote block,
// Find and Replace, the history's undo and redo and the timers that take
// snapshots and colour the visible lines.
#include <functional>
#include <string>
#include <string_view>

#include "platform/ui/extctrls.h"
#include "platform/ui/menus.h"

namespace composer {

class Tmlsend;

// The selection quoted: a BLOCKQUOTE with the given style around it.
std::string QuoteBlock(std::string_view Style, std::string_view Text);

// Every occurrence of Search (letter case ignored, in every script) in Text
// replaced, in one pass; Count says how many.
struct TReplaced {
    std::string Text;
    int Count = 0;
};
TReplaced ReplaceEvery(std::string_view Text, std::string_view Search, std::string_view Replacement);

// The quote style's file, "pelliwoxblockstyle.txt" in the program folder.
std::string QuoteStylePath();

class TBodyEditor {
public:
    explicit TBodyEditor(Tmlsend& Window);
    ~TBodyEditor();
    TBodyEditor(const TBodyEditor&) = delete;
    TBodyEditor& operator=(const TBodyEditor&) = delete;

    ui::TPopupMenu* PopupMenu1;
    ui::TMenuItem *Undo1, *Redo1, *Cut1, *Copy1, *Paste1, *HTMLPaste1, *Delete1, *SelectAll1, *BlockQuote1,
        *WebFont1, *PutStyleintoCSSDesigner1, *ThesaurusLookup1, *FindText1, *FindAgain1, *FindandReplace1,
        *SetBlockStyle1;
    ui::TTimer* Timer1;  // one shot after a change: a history snapshot
    ui::TTimer* Timer2;  // one shot: colouring and the snapshot's positions
    ui::TTimer* Timer4;  // keeps Timer2 going while the window shows

    // The last texts of Find and Replace.
    std::string LastSearch, LastReplacement;

    void Undo1Click(rtl::TObject* Sender);
    void Redo1Click(rtl::TObject* Sender);
    void Copy1Click(rtl::TObject* Sender);
    void Paste1Click(rtl::TObject* Sender);
    void HTMLPaste1Click(rtl::TObject* Sender);
    void BlockQuote1Click(rtl::TObject* Sender);
    void WebFont1Click(rtl::TObject* Sender);
    void PutStyleintoCSSDesigner1Click(rtl::TObject* Sender);
    void SetBlockStyle1Click(rtl::TObject* Sender);
    // The word at the body's caret (or the selected one) in the thesaurus.
    void ThesaurusLookup1Click(rtl::TObject* Sender);
    void FindText1Click(rtl::TObject* Sender);
    void FindAgain1Click(rtl::TObject* Sender);
    void FindandReplace1Click(rtl::TObject* Sender);
    void PopupMenu1Popup(rtl::TObject* Sender);
    void bdyChange(rtl::TObject* Sender);
    void bdyKeyDown(rtl::TObject* Sender, ui::WORD& Key, ui::TShiftState Shift);
    void bdyKeyPress(rtl::TObject* Sender, char32_t& Key);
    void Timer1Timer(rtl::TObject* Sender);
    void Timer2Timer(rtl::TObject* Sender);
    void Timer4Timer(rtl::TObject* Sender);

private:
    // Runs a command that changes the body: one step of the history, the
    // colouring started afresh.
    void change(const std::function<void()>& edit);
    // Replaces the selection (or inserts at the caret) as such a command.
    void insert(const std::string& text);
    void step(int delta);
    void focus();
    ui::TMenuItem* item(const char* caption, ui::TShortCut shortcut, std::function<void()> action);

    Tmlsend& w_;
    bool inHistoryStep_ = false;
};

}  // namespace composer
