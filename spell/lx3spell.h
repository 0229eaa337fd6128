#pragma once
// The spell-check component with its interactive side: whole-text checks
// that stop at each unknown, excluded or repeated word and wait for a
// decision (from the spelling dialog or the owner's code), replacements,
// chained undo, the smart check over a selection and the rest of the text,
// word and error counts, the end message and the spelling dialog's life and
// placement.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/classes.h"
#include "spell/lx3parserbase.h"
#include "spell/lx3spellbase.h"
#include "spell/lx3texts.h"

namespace ui {
class TCustomEdit;
class TRichEdit;
class TWinControl;
class TForm;
}  // namespace ui

namespace spell {

class TSpellDialog;
class TConfigurationDialogCtrl;

enum TSpellDialogInitialPos {
    ipScreenCenter,
    ipUnderSelection,
    ipAvoidControl,
    ipUserDefined,
    ipLastUserPos,
    ipIgnore,
    ipDesktopCenter
};
enum TSpellDialogAvoidPos { saNone, saAvoid, saAvoidUpDown, saMove, saMoveUpDown };
enum TSpellEndMessage { emNever, emAlways, emExceptCancel, emNoDialog };
enum TSpellEndPosition { epHome, epOriginal, epNoModify };
enum TSpellUI { suiDialog, suiSilent };

// One decision that can be taken back.
struct TLexiroUndo {
    int64_t X = 0;
    int Y = 0;
    std::string OldWord, NewWord;
    TSpellAction Action = saIgnore;
    bool Chained = false;
    int Data = 0;
};

class TLexiroSpell3 : public TLexiroSpell3Base {
public:
    TLexiroSpell3();
    ~TLexiroSpell3() override;

    // ------------------------------------------------------- settings
    TSpellDialogInitialPos DialogInitialPos = ipLastUserPos;
    TSpellDialogAvoidPos DialogSelectionAvoid = saAvoid;
    bool DialogShowImmediate = false, DialogShowModal = false;
    TSpellEndMessage EndMessage = emExceptCancel;
    TSpellEndPosition EndCursorPosition = epOriginal;
    bool EndMessageWordCount = false;
    // -1 keeps every decision, 0 none.
    int MaxUndo = -1;
    bool SynchronousCheck = true;
    bool UseHourglassCursor = true;
    bool RecheckReplacedWords = true;
    bool ResumeFromLastPosition = true;
    TSpellUI UIType = suiDialog;

    // --------------------------------------------------------- events
    std::function<void(const std::string& Word, std::string& Correction, TWordCheckType& CheckType)> OnWordCheck;
    // A word the check stopped at (Windows-1252); Repeated: the word twice
    // with a space between.
    std::function<void(const std::string& Word, bool Repeated)> OnPromptWord;
    // Supplies (Creating) or disposes of (not Creating) the dialog; a
    // handler that leaves Form null on creation lets the stock one be made.
    std::function<void(TSpellDialog*& Form, bool Creating)> OnCreateSpellDialog;
    std::function<void()> OnSpellDialogShow, OnSpellDialogHide, OnPositionDialog, OnShowEndMessage, OnCompleteCheck,
        OnDialogDeactivate, OnDialogActivate, OnBeforeChange;
    std::function<void(bool Before, int Kind, const std::string& NewWord)> OnParserReplaceWord;
    std::function<void(bool Before, int Kind)> OnParserIgnoreWord;
    std::function<void(int Stage, TSpellAction Action, int& Data)> OnParserUndoLast;
    // The owner's own configuration and dictionary dialogs, shown instead of
    // the stock ones when set.
    std::function<void(ui::TWinControl* Owner)> OnShowConfigDialog, OnShowCustomDictionariesDialog,
        OnShowAddDictionaryDir;
    std::function<void(ui::TWinControl* Owner, TCustomDictionary* Dictionary)> OnShowEditCustomDictionaryDialog;

    // --------------------------------------------------------- checks
    // Text is changed in place.
    void CheckString(std::string& Text);
    void CheckWinControl(ui::TCustomEdit* Control, TCheckType CheckType);
    void CheckRichEdit(ui::TRichEdit* Control, TCheckType CheckType);
    // Takes Parser over unless a smart check runs (then its caller keeps it).
    void CheckParser(TControlParser* Parser, TCheckType CheckType);
    void CheckSmart(TControlParser* Parser);
    void StartSequenceCheck();
    void StopSequenceCheck();
    void StopCheck(bool Cancelled);
    bool CheckRunning() const { return running_; }
    bool CheckCancelled() const { return cancelled_; }
    int WordsChecked() const { return wordsChecked_; }

    // ---------------------------------------------------- dialog commands
    void Check_Ignore();
    void Check_IgnoreAll();
    void Check_Change(const std::string& NewWord);
    void Check_ChangeAll(const std::string& NewWord);
    void Check_Add();
    void Check_AutoCorrect(const std::string& NewWord);
    void Check_Undo();
    void Check_RepeatIgnore();
    void Check_RepeatDelete();
    void Check_ControlEdited();
    void Check_Help() {}
    void Check_Cancel();

    bool ReadCanUndo() const { return !undo_.empty(); }
    const std::vector<TLexiroUndo>& UndoList() const { return undo_; }
    void ResetUndo() { undo_.clear(); }

