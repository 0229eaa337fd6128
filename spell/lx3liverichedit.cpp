// Spelling as you type over a rich edit.
#include "spell/lx3liverichedit.h"

#include <algorithm>

#include "platform/ui/comctrls.h"
#include "spell/lx3edittarget.h"
#include "spell/lx3stringparser.h"
#include "spell/lxcodepage.h"

namespace spell {

namespace {

// Menu results the engine acts on.
constexpr int kIgnoreOnce = 10, kIgnoreAll = 11, kAdd = 12;

// Redrawing stays off while the scope lives, also when it is left by an
// exception.
class TRedrawOff {
public:
    explicit TRedrawOff(ui::TRichEdit* host) : host_(host) { host_->SetRedraw(false); }
    ~TRedrawOff() { host_->SetRedraw(true); }
    TRedrawOff(const TRedrawOff&) = delete;
    TRedrawOff& operator=(const TRedrawOff&) = delete;

private:
    ui::TRichEdit* host_;
};

class TFlag {
public:
    explicit TFlag(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
    ~TFlag() { flag_ = old_; }
    TFlag(const TFlag&) = delete;
    TFlag& operator=(const TFlag&) = delete;

private:
    bool& flag_;
    bool old_;
};

std::string lineText(const ui::TRichEdit* host, int y) {
    if (y < 0 || y >= host->Lines->Count) return {};
    return host->Lines->Get(y);
}

}  // namespace

TLexiroLiveRichEdit::TLexiroLiveRichEdit()
    : LiveMenuOptions(AllSpellPopupOptions), engine_(std::make_unique<TMainParsingEngine>()) {
    LiveMenuOptions.Exclude(spCancel);
}

TLexiroLiveRichEdit::~TLexiroLiveRichEdit() { unsubscribe(); }

// ------------------------------------------------------------- settings

void TLexiroLiveRichEdit::WriteHost(ui::TRichEdit* Host) {
    if (host_ && host_ != Host && underlining_) clearMarks();
    host_ = Host;
    cache_.clear();
    underlining_ = false;
    CheckWatchSpelling();
}

void TLexiroLiveRichEdit::WriteLiveSpelling(bool Value) {
    liveSpelling_ = Value;
    CheckWatchSpelling();
}

void TLexiroLiveRichEdit::WriteLiveCorrect(bool Value) {
    liveCorrect_ = Value;
    CheckWatchSpelling();
}

void TLexiroLiveRichEdit::WriteLiveOptions(bool Value) {
    liveOptions_ = Value;
    CheckWatchSpelling();
}

void TLexiroLiveRichEdit::WriteLiveReadOnly(bool Value) {
    liveReadOnly_ = Value;
    CheckWatchSpelling();
}

void TLexiroLiveRichEdit::WriteLiveColor(ui::TColor Value) {
    if (Value == color_) return;
    color_ = Value;
    for (auto& e : cache_)
        if (e) e->Painted = false;
    if (host_) host_->ViewChangedLater();
}

void TLexiroLiveRichEdit::WriteLexiroSpell(TLexiroSpell3Base* Spell) {
    if (Spell == spell_) return;
    unsubscribe();
    spell_ = Spell;
    subscribe();
    CheckWatchSpelling();
}

void TLexiroLiveRichEdit::WriteParsingEngine(std::unique_ptr<TMainParsingEngine> Engine) {
    if (!Engine) return;
    engine_ = std::move(Engine);
    subscribe();
    MarkAllLinesDirty();
}

void TLexiroLiveRichEdit::subscribe() {
    if (!spell_) {
        engine_->OnInlineIgnore = nullptr;
        engine_->OnPreCheckIgnore = nullptr;
        return;
    }
    engine_->OnInlineIgnore = [this](unsigned char c, TControlParser& p, bool& skip) {
        skip = spell_->RunInlineIgnore(c, p);
    };
    engine_->OnPreCheckIgnore = [this](const std::string& w, TControlParser& p, bool& skip) {
        skip = spell_->RunPreCheckIgnore(w, p);
    };
    spell_->OptionsEvents.Add(this, [this](void*) {
        if (liveOptions_) CheckWatchSpelling();
    });
    spell_->ConfigChangedEvents.Add(this, [this](void*) { configChanged(); });
    spell_->IgnoreWordEvents.Add(this, [this](void* notice) {
        const auto* n = static_cast<const TLexiroSpell3Base::TIgnoreWordNotice*>(notice);
        ignoreNotice(n->Before, n->Kind);
    });
    spell_->PopupResultEvents.Add(this, [this](void* notice) {
        popupResult(static_cast<const TLexiroSpell3Base::TPopupResultNotice*>(notice)->Result);
    });
}

void TLexiroLiveRichEdit::unsubscribe() {
    if (!spell_) return;
    for (TEventList* list :
         {&spell_->OptionsEvents, &spell_->ConfigChangedEvents, &spell_->IgnoreWordEvents, &spell_->PopupResultEvents})
        list->Remove(this);
}

// ----------------------------------------------------------- activation

void TLexiroLiveRichEdit::CheckWatchSpelling() {
    bool spelling = liveSpelling_, correct = liveCorrect_;
    // The user's own options count too, unless the control is told to
    // leave them aside.
    if (spell_ && host_ && liveOptions_) {
        spelling = spelling && spell_->LiveSpelling();
        correct = correct && spell_->LiveCorrect();
    }
    const bool usable = spell_ && host_ && (liveReadOnly_ || !host_->GetReadOnly());
    correcting_ = correct && usable;
    const bool underlining = spelling && usable;
    if (underlining == underlining_) return;
    underlining_ = underlining;
    if (!underlining) {
        clearMarks();
        cache_.clear();
    } else if (host_) {
        host_->ViewChangedLater();
    }
}

void TLexiroLiveRichEdit::MarkAllLinesDirty() {
    for (auto& e : cache_)
        if (e) e->Dirty = true;
}

void TLexiroLiveRichEdit::configChanged() {
    MarkAllLinesDirty();
    if (host_) host_->ViewChangedLater();
    if (!spell_->MainDictionaries().empty())
        engine_->SetFrenchExceptions((spell_->MainDictionaries().front()->Language() & 0xFF) == 12);
}

void TLexiroLiveRichEdit::popupResult(int Result) {
    if (Result != prAdd && Result != prIgnoreAll) return;
    MarkAllLinesDirty();
    if (host_) host_->ViewChangedLater();
}

void TLexiroLiveRichEdit::ignoreNotice(bool Before, int Kind) {
    // Only the notice after the word was dealt with. Ignore once follows a
    // check's Ignore only while that check has the word selected (IgnoreWord
    // compares the selection with the word at the caret).
    if (!Before) IgnoreWord(Kind);
}

// ------------------------------------------------------------ the words

namespace {

// Visits the words of a line in order: (word, first column, column behind
// it, the word before it); the visitor returns false to stop.
template <class F>
void forEachWord(TMainParsingEngine& engine, const std::string& line, F visit) {
    std::string text = line;
    TStringParser parser;
    parser.Initialize(text);
    engine.Initialize(&parser, ctAll);
    std::string previous;
    for (std::string w = engine.NextWord(); !w.empty(); w = engine.NextWord()) {
        int64_t x;
        int y;
        parser.GetPosition(x, y);
        const int64_t end = x - 1;
        if (!visit(w, end - static_cast<int64_t>(w.size()), end, previous)) break;
        previous = std::move(w);
    }
    engine.Initialize(nullptr, ctAll);
}

}  // namespace

bool TLexiroLiveRichEdit::WordOK(const std::string& Word, const std::string& PreviousWord) {
    if (!spell_) return true;
    bool acceptable = spell_->WordAcceptable(Word);
    TWordCheckType verdict = acceptable ? wcAccepted : wcDenied;
    if (acceptable && spell_->UseExcludeWords && spell_->WordExcluded(Word)) {
        acceptable = false;
        verdict = wcExcluded;
    }
    if (!acceptable && contextTracking()) {
        const auto it = ignoreOnce_.find(Word);
        acceptable = it != ignoreOnce_.end() && it->second.count(PreviousWord) > 0;
    }
    if (OnWordCheck) {
        std::string replacement;
        OnWordCheck(this, Word, verdict, replacement);
    }
    return acceptable;
}

std::vector<TSpellingError> TLexiroLiveRichEdit::checkLine(const std::string& Line, int64_t CaretColumn, bool& Kept) {
    std::vector<TSpellingError> errors;
    Kept = false;
    if (spell_->RunLineIgnore(Line)) return errors;
    const bool context = contextTracking();
    forEachWord(*engine_, Line, [&](const std::string& w, int64_t start, int64_t end, const std::string& previous) {
        if (WordOK(w, context ? previous : std::string())) return true;
        // The word being typed is let be until the caret leaves it.
        if (end == CaretColumn) Kept = true;
        else errors.push_back({start, end});
        return true;
    });
    return errors;
}

std::vector<TSpellingError> TLexiroLiveRichEdit::LineErrors(int Line) const {
    if (Line < 0 || static_cast<size_t>(Line) >= cache_.size() || !cache_[static_cast<size_t>(Line)]) return {};
    return cache_[static_cast<size_t>(Line)]->Errors;
}

// ---------------------------------------------------------- the marks

void TLexiroLiveRichEdit::paintLine(int Line, const TTargetLine& Text, const std::vector<TSpellingError>& Errors) {
    std::vector<std::pair<int64_t, int64_t>> ranges;
    ranges.reserve(Errors.size());
    for (const auto& e : Errors) ranges.emplace_back(Text.OffsetOf(e.StartChar), Text.OffsetOf(e.EndChar));
    host_->SetLineUnderlines(Line, ranges, color_);
}

void TLexiroLiveRichEdit::clearMarks() {
    if (!host_) return;
    const int lines = host_->LineCount();
    for (int y = 0; y < lines; ++y) host_->SetLineUnderlines(y, {}, color_);
}

void TLexiroLiveRichEdit::LinesChanged(int First, int Count, int Delta) {
    if (First < 0 || static_cast<size_t>(First) >= cache_.size()) return;
    // The old lines [First, First + Count - Delta) are now [First, First + Count).
    const size_t old = static_cast<size_t>(std::max(0, Count - Delta));
    const auto from = cache_.begin() + First;
    cache_.erase(from, from + static_cast<std::ptrdiff_t>(std::min(old, cache_.size() - static_cast<size_t>(First))));
    std::vector<std::unique_ptr<TLineCache>> fresh(static_cast<size_t>(std::max(0, Count)));
    cache_.insert(cache_.begin() + First, std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
}

int TLexiroLiveRichEdit::caretLine(int64_t& Column, TTargetLine& Text) const {
    const int64_t caret = host_->GetSelStart();
    const int y = host_->LineFromChar(caret);
    Text = ConvertTargetLine(lineText(host_, y));
    Column = Text.ColumnOf(caret - std::max<int64_t>(0, host_->LineIndex(y)));
    return y;
}

void TLexiroLiveRichEdit::ViewChanged() {
    if (typed_) checkCorrect();
    refreshLines();
}

void TLexiroLiveRichEdit::refreshLines() {
    if (!underlining_ || busy_ || !host_ || !spell_) return;
    int first, last;
    host_->VisibleLines(first, last);
    int64_t caretColumn = -1;
    int caretY = -1;
    if (host_->Focused()) {
        TTargetLine caretText;
        caretY = caretLine(caretColumn, caretText);
    }
    const int lines = host_->LineCount();
    for (int y = std::max(0, first); y <= last && y < lines; ++y) {
        if (cache_.size() <= static_cast<size_t>(y)) cache_.resize(static_cast<size_t>(y) + 64);
        auto& e = cache_[static_cast<size_t>(y)];
        if (!e) e = std::make_unique<TLineCache>();
        std::string utf8 = lineText(host_, y);
        if (!e->Dirty && e->Text == utf8 && e->Painted) continue;
        const TTargetLine text = ConvertTargetLine(utf8);
        bool kept = false;
        std::vector<TSpellingError> errors = checkLine(text.Text, y == caretY ? caretColumn : -1, kept);
        if (!e->Painted || errors != e->Errors || e->Text != utf8) paintLine(y, text, errors);
        e->Text = std::move(utf8);
        e->Errors = std::move(errors);
        e->Dirty = kept;
        e->Painted = true;
    }
}

// ------------------------------------------------------- live correction

void TLexiroLiveRichEdit::KeyPress(char32_t Key) {
    if (!correcting_ || !host_) return;
    // A key that comes before the view settled: the one before it is in the
    // text by now and is dealt with first.
    if (typed_) checkCorrect();
    typed_ = Key;
    typedAt_ = host_->GetSelStart();
    host_->ViewChangedLater();
}

void TLexiroLiveRichEdit::checkCorrect() {
    const char32_t typed = typed_;
    const int64_t at = typedAt_;
    typed_ = 0;
    typedAt_ = -1;
    if (!correcting_ || !spell_ || !host_ || at < 0 || typed >= 0x80) return;
    if (ExpansionChars.find(static_cast<char>(typed)) == std::string::npos || host_->GetSelLength() != 0) return;
    // The character must stand where it was typed (a key the control did
    // not take, or text moved since, corrects nothing).
    const int y = host_->LineFromChar(at);
    const int64_t lineStart = std::max<int64_t>(0, host_->LineIndex(y));
    const std::string utf8 = lineText(host_, y);
    const int64_t offset = at - lineStart;
    if (offset < 1 || offset >= static_cast<int64_t>(utf8.size()) || utf8[static_cast<size_t>(offset)] != static_cast<char>(typed))
        return;
    const TTargetLine text = ConvertTargetLine(utf8);
    const int64_t column = text.ColumnOf(offset);
    // The word that ends right before the typed character.
    std::string line = text.Text;
    TStringParser parser;
    parser.Initialize(line);
    engine_->Initialize(&parser, ctAll);
    engine_->AdjustToPosition(column, 0);
    const std::string word = engine_->NextWord();
    int64_t x;
    int dummy;
    parser.GetPosition(x, dummy);
    engine_->Initialize(nullptr, ctAll);
    if (word.empty() || x - 1 != column) return;
    std::string correction;
    if (!((!WordOK(word, std::string()) || spell_->UseAutoCorrectFirst) && spell_->WordHasCorrection(word, correction)))
        return;
    if (correction.empty() || correction == word) return;
    const int64_t wordStart = lineStart + text.OffsetOf(column - static_cast<int64_t>(word.size()));
    const int64_t wordEnd = lineStart + offset;
    const int64_t caret = host_->GetSelStart();
    const std::string replacement = Utf8FromCp1252(correction);
    {
        const TRedrawOff redraw(host_);
        host_->Select(wordStart, wordEnd - wordStart);
        host_->SetSelText(replacement);
        const int64_t delta = static_cast<int64_t>(replacement.size()) - (wordEnd - wordStart);
        host_->Select(caret >= wordEnd ? caret + delta : caret, 0);
    }
}

// ------------------------------------------------------------ the menu

std::unique_ptr<TTextTarget> TLexiroLiveRichEdit::target() const { return MakeEditTextTarget(host_); }

bool TLexiroLiveRichEdit::ContextMenu(ui::TPoint ClientPos) {
    if (!underlining_ || !host_ || !spell_) return true;
    ui::TPoint p = ClientPos;
    if (p.X < 0 && p.Y < 0) {
        p = host_->PosFromChar(host_->GetSelStart());
        p.X += 1;
        p.Y += 1;
    }
    if (p.X < 0 || p.Y < 0 || p.X >= host_->ClientWidth() || p.Y >= host_->ClientHeight()) return true;
    const int64_t at = host_->CharFromPos(p);
    const int y = host_->LineFromChar(at);
    const int64_t lineStart = std::max<int64_t>(0, host_->LineIndex(y));
    const TTargetLine text = ConvertTargetLine(lineText(host_, y));
    const int64_t column = text.ColumnOf(at - lineStart);
    if (spell_->RunLineIgnore(text.Text)) return true;
    const bool context = contextTracking();
    std::string word;
    int64_t start = -1, end = -1;
    forEachWord(*engine_, text.Text, [&](const std::string& w, int64_t s, int64_t e, const std::string& previous) {
        if (WordOK(w, context ? previous : std::string())) return true;
        if (s > column) return false;
        if (column <= e) {
            word = w;
            start = s;
            end = e;
            return false;
        }
        return true;
    });
    if (word.empty()) return true;

    auto t = target();
    t->Select(start, y, end, y);
    const TLxRect r = t->RangeScreenRect(start, end, y);
    const std::string original = word;
    TSpellPopupMenu menu(*spell_);
    const int result = menu.Show(host_, LiveMenuOptions, r.Left, r.Bottom, word);
    switch (result) {
        case prDialog:
            if (OnSpellingDialog) OnSpellingDialog(*this);
            break;
        case prAutoCorrect:
        case prReplace:
            t->ReplaceSelection(word);
            break;
        case prChangeAll:
            t->ReplaceSelection(word);
            SearchAndReplace(original, word);
            break;
        case prAdd:
        case prIgnoreAll:
            MarkAllLinesDirty();
            break;
        case prIgnore:
            IgnoreWord(kIgnoreOnce);
            break;
        default:
            break;
    }
    if (static_cast<size_t>(y) < cache_.size() && cache_[static_cast<size_t>(y)]) cache_[static_cast<size_t>(y)]->Dirty = true;
    host_->ViewChangedLater();
    return false;
}

void TLexiroLiveRichEdit::IgnoreWord(int Kind) {
    if (!underlining_ || !host_ || !spell_) return;
    if (Kind == kIgnoreAll || Kind == kAdd) {
        host_->Select(host_->GetSelStart(), 0);
        MarkAllLinesDirty();
        refreshLines();
        return;
    }
    if (Kind != kIgnoreOnce) return;
    int64_t column;
    TTargetLine text;
    caretLine(column, text);
    // The word at the caret, and the word before it on the line.
    std::string word, previous;
    forEachWord(*engine_, text.Text, [&](const std::string& w, int64_t s, int64_t e, const std::string& before) {
        if (s > column) return false;
        if (column < e) {
            word = w;
            previous = before;
            return false;
        }
        return true;
    });
    if (word.empty() || Utf8FromCp1252(word) != host_->GetSelText()) return;
    ignoreOnce_[word].insert(previous);
    // The same pair may stand on other lines in view.
    MarkAllLinesDirty();
    host_->ViewChangedLater();
}

void TLexiroLiveRichEdit::SearchAndReplace(const std::string& Old, const std::string& New) {
    if (Old == New || busy_ || !host_ || !spell_) return;
    const int64_t selStart = host_->GetSelStart(), selLength = host_->GetSelLength();
    {
        const TFlag busy(busy_);
        const TRedrawOff redraw(host_);
        const std::string replacement = Utf8FromCp1252(New);
        for (int y = 0; y < host_->LineCount(); ++y) {
            const TTargetLine text = ConvertTargetLine(lineText(host_, y));
            std::vector<std::pair<int64_t, int64_t>> hits;
            forEachWord(*engine_, text.Text, [&](const std::string& w, int64_t s, int64_t e, const std::string&) {
                if (w == Old) hits.emplace_back(text.OffsetOf(s), text.OffsetOf(e));
                return true;
            });
            const int64_t lineStart = host_->LineIndex(y);
            // From the line's end, so the earlier offsets stay right.
            for (auto it = hits.rbegin(); it != hits.rend(); ++it) {
                host_->Select(lineStart + it->first, it->second - it->first);
                host_->SetSelText(replacement);
            }
        }
    }
    host_->Select(std::min(selStart, host_->GetTextLen()), selLength);
    MarkAllLinesDirty();
    host_->ViewChangedLater();
}

}  // namespace spell
