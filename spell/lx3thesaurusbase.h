#pragma once
// The thesaurus component without its stock dialog: finds the word at an
// edit control's caret, looks it up in the compiled thesaurus, lets a dialog
// (through its mediator) browse the meanings and puts the chosen word in
// the looked-up one's place.
//
// Words are the thesaurus file's 8-bit text (Windows-1252 for the English
// thesaurus); the dialog converts at its edge.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/ui/controls.h"
#include "spell/lx3parseengine.h"
#include "spell/lx3texts.h"
#include "spell/lx3thesaurusfile.h"

namespace ui {
class TForm;
}

namespace spell {

class TThesaurusDialogCtrl;

enum TDialogDoubleClickAction { dcaNone, dcaReplace, dcaLookup };

// The dialog's commands, as bits of a set.
enum TThesaurusDialogCommand : unsigned {
    tdcLookedUp = 1u << 0,
    tdcPrevious = 1u << 1,
    tdcLookup = 1u << 2,
    tdcReplace = 1u << 3,
    tdcClose = 1u << 4,
};
using TThesaurusDialogCommands = unsigned;
constexpr TThesaurusDialogCommands tdcAll = tdcLookedUp | tdcPrevious | tdcLookup | tdcReplace | tdcClose;

using TThesaurusContexts = std::vector<TThesaurusEntry>;
// Form is the dialog to use (Creating) or to release (not Creating; set it
// to null when released here).
using TCreateThesaurusDialogEvent = std::function<void(rtl::TObject* Sender, ui::TForm*& Form, bool Creating)>;
using TThesaurusPromptLookupEvent =
    std::function<void(rtl::TObject* Sender, const std::string& Word, const TThesaurusContexts& Contexts)>;
using TThesaurusPromptContextEvent = std::function<void(rtl::TObject* Sender, const std::vector<std::string>& Words)>;
using TThesaurusGetStringEvent =
    std::function<void(rtl::TObject* Sender, TThesaurusLanguageString Id, std::string& Text)>;

class TThesaurus3Base : public rtl::TComponent {
public:
    explicit TThesaurus3Base(rtl::TComponent* Owner);
    ~TThesaurus3Base() override;
    const char* ClassName() const override { return "TThesaurus3Base"; }

    // The file name as written (path variables allowed).
    const std::string& Filename() const { return filename_; }
    // Stores Name and hands its expansion to the file reader, which takes
    // it only when the file exists.
    virtual void WriteFilename(const std::string& Name);
    bool SortedLists = false;
    TDialogDoubleClickAction DoubleClickAction = dcaLookup;
    TThesaurusLanguageType UILanguage = TThesaurusLanguageType::ltEnglish;
    TThesaurusDialogCommands CommandsEnabled = tdcAll;
    TThesaurusDialogCommands CommandsVisible = tdcAll;
    std::string HelpFile;
    int HelpCtxThesaurusDialog = 0;
    std::string Version() const;

    TCreateThesaurusDialogEvent OnCreateThesaurusDialog;
    TThesaurusPromptLookupEvent OnPromptLookup;
    TThesaurusPromptContextEvent OnPromptContext;
    rtl::TNotifyEvent OnBeforeChange;
    TThesaurusGetStringEvent OnGetString;
    // Told when a lookup cannot use the thesaurus file (missing or
    // damaged): the path and the reason. Without a handler the user is told
    // in a message box.
    std::function<void(rtl::TObject* Sender, const std::string& Text)> OnFileError;

    TParsingEngine& ParsingEngine() const { return *engine_; }
    // Replaces the word splitter; the old one is freed.
    virtual void WriteParsingEngine(std::unique_ptr<TParsingEngine> Engine);
    TThesaurusFile& ThesaurusFile() { return file_; }

    // Looks up the word at the control's caret (an edit, memo or rich
    // edit) and replaces it with the word chosen; false when there is no
    // word there.
    virtual bool LookupWinControl(ui::TWinControl* Control);
    virtual bool LookupParser(TControlParser& Parser);
    // The word chosen for Word; empty when none was.
    virtual std::string LookupWord(const std::string& Word);
    virtual std::string GetString(TThesaurusLanguageString Id);
    // GetString in UTF-8, for display.
    std::string GetStringUtf8(TThesaurusLanguageString Id);

    // The dialog's commands, through its mediator.
    virtual void Lookup_SetContext(int Index);
    virtual void Lookup_LookupWord(const std::string& Word);
    virtual void Lookup_ReplaceWord(const std::string& Word);
    virtual void Lookup_DoubleClickWord(const std::string& Word);
    virtual void Lookup_Cancel();

    // The contexts of the last lookup, sorted with SortedLists.
    const TThesaurusContexts& Contexts() const { return contexts_; }
    // The word the last lookup asked for.
    const std::string& LookedUpWord() const { return file_.LastWord(); }
    bool InLookup() const { return inLookup_; }
    // The dialog while a lookup runs.
    ui::TForm* DialogForm() const { return form_; }

protected:
    virtual void PlaceDialog();
    virtual std::string LookupWordInternal(const std::string& Word);
    virtual void SetupDialogControl();
    virtual void FirePromptLookup();
    virtual void Form_OnShow(rtl::TObject* Sender);
    // The stock dialog; the base class has none.
    virtual ui::TForm* CreateThesaurusDialog() { return nullptr; }

    void Notification(rtl::TComponent* Component, rtl::TOperation Operation) override;

private:
    void lookup(const std::string& word);
    void reportFileError();

    std::string filename_, expanded_;
    std::unique_ptr<TParsingEngine> engine_;
    TThesaurusFile file_;
    TThesaurusContexts contexts_;
    std::string replacement_;
    bool inLookup_ = false;
    TLxRect dialogRect_{-1, -1, -1, -1};
    ui::TForm* form_ = nullptr;
    TThesaurusDialogCtrl* mediator_ = nullptr;
    rtl::TNotifyEvent savedOnShow_;
    ui::TCursor savedCursor_ = 0;
};

}  // namespace spell