    // -------------------------------------------------- counts, no stops
    // Only ctAll and ctSelected count; other kinds give 0. The caller keeps
    // the parser.
    int GetWordCountString(const std::string& Text);
    int GetWordCountWinControl(ui::TCustomEdit* Control, TCheckType CheckType);
    int GetWordCountParser(TControlParser& Parser, TCheckType CheckType);
    int GetErrorCountString(const std::string& Text);
    int GetErrorCountWinControl(ui::TCustomEdit* Control, TCheckType CheckType);
    int GetErrorCountParser(TControlParser& Parser, TCheckType CheckType);
    bool ErrorsPresentInString(const std::string& Text);
    bool ErrorsPresentInWinControl(ui::TCustomEdit* Control, TCheckType CheckType);
    bool ErrorsPresentInParser(TControlParser& Parser, TCheckType CheckType);

    // ------------------------------------------------------ the dialog
    TSpellDialog* SpellDialog() const { return dialog_; }
    TConfigurationDialogCtrl* DialogControl() const { return dialogControl_; }
    // The first mediator on Form, given this component and Dictionary.
    TConfigurationDialogCtrl* SetupDialogControl(ui::TForm* Form, TCustomDictionary* Dictionary);
    void CloseSpellDialog() { ShutdownUI(); }
    // The configuration and dictionary dialogs over Owner's form (the owner's
    // OnShow... events, else the stock forms, which reach this component
    // through their mediator).
    void Setup(ui::TWinControl* Owner = nullptr);
    void SetupCustomDictionaries(ui::TWinControl* Owner = nullptr);
    // Afterwards the dictionary's changes are written (a failure is told)
    // and the dictionaries reload, so the loaded copies see them (a
    // dictionary this component held is replaced then: do not use it
    // afterwards).
    void EditCustomDictionary(TCustomDictionary* Dictionary, ui::TWinControl* Owner = nullptr);
    // The folder browser; true when a folder was added to the
    // configuration's dictionary folders.
    bool SetupAddDictionaryDir(ui::TWinControl* Owner = nullptr);
    // What the dialog's handlers chain to.
    void Form_OnShow();
    void Form_OnDeactivate();
    void Form_OnActivate();
    // The dialog's mediator is going away with its form.
    void DialogGone(TConfigurationDialogCtrl* Control);

protected:
    // A message box, once the event that met the failure is over (it may be
    // the live-spelling editor's painting).
    void ShowFileError(const std::string& Message) override;
    virtual TSpellDialog* CreateSpellDialog();
    virtual void EnsureUI();
    virtual void ShutdownUI();
    virtual void ShowEndMessage();
    virtual void DoWordPrompt();
    void ContinueCheck();
    void CompleteCheck();
    void SetUndoAction(TSpellAction Action, const std::string& NewWord, bool Chained);
    void PerformUndo();
    void Fire_ReplaceWord(const std::string& NewWord, int Kind);
    void Fire_IgnoreWord(int Kind);
    void Fire_UndoLast(int Stage, TSpellAction Action, int& Data);
    // Placement of the dialog: as plain geometry over the parser's screen
    // rectangles and the screen's.
    void SetInitialPosition();
    void AvoidSelection();
    void AdjustDialogToSelection(bool Horizontal, bool Vertical);
    void AdjustDialogToControl();

private:
    struct TCountResult {
        int Words = 0, Errors = 0;
        bool Present = false;
    };
    TCountResult GetWordCountParserInternal(TControlParser& Parser, TCheckType CheckType, bool CountErrors,
                                            bool StopAtFirst);
    void placeCursorAtEnd(TControlParser& Parser, int64_t OriginalX, int OriginalY);
    void replaceBack(const TLexiroUndo& Record, int Kind);
    // Whether a command may run now; the change commands also need a word
    // that is not a repeated one.
    bool commandAllowed(bool notRepeated) const;
    void saveActivePromptly();
    void releaseParser();
    TLxRect monitor() const;
    // The dialog's frame margins, its outer rectangle on the screen, and
    // placing it by that rectangle.
    TLxRect dialogFrame() const;
    TLxRect dialogOuter() const;
    void moveOuterTo(TLxPoint Outer);

    // The check's state.
    bool running_ = false, cancelled_ = false, beforeChangeFired_ = false;
    std::string currentWord_, previousWord_;
    bool repeatedWord_ = false;
    int wordsChecked_ = 0, checkCountdown_ = 100;
    int64_t startX_ = 0;
    int startY_ = 0;
    TControlParser* parser_ = nullptr;
    std::unique_ptr<TControlParser> ownedParser_;
    bool ownParser_ = true;
    bool sequence_ = false, savedCloseAtEnd_ = true, savedKeepActive_ = false;
    bool dialogShown_ = false, dialogDeactivated_ = false, closeDialogAtEnd_ = true;
    bool inLoop_ = false, loopAgain_ = false;
    std::vector<TLexiroUndo> undo_;

    TSpellDialog* dialog_ = nullptr;
    TConfigurationDialogCtrl* dialogControl_ = nullptr;
    bool dialogPlaced_ = false;
    // The dialog's own handlers, run before the component's.
    std::function<void(rtl::TObject*)> savedShow_, savedDeactivate_, savedActivate_;
};

}  // namespace spell
