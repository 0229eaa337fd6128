// The spell-check component's interactive side.
#include "spell/lx3spell.h"

#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <climits>

#include "platform/ui/comctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/prompter.h"
#include "platform/ui/stdctrls.h"
#include "platform/win/pump.h"
#include "spell/lx3configdialog.h"
#include "spell/lx3customdialogs.h"
#include "spell/lx3edittarget.h"
#include "spell/lx3spelldialog.h"
#include "spell/lx3stringparser.h"
#include "spell/lx3winapiparser.h"

namespace spell {

namespace {

// The busy cursor once a loop has run for a second, until the loop leaves.
class THourglass {
public:
    explicit THourglass(bool use) : use_(use), start_(win::GetTickCount()) {}
    ~THourglass() {
        if (shown_) ui::Screen->Cursor = ui::crDefault;
    }
    THourglass(const THourglass&) = delete;
    THourglass& operator=(const THourglass&) = delete;
    void Tick() {
        if (use_ && !shown_ && win::TicksSince(start_) > 1000) {
            ui::Screen->Cursor = ui::crHourGlass;
            shown_ = true;
        }
    }

private:
    bool use_, shown_ = false;
    uint32_t start_;
};

bool noScreen(const TLxRect& r) { return r.Left == -1 && r.Top == -1 && r.Right == -1 && r.Bottom == -1; }

bool overlaps(const TLxRect& a, const TLxRect& b) {
    return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}

// Positions are those of the window's inner area on the screen, read and
// written alike (a window's Left and Top are its frame's).
TLxPoint where(const ui::TForm& form) {
    const ui::TPoint p = form.ClientToScreen({0, 0});
    return {p.X, p.Y};
}

void moveTo(ui::TForm& form, TLxPoint p) { form.SetBounds(p.X, p.Y, form.Width, form.Height); }

// What the window manager's frame adds around a window's inner area.
TLxRect frameOf(const QWidget* w) {
    if (!w) return {};
    const QRect f = w->frameGeometry(), g = w->geometry();
    return {g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom()};
}

bool framed(const TLxRect& f) { return f.Left != 0 || f.Top != 0 || f.Right != 0 || f.Bottom != 0; }

}  // namespace

TLexiroSpell3::TLexiroSpell3() = default;

TLexiroSpell3::~TLexiroSpell3() {
    if (dialogControl_) dialogControl_->Detach();
    if (TSpellDialog* form = dialog_) {
        dialog_ = nullptr;
        if (OnCreateSpellDialog) OnCreateSpellDialog(form, false);
        else delete form;
    }
}

// ------------------------------------------------------------------ checks

void TLexiroSpell3::CheckString(std::string& Text) {
    auto parser = std::make_unique<TStringParser>();
    parser->Initialize(Text);
    TControlParser* p = parser.get();
    const bool owned = ownParser_;
    CheckParser(parser.release(), ctAll);
    if (!owned) delete p;
}

void TLexiroSpell3::CheckWinControl(ui::TCustomEdit* Control, TCheckType CheckType) {
    auto* parser = new TWinAPIControlParser(MakeEditTextTarget(Control));
    const bool owned = ownParser_;
    CheckParser(parser, CheckType);
    if (!owned) delete parser;
}

void TLexiroSpell3::CheckRichEdit(ui::TRichEdit* Control, TCheckType CheckType) {
    // The text target knows a rich edit by itself.
    CheckWinControl(Control, CheckType);
}

void TLexiroSpell3::CheckParser(TControlParser* Parser, TCheckType CheckType) {
    std::unique_ptr<TControlParser> taken(ownParser_ ? Parser : nullptr);
    if (!Parser || running_ || (sequence_ && cancelled_)) return;
    if (CheckType == ctSmart) {
        taken.release();
        CheckSmart(Parser);
        return;
    }
    beforeChangeFired_ = false;
    running_ = true;
    cancelled_ = false;
    Configuration().EnsureLoaded();
    parser_ = Parser;
    ownedParser_ = std::move(taken);
    CurrentParser = Parser;
    Parser->GetCursorPosition(startX_, startY_);
    previousWord_.clear();
    currentWord_.clear();
    repeatedWord_ = false;
    ParsingEngine().Initialize(Parser, CheckType);
    undo_.clear();
    if (!sequence_) {
        wordsChecked_ = 0;
        checkCountdown_ = 100;
        dialogShown_ = false;
    }
    try {
        if (DialogShowImmediate) EnsureUI();
        OptimizeMainDictionaryOrder();
        if (running_ && !(DialogShowImmediate && DialogShowModal && dialog_)) ContinueCheck();
        if (SynchronousCheck) {
            // The dialog's commands come in through the loop.
            while (running_ && !win::Terminated())
                win::PumpUntil([this] { return !running_ || win::Terminated(); }, -1);
            if (running_) StopCheck(true);
        }
    } catch (...) {
        // A check that failed is over, or every later one would be refused.
        if (running_) StopCheck(true);
        throw;
    }
}

void TLexiroSpell3::CheckSmart(TControlParser* Parser) {
    const bool wasSynchronous = SynchronousCheck, wasOwner = ownParser_;
    std::unique_ptr<TControlParser> owned(wasOwner ? Parser : nullptr);
    if (!Parser || running_) return;
    struct TRestore {
        TLexiroSpell3& s;
        bool synchronous, owner;
        ~TRestore() {
            s.StopSequenceCheck();
            s.SynchronousCheck = synchronous;
            s.ownParser_ = owner;
        }
    } restore{*this, wasSynchronous, wasOwner};
    SynchronousCheck = true;
    ownParser_ = false;
    StartSequenceCheck();
    int64_t startX, endX;
    int startY, endY;
    Parser->GetSelectionPosition(startX, startY, endX, endY);
    if (startX == endX && startY == endY) {
        CheckParser(Parser, ctFromCursor);
        Parser->SetPosition(0, 0, ptCurrent);
        Parser->SetPosition(startX, startY, ptEnd);
        CheckParser(Parser, ctCurrent);
    } else {
        CheckParser(Parser, ctSelected);
        if (!cancelled_) {
            if (ui::MessageDlg(GetString(lsEndSelectionMessage), ui::mtInformation, ui::mbYesNo,
                               GetString(lsSpelling)) == ui::mrYes) {
                Parser->SetPosition(endX, endY, ptCurrent);
                Parser->SetPosition(INT_MAX, INT_MAX, ptEnd);
                CheckParser(Parser, ctCurrent);
                Parser->SetPosition(0, 0, ptCurrent);
                Parser->SetPosition(startX, startY, ptEnd);
                CheckParser(Parser, ctCurrent);
            } else {
                cancelled_ = true;
            }
        }
    }
}

void TLexiroSpell3::StartSequenceCheck() {
    wordsChecked_ = 0;
    checkCountdown_ = 100;
    cancelled_ = false;
    dialogShown_ = false;
    sequence_ = true;
    savedCloseAtEnd_ = closeDialogAtEnd_;
    closeDialogAtEnd_ = false;
    savedKeepActive_ = KeepDictionariesActive();
    WriteKeepDictionariesActive(true);
}

void TLexiroSpell3::StopSequenceCheck() {
    if (!sequence_) return;
    sequence_ = false;
    closeDialogAtEnd_ = true;
    ShowEndMessage();
    CloseSpellDialog();
    closeDialogAtEnd_ = savedCloseAtEnd_;
    WriteKeepDictionariesActive(savedKeepActive_);
}

void TLexiroSpell3::StopCheck(bool Cancelled) {
    if (!running_) return;
    cancelled_ = Cancelled;
    CompleteCheck();
}

void TLexiroSpell3::ContinueCheck() {
    if (!running_) return;
    // A command given while the loop prompts (from a prompt handler) lets
    // the loop go on instead of starting a second one inside it.
    if (inLoop_) {
        loopAgain_ = true;
        return;
    }
    inLoop_ = true;
    struct TLeave {
        bool& flag;
        ~TLeave() { flag = false; }
    } leave{inLoop_};
    THourglass hourglass(UseHourglassCursor);
    const bool repeatedOption = Configuration().ReadSpellOptions().Contains(soRepeated);
    while (running_) {
        const std::string word = ParsingEngine().NextWord();
        if (word.empty()) {
            inLoop_ = false;
            CompleteCheck();
            return;
        }
        ++wordsChecked_;
        if (checkCountdown_ > 0 && --checkCountdown_ == 0) OptimizeMainDictionaryOrder();

        std::string correction;
        TWordCheckType type;
        if (WordAcceptable(word)) {
            type = wcAccepted;
            if (UseAutoCorrectFirst && WordHasCorrection(word, correction)) {
                type = wcCorrected;
            } else if (repeatedOption && word == previousWord_ && ValidRepeatedWord(word, *parser_)) {
                type = wcRepeated;
            }
            previousWord_ = word;
        } else if (WordHasCorrection(word, correction)) {
            type = wcCorrected;
        } else if (!UseExcludeWords) {
            type = wcDenied;
        } else if (WordExcluded(word) || WordExcluded(GetCaseModification(word))) {
            type = wcExcluded;
        } else {
            type = wcDenied;
        }
        if (OnWordCheck) OnWordCheck(word, correction, type);
        hourglass.Tick();

        currentWord_ = word;
        if (type == wcCorrected) {
            parser_->SelectWord(static_cast<int64_t>(word.size()));
            SetUndoAction(saChange, correction, true);
            Fire_ReplaceWord(correction, 2);
            continue;
        }
        if (type == wcAccepted) continue;

        repeatedWord_ = type == wcRepeated;
        if (repeatedWord_) currentWord_ = word + " " + word;
        parser_->SelectWord(static_cast<int64_t>(currentWord_.size()));
        parser_->CenterSelection();
        loopAgain_ = false;
        // A modal dialog runs its own loop: the commands given there must
        // drive the check.
        inLoop_ = false;
        EnsureUI();
        inLoop_ = true;
        if (!running_) return;
        DoWordPrompt();
        if (!loopAgain_) return;  // waits for a command
    }
}

void TLexiroSpell3::DoWordPrompt() {
    OptimizeMainDictionaryOrder();
    const bool answerable = dialogControl_ || OnPromptWord;
    if (dialogControl_ && dialogControl_->OnPromptWord) dialogControl_->OnPromptWord(currentWord_, repeatedWord_);
    if (OnPromptWord) OnPromptWord(currentWord_, repeatedWord_);
    // Nobody can answer (no dialog, no owner code): waiting would never end.
    if (!answerable && running_ && !loopAgain_) StopCheck(true);
}

void TLexiroSpell3::CompleteCheck() {
    if (OnCompleteCheck) OnCompleteCheck();
    ShowEndMessage();
    if (parser_) {
        if (!cancelled_) placeCursorAtEnd(*parser_, startX_, startY_);
    }
    releaseParser();
    ShutdownUI();
    undo_.clear();
    running_ = false;
    UnloadDictionaries();
}

void TLexiroSpell3::releaseParser() {
    if (CurrentParser == parser_) CurrentParser = nullptr;
    parser_ = nullptr;
    ownedParser_.reset();
}

void TLexiroSpell3::placeCursorAtEnd(TControlParser& Parser, int64_t OriginalX, int OriginalY) {
    int64_t x = 0;
    int y = 0;
    switch (EndCursorPosition) {
        case epHome:
            break;
        case epOriginal:
            x = OriginalX;
            y = OriginalY;
            break;
        case epNoModify:
            Parser.GetCursorPosition(x, y);
            break;
    }
    Parser.SetPosition(x, y, ptCurrent);
    Parser.SelectWord(0);
}

void TLexiroSpell3::ShowEndMessage() {
    if (UIType != suiDialog || sequence_) return;
    bool show = false;
    switch (EndMessage) {
        case emNever:
            break;
        case emAlways:
            show = true;
            break;
        case emExceptCancel:
            show = !cancelled_;
            break;
        case emNoDialog:
            show = dialogShown_;
            break;
    }
    if (!show) return;
    if (dialog_ && closeDialogAtEnd_ && !dialog_->Modal()) dialog_->Hide();
    if (OnShowEndMessage) {
        OnShowEndMessage();
        return;
    }
    std::string text = GetString(lsEndMessage);
    if (EndMessageWordCount)
        text += "\r\n\r\n" + GetString(lsWordsChecked) + " " + std::to_string(wordsChecked_);
    ui::MessageDlg(text, ui::mtInformation, ui::mbOK, GetString(lsSpelling));
}

// ------------------------------------------------------- dialog commands

bool TLexiroSpell3::commandAllowed(bool notRepeated) const {
    return running_ && parser_ && !(notRepeated && repeatedWord_);
}

void TLexiroSpell3::saveActivePromptly() {
    // An added word must not wait for the end of the check to reach the file.
    if (TCustomDictionary* active = ActiveCustomDictionary(); active && active->Modified()) active->Save();
}

void TLexiroSpell3::Check_Ignore() {
    if (!commandAllowed(false)) return;
    SetUndoAction(saIgnore, std::string(), false);
    Fire_IgnoreWord(10);
    ContinueCheck();
}

void TLexiroSpell3::Check_IgnoreAll() {
    if (!commandAllowed(true)) return;
    SetUndoAction(saIgnoreAll, std::string(), false);
    InternalDictionary()->AddIgnore(currentWord_);
    Fire_IgnoreWord(11);
    ContinueCheck();
}

void TLexiroSpell3::Check_Change(const std::string& NewWord) {
    if (!commandAllowed(true)) return;
    SetUndoAction(saChange, NewWord, false);
    Fire_ReplaceWord(NewWord, 0);
    if (RecheckReplacedWords) {
        int64_t x;
        int y;
        parser_->GetPosition(x, y);
        parser_->SetPosition(x - static_cast<int64_t>(NewWord.size()), y, ptCurrent);
    }
    LearnSuggestion(currentWord_, NewWord);
    ContinueCheck();
}

void TLexiroSpell3::Check_ChangeAll(const std::string& NewWord) {
    if (!commandAllowed(true)) return;
    SetUndoAction(saChangeAll, NewWord, false);
    InternalDictionary()->AddAutoCorrect(currentWord_, NewWord);
    Fire_ReplaceWord(NewWord, 1);
    LearnSuggestion(currentWord_, NewWord);
    ContinueCheck();
}

void TLexiroSpell3::Check_Add() {
    if (!commandAllowed(true)) return;
    SetUndoAction(saAdd, std::string(), false);
    if (TCustomDictionary* active = ActiveCustomDictionary()) {
        active->AddIgnore(currentWord_);
        saveActivePromptly();
    }
    Fire_IgnoreWord(12);
    ContinueCheck();
}

void TLexiroSpell3::Check_AutoCorrect(const std::string& NewWord) {
    if (!commandAllowed(true)) return;
    SetUndoAction(saAutoCorrect, NewWord, false);
    if (TCustomDictionary* active = ActiveCustomDictionary()) {
        active->AddAutoCorrect(currentWord_, NewWord);
        saveActivePromptly();
    }
    LearnSuggestion(currentWord_, NewWord);
    Fire_ReplaceWord(NewWord, 2);
    ContinueCheck();
}

void TLexiroSpell3::Check_Undo() {
    if (!commandAllowed(false) || undo_.empty()) return;
    PerformUndo();
    ContinueCheck();
}

void TLexiroSpell3::Check_RepeatIgnore() { Check_Ignore(); }

void TLexiroSpell3::Check_RepeatDelete() {
    if (!commandAllowed(false) || !repeatedWord_) return;
    SetUndoAction(saChange, previousWord_, false);
    Fire_ReplaceWord(previousWord_, 0);
    ContinueCheck();
}

void TLexiroSpell3::Check_ControlEdited() {
    if (!commandAllowed(false)) return;
    undo_.clear();
    int64_t x;
    int y;
    parser_->GetPosition(x, y);
    x = std::max<int64_t>(0, x - static_cast<int64_t>(currentWord_.size()));
    int64_t cursorX;
    int cursorY;
    parser_->GetCursorPosition(cursorX, cursorY);
    if (!ResumeFromLastPosition || cursorY < y || (cursorY == y && cursorX < x)) {
        x = cursorX;
        y = cursorY;
    }
    ParsingEngine().AdjustToPosition(x, y);
    ContinueCheck();
}

void TLexiroSpell3::Check_Cancel() {
    if (!running_) return;
    cancelled_ = true;
    CompleteCheck();
}

// ------------------------------------------------------------------- undo

void TLexiroSpell3::SetUndoAction(TSpellAction Action, const std::string& NewWord, bool Chained) {
    if (!parser_ || MaxUndo == 0) return;
    TLexiroUndo record;
    parser_->GetPosition(record.X, record.Y);
    record.OldWord = currentWord_;
    record.NewWord = NewWord;
    record.Action = Action;
    record.Chained = Chained;
    undo_.push_back(record);
    Fire_UndoLast(0, Action, undo_.back().Data);
    if (MaxUndo > 0 && undo_.size() > static_cast<size_t>(MaxUndo))
        undo_.erase(undo_.begin(), undo_.end() - MaxUndo);
}

void TLexiroSpell3::replaceBack(const TLexiroUndo& Record, int Kind) {
    parser_->SetPosition(Record.X + static_cast<int64_t>(Record.NewWord.size()), Record.Y, ptCurrent);
    parser_->SelectWord(static_cast<int64_t>(Record.NewWord.size()));
    Fire_ReplaceWord(Record.OldWord, Kind);
}

void TLexiroSpell3::PerformUndo() {
    for (;;) {
        if (undo_.empty() || !parser_) return;
        TLexiroUndo record = undo_.back();
        Fire_UndoLast(1, record.Action, record.Data);
        switch (record.Action) {
            case saIgnore:
                break;
            case saIgnoreAll:
                InternalDictionary()->RemoveIgnore(record.OldWord);
                break;
            case saAdd:
                if (TCustomDictionary* active = ActiveCustomDictionary()) {
                    active->RemoveIgnore(record.OldWord);
                    saveActivePromptly();
                }
                break;
            case saChange:
                replaceBack(record, 3);
                break;
            case saChangeAll:
                InternalDictionary()->RemoveAutoCorrect(record.OldWord);
                replaceBack(record, 4);
                break;
            case saAutoCorrect:
                if (TCustomDictionary* active = ActiveCustomDictionary()) {
                    active->RemoveAutoCorrect(record.OldWord);
                    saveActivePromptly();
                }
                InternalDictionary()->RemoveAutoCorrect(record.OldWord);
                replaceBack(record, 5);
                break;
        }
        parser_->SetPosition(record.X, record.Y, ptCurrent);
        undo_.pop_back();
        Fire_UndoLast(2, record.Action, record.Data);
        // An automatic correction goes together with the decision before it.
        if (!record.Chained) return;
    }
}

void TLexiroSpell3::Fire_ReplaceWord(const std::string& NewWord, int Kind) {
    if (!beforeChangeFired_) {
        beforeChangeFired_ = true;
        if (OnBeforeChange) OnBeforeChange();
    }
    if (OnParserReplaceWord) OnParserReplaceWord(true, Kind, NewWord);
    parser_->ReplaceWord(NewWord, Kind);
    if (OnParserReplaceWord) OnParserReplaceWord(false, Kind, NewWord);
}

void TLexiroSpell3::Fire_IgnoreWord(int Kind) {
    if (OnParserIgnoreWord) OnParserIgnoreWord(true, Kind);
    TIgnoreWordNotice before{this, true, Kind};
    IgnoreWordEvents.Notify(&before);
    parser_->IgnoreWord(Kind);
    if (OnParserIgnoreWord) OnParserIgnoreWord(false, Kind);
    TIgnoreWordNotice after{this, false, Kind};
    IgnoreWordEvents.Notify(&after);
}

void TLexiroSpell3::Fire_UndoLast(int Stage, TSpellAction Action, int& Data) {
    if (OnParserUndoLast) OnParserUndoLast(Stage, Action, Data);
    if (parser_) parser_->UndoLast(Stage, Action, Data);
}

// ----------------------------------------------------------------- counts

TLexiroSpell3::TCountResult TLexiroSpell3::GetWordCountParserInternal(TControlParser& Parser, TCheckType CheckType,
                                                                      bool CountErrors, bool StopAtFirst) {
    TCountResult result;
    if (CheckType != ctAll && CheckType != ctSelected) return result;
    Configuration().EnsureLoaded();
    int64_t cursorX;
    int cursorY;
    Parser.GetCursorPosition(cursorX, cursorY);
    TMainParsingEngine engine;
    engine.SetFrenchExceptions(ParsingEngine().FrenchExceptions());
    engine.OnInlineIgnore = [this](unsigned char c, TControlParser& p, bool& skip) { skip = RunInlineIgnore(c, p); };
    engine.OnPreCheckIgnore = [this](const std::string& w, TControlParser& p, bool& skip) {
        skip = RunPreCheckIgnore(w, p);
    };
    struct TRestore {
        TControlParser*& current;
        TControlParser* saved;
        ~TRestore() { current = saved; }
    } restore{CurrentParser, CurrentParser};
    CurrentParser = &Parser;
    const bool repeatedOption = Configuration().ReadSpellOptions().Contains(soRepeated);
    THourglass hourglass(UseHourglassCursor);
    engine.Initialize(&Parser, CheckType);
    std::string previous;
    for (std::string word = engine.NextWord(); !word.empty(); word = engine.NextWord()) {
        ++result.Words;
        hourglass.Tick();
        if (!CountErrors) continue;
        bool error = true;
        if (WordAcceptable(word)) {
            error = repeatedOption && word == previous && ValidRepeatedWord(word, Parser);
            previous = word;
        }
        if (!error) continue;
        ++result.Errors;
        if (StopAtFirst) break;
    }
    placeCursorAtEnd(Parser, cursorX, cursorY);
    result.Present = result.Errors > 0;
    return result;
}

namespace {

template <class F>
auto overString(const std::string& Text, F f) {
    std::string copy = Text;
    TStringParser parser;
    parser.Initialize(copy);
    return f(static_cast<TControlParser&>(parser));
}

template <class F>
auto overControl(ui::TCustomEdit* Control, F f) {
    TWinAPIControlParser parser(MakeEditTextTarget(Control));
    return f(static_cast<TControlParser&>(parser));
}

}  // namespace

int TLexiroSpell3::GetWordCountParser(TControlParser& Parser, TCheckType CheckType) {
    return GetWordCountParserInternal(Parser, CheckType, false, false).Words;
}
int TLexiroSpell3::GetErrorCountParser(TControlParser& Parser, TCheckType CheckType) {
    return GetWordCountParserInternal(Parser, CheckType, true, false).Errors;
}
bool TLexiroSpell3::ErrorsPresentInParser(TControlParser& Parser, TCheckType CheckType) {
    return GetWordCountParserInternal(Parser, CheckType, true, true).Present;
}
int TLexiroSpell3::GetWordCountString(const std::string& Text) {
    return overString(Text, [this](TControlParser& p) { return GetWordCountParser(p, ctAll); });
}
int TLexiroSpell3::GetErrorCountString(const std::string& Text) {
    return overString(Text, [this](TControlParser& p) { return GetErrorCountParser(p, ctAll); });
}
bool TLexiroSpell3::ErrorsPresentInString(const std::string& Text) {
    return overString(Text, [this](TControlParser& p) { return ErrorsPresentInParser(p, ctAll); });
}
int TLexiroSpell3::GetWordCountWinControl(ui::TCustomEdit* Control, TCheckType CheckType) {
    return overControl(Control, [&](TControlParser& p) { return GetWordCountParser(p, CheckType); });
}
int TLexiroSpell3::GetErrorCountWinControl(ui::TCustomEdit* Control, TCheckType CheckType) {
    return overControl(Control, [&](TControlParser& p) { return GetErrorCountParser(p, CheckType); });
}
bool TLexiroSpell3::ErrorsPresentInWinControl(ui::TCustomEdit* Control, TCheckType CheckType) {
    return overControl(Control, [&](TControlParser& p) { return ErrorsPresentInParser(p, CheckType); });
}

// ------------------------------------------------------------- the dialog

void TLexiroSpell3::ShowFileError(const std::string& Message) {
    QTimer::singleShot(0, [Message] { ui::MessageDlg(Message, ui::mtError, ui::mbOK); });
}

TSpellDialog* TLexiroSpell3::CreateSpellDialog() {
    // Owned by the form of the checked control, so it stays above it.
    ui::TForm* owner = nullptr;
    if (auto* p = dynamic_cast<TControlParser2*>(parser_))
        if (ui::TWinControl* control = p->GetControl()) owner = control->ParentForm();
    return new TSpellDialog(owner);
}

TConfigurationDialogCtrl* TLexiroSpell3::SetupDialogControl(ui::TForm* Form, TCustomDictionary* Dictionary) {
    if (!Form) return nullptr;
    for (int i = 0; i < Form->ComponentCount(); ++i) {
        if (auto* control = dynamic_cast<TConfigurationDialogCtrl*>(Form->Components(i))) {
            control->WriteLexiroSpell(this);
            if (Dictionary) control->WriteCustomDictionary(Dictionary);
            return control;
        }
    }
    return nullptr;
}

void TLexiroSpell3::DialogGone(TConfigurationDialogCtrl* Control) {
    if (Control != dialogControl_) return;
    dialogControl_ = nullptr;
    dialog_ = nullptr;
    // No answer can come any more: a check waiting for one ends, cancelled.
    if (running_ && UIType == suiDialog && !OnPromptWord) StopCheck(true);
}

void TLexiroSpell3::EnsureUI() {
    if (UIType != suiDialog) return;
    if (!dialog_) {
        TSpellDialog* form = nullptr;
        if (OnCreateSpellDialog) OnCreateSpellDialog(form, true);
        if (!form) form = CreateSpellDialog();
        dialog_ = form;
        dialogPlaced_ = false;
        dialogControl_ = SetupDialogControl(form, nullptr);
        savedShow_ = form->OnShow;
        savedDeactivate_ = form->OnDeactivate;
        savedActivate_ = form->OnActivate;
        form->OnShow = [this](rtl::TObject* s) {
            if (savedShow_) savedShow_(s);
            Form_OnShow();
        };
        form->OnDeactivate = [this](rtl::TObject* s) {
            if (savedDeactivate_) savedDeactivate_(s);
            Form_OnDeactivate();
        };
        form->OnActivate = [this](rtl::TObject* s) {
            if (savedActivate_) savedActivate_(s);
            Form_OnActivate();
        };
    }
    dialogShown_ = true;
    if (dialog_->Visible) {
        AvoidSelection();
        return;
    }
    if (!dialogPlaced_) {
        dialogPlaced_ = true;
        dialogDeactivated_ = false;
        if (OnSpellDialogShow) OnSpellDialogShow();
        SetInitialPosition();
    }
    AvoidSelection();
    if (!DialogShowModal) {
        dialog_->Show();
        return;
    }
    dialog_->ShowModal();
    // A modal dialog closed while the check still waits counts as Cancel.
    if (running_) StopCheck(true);
}

void TLexiroSpell3::ShutdownUI() {
    if (!dialog_) return;
    if (DialogInitialPos == ipLastUserPos) {
        const TLxPoint p = where(*dialog_);
        Configuration().WriteDialogX(p.X);
        Configuration().WriteDialogY(p.Y);
    }
    if (!dialog_->Modal() && !closeDialogAtEnd_) return;
    TSpellDialog* form = dialog_;
    form->OnShow = savedShow_;
    form->OnDeactivate = savedDeactivate_;
    form->OnActivate = savedActivate_;
    if (form->Modal()) form->EndModal(ui::mrOk);
    else form->Hide();
    if (OnSpellDialogHide) OnSpellDialogHide();
    if (dialogControl_) dialogControl_->Detach();
    dialog_ = nullptr;
    dialogControl_ = nullptr;
    if (OnCreateSpellDialog) {
        OnCreateSpellDialog(form, false);
        return;
    }
    // A command of the dialog itself may be what ends the check: the form
    // goes once that command has returned.
    QTimer::singleShot(0, form->Widget(), [form] { delete form; });
}

void TLexiroSpell3::Form_OnShow() {
    // A modeless dialog is prompted by the loop once it shows; a modal one
    // blocks the loop, so its showing starts or prompts it.
    if (!running_ || !DialogShowModal) return;
    if (currentWord_.empty()) ContinueCheck();
    else DoWordPrompt();
}

void TLexiroSpell3::Form_OnDeactivate() {
    if (dialogDeactivated_) return;
    dialogDeactivated_ = true;
    if (OnDialogDeactivate) OnDialogDeactivate();
}

void TLexiroSpell3::Form_OnActivate() {
    if (!dialogDeactivated_) return;
    dialogDeactivated_ = false;
    if (OnDialogActivate) OnDialogActivate();
    Check_ControlEdited();
}

// The owner's events come first; without them the stock dialogs show.
void TLexiroSpell3::Setup(ui::TWinControl* Owner) {
    if (OnShowConfigDialog) OnShowConfigDialog(Owner);
    else ShowSpellConfigDialog(*this, Owner);
    OptimizeMainDictionaryOrder();
}
void TLexiroSpell3::SetupCustomDictionaries(ui::TWinControl* Owner) {
    if (OnShowCustomDictionariesDialog) OnShowCustomDictionariesDialog(Owner);
    else ShowCustomDictionariesDialog(*this, Owner);
}
void TLexiroSpell3::EditCustomDictionary(TCustomDictionary* Dictionary, ui::TWinControl* Owner) {
    if (OnShowEditCustomDictionaryDialog) OnShowEditCustomDictionaryDialog(Owner, Dictionary);
    else if (Dictionary) ShowEditCustomDictionaryDialog(*this, Owner, *Dictionary);
    // Written now, before the reload, so the loaded copies read the changes.
    if (Dictionary && !Dictionary->Filename().empty() && Dictionary->Modified() && !Dictionary->Save())
        FileFailed(Dictionary->Filename(), Dictionary->LastError());
    FireConfigurationChanged(true);
}
bool TLexiroSpell3::SetupAddDictionaryDir(ui::TWinControl* Owner) {
    if (!OnShowAddDictionaryDir) return ShowAddDictionaryDirDialog(*this, Owner);
    const int before = Configuration().ReadNewDictionaryPaths().Count();
    OnShowAddDictionaryDir(Owner);
    return Configuration().ReadNewDictionaryPaths().Count() != before;
}

// -------------------------------------------------------------- placement

TLxRect TLexiroSpell3::monitor() const { return {0, 0, ui::Screen->Width, ui::Screen->Height}; }

// The dialog is placed by its outer rectangle, title bar and borders
// included: a title bar put over the word would hide it. Until the dialog
// has been framed once, the frame of the checked control's window stands
// in (the same manager frames both).
TLxRect TLexiroSpell3::dialogFrame() const {
    TLxRect f = frameOf(dialog_->Widget());
    if (framed(f)) return f;
    if (auto* p = dynamic_cast<TControlParser2*>(parser_))
        if (ui::TWinControl* control = p->GetControl())
            if (ui::TForm* owner = control->ParentForm()) f = frameOf(owner->Widget());
    return f;
}

TLxRect TLexiroSpell3::dialogOuter() const {
    const TLxRect f = dialogFrame();
    const TLxPoint p = where(*dialog_);
    return {p.X - f.Left, p.Y - f.Top, p.X + dialog_->Width + f.Right, p.Y + dialog_->Height + f.Bottom};
}

void TLexiroSpell3::moveOuterTo(TLxPoint Outer) {
    const TLxRect f = dialogFrame();
    moveTo(*dialog_, {Outer.X + f.Left, Outer.Y + f.Top});
}

void TLexiroSpell3::SetInitialPosition() {
    const TLxRect m = monitor(), outer = dialogOuter();
    const int w = outer.Right - outer.Left, h = outer.Bottom - outer.Top;
    switch (DialogInitialPos) {
        case ipScreenCenter:
        case ipDesktopCenter:
            moveOuterTo({(m.Right - w) / 2, (m.Bottom - h) / 2});
            break;
        case ipUnderSelection:
            if (!DialogShowImmediate) AdjustDialogToSelection(true, true);
            break;
        case ipAvoidControl:
            AdjustDialogToControl();
            break;
        case ipUserDefined:
            if (OnPositionDialog) OnPositionDialog();
            break;
        case ipLastUserPos: {
            // Remembered as the inner area's place.
            const int x = Configuration().ReadDialogX();
            const TLxRect f = dialogFrame();
            if (x == -1) AdjustDialogToControl();
            else moveOuterTo(AdjustDialogPosition(x - f.Left, Configuration().ReadDialogY() - f.Top, w, h, m));
            break;
        }
        case ipIgnore:
            break;
    }
}

void TLexiroSpell3::AdjustDialogToSelection(bool Horizontal, bool Vertical) {
    if (!dialog_ || !parser_) return;
    TLxRect selection;
    parser_->GetSelectionScreenPosition(selection);
    if (noScreen(selection)) return;
    const TLxRect outer = dialogOuter();
    moveOuterTo(AdjustDialogToRect({outer.Left, outer.Top}, outer.Right - outer.Left, outer.Bottom - outer.Top,
                                   selection, Horizontal, Vertical, monitor()));
}

void TLexiroSpell3::AdjustDialogToControl() {
    if (!dialog_ || !parser_) return;
    TLxRect c;
    parser_->GetControlScreenPosition(c);
    if (noScreen(c)) return;
    const TLxRect m = monitor(), outer = dialogOuter();
    const int w = outer.Right - outer.Left, h = outer.Bottom - outer.Top;
    TLxPoint p;
    if (c.Bottom + h <= m.Bottom) p = {c.Left, c.Bottom};
    else if (c.Right + w <= m.Right) p = {c.Right, c.Top};
    else if (c.Top - h >= m.Top) p = {c.Left, c.Top - h};
    else if (c.Left - w >= m.Left) p = {c.Left - w, c.Top};
    else if (DialogShowImmediate) p = {(c.Left + c.Right - w) / 2, (c.Top + c.Bottom - h) / 2};
    else {
        AdjustDialogToSelection(true, true);
        return;
    }
    moveOuterTo(AdjustDialogPosition(p.X, p.Y, w, h, m));
}

void TLexiroSpell3::AvoidSelection() {
    if (!dialog_ || !parser_ || DialogSelectionAvoid == saNone) return;
    const bool horizontal = DialogSelectionAvoid == saAvoid || DialogSelectionAvoid == saMove;
    if (DialogSelectionAvoid == saAvoid || DialogSelectionAvoid == saAvoidUpDown) {
        TLxRect selection;
        parser_->GetSelectionScreenPosition(selection);
        if (noScreen(selection) || !overlaps(dialogOuter(), selection)) return;
    }
    AdjustDialogToSelection(horizontal, true);
}

}  // namespace spell
