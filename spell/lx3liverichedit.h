#pragma once
// The engine of spelling as you type, over one rich edit: it marks the
// misspelt words of the lines in view with a wavy underline (a character
// format, like the body's colours), offers the spelling menu on such a
// word, ignores a word once in its context, and corrects a word when a
// word-ending character is typed after it. The rich edit tells it of
// changes, keys and menu requests (TLexiroRichEdit does).
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/ui/graphics.h"
#include "spell/lx3parseengine.h"
#include "spell/lx3spellbase.h"
#include "spell/lx3spellpopup.h"
#include "spell/lx3texttarget.h"

namespace ui {
class TRichEdit;
}

namespace spell {

using TWordCheckEvent =
    std::function<void(void* Sender, const std::string& Word, TWordCheckType& CheckType, std::string& Replacement)>;

// A misspelt word of a line: its columns (0-based, end exclusive).
struct TSpellingError {
    int64_t StartChar, EndChar;
    bool operator==(const TSpellingError&) const = default;
};

// What the engine knows of one line: the text it last checked (UTF-8, as
// the control holds it) and the words it found misspelt there.
struct TLineCache {
    std::string Text;
    std::vector<TSpellingError> Errors;
    bool Dirty = true;
    // The control's marks show Errors (a changed line loses that).
    bool Painted = false;
};

class TLexiroLiveRichEdit {
public:
    TLexiroLiveRichEdit();
    ~TLexiroLiveRichEdit();
    TLexiroLiveRichEdit(const TLexiroLiveRichEdit&) = delete;
    TLexiroLiveRichEdit& operator=(const TLexiroLiveRichEdit&) = delete;

    // ------------------------------------------------------- settings
    ui::TRichEdit* Host() const { return host_; }
    void WriteHost(ui::TRichEdit* Host);
    bool LiveSpelling() const { return liveSpelling_; }
    void WriteLiveSpelling(bool Value);
    bool LiveCorrect() const { return liveCorrect_; }
    void WriteLiveCorrect(bool Value);
    TLexiroSpell3Base* LexiroSpell() const { return spell_; }
    void WriteLexiroSpell(TLexiroSpell3Base* Spell);
    ui::TColor LiveSpellingColor() const { return color_; }
    void WriteLiveColor(ui::TColor Value);
    bool DoubleBuffered = true;  // kept for the control's settings; nothing flickers here
    bool LiveSpellingOptions() const { return liveOptions_; }
    void WriteLiveOptions(bool Value);
    TSpellPopupOptions LiveMenuOptions;
    bool LiveSpellingReadOnly() const { return liveReadOnly_; }
    void WriteLiveReadOnly(bool Value);
    // The characters after which a word is corrected as it is typed.
    std::string ExpansionChars{" .,;:\t"};
    TMainParsingEngine& ParsingEngine() { return *engine_; }
    // Replaces the word splitter; the component's filters are handed on.
    void WriteParsingEngine(std::unique_ptr<TMainParsingEngine> Engine);
    TWordCheckEvent OnWordCheck;

    bool UnderliningActive() const { return underlining_; }
    bool CorrectingActive() const { return correcting_; }

    // ------------------------------------------- told by the host
    // Re-reads whether underlining and correcting are on.
    void CheckWatchSpelling();
    void LinesChanged(int First, int Count, int Delta);
    // Checks the lines in view that changed or were set dirty, corrects a
    // word a typed character has just ended, and keeps the marks current.
    void ViewChanged();
    // A character typed; it may end a word to correct.
    void KeyPress(char32_t Key);
    // The context menu at a client point ((-1, -1): from the keyboard).
    // False when the spelling menu served it (no other menu).
    bool ContextMenu(ui::TPoint ClientPos);
    void MarkAllLinesDirty();

    // ------------------------------------------------ word services
    bool WordOK(const std::string& Word, const std::string& PreviousWord);
    // Ignores once the word at the caret, which must be the selected text,
    // where it follows the word before it (Kind 10); Ignore All and Add
    // (11, 12) collapse the selection and check every line again.
    void IgnoreWord(int Kind);
    // Every whole occurrence of Old (case-sensitive) becomes New; the
    // selection is kept.
    void SearchAndReplace(const std::string& Old, const std::string& New);
    // The misspelt words of line Line as last found (for tests and the
    // benchmark); empty for a line not yet checked.
    std::vector<TSpellingError> LineErrors(int Line) const;
    // Runs the spelling dialog when the menu's "&Spelling ..." entry is
    // picked; without it the entry does nothing here.
    std::function<void(TLexiroLiveRichEdit& Engine)> OnSpellingDialog;

private:
    bool contextTracking() const { return LiveMenuOptions.Contains(spIgnore); }
    std::unique_ptr<TTextTarget> target() const;
    // The line's misspelt words; Kept says a word at the caret was let be.
    std::vector<TSpellingError> checkLine(const std::string& Line, int64_t CaretColumn, bool& Kept);
    void paintLine(int Line, const TTargetLine& Text, const std::vector<TSpellingError>& Errors);
    void clearMarks();
    void refreshLines();
    void checkCorrect();
    int caretLine(int64_t& Column, TTargetLine& Text) const;
    void subscribe();
    void unsubscribe();
    void configChanged();
    void popupResult(int Result);
    void ignoreNotice(bool Before, int Kind);

    ui::TRichEdit* host_ = nullptr;
    TLexiroSpell3Base* spell_ = nullptr;
    bool liveSpelling_ = true, liveCorrect_ = true, liveOptions_ = true, liveReadOnly_ = false;
    ui::TColor color_ = ui::clRed;
    std::unique_ptr<TMainParsingEngine> engine_;
    bool underlining_ = false, correcting_ = false, busy_ = false;
    std::vector<std::unique_ptr<TLineCache>> cache_;
    // Ignore once: each word with the words it was ignored after.
    std::map<std::string, std::set<std::string>> ignoreOnce_;
    // A typed character waiting for the correction check: the character
    // and the byte position where it went in.
    char32_t typed_ = 0;
    int64_t typedAt_ = -1;
};

}  // namespace spell
