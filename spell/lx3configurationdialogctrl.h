#pragma once
// The mediator through which the suite's forms (the spelling dialog, the
// configuration dialog, the dictionary dialogs) reach the spell-check
// component: a form holds one and knows nothing of the component's class.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/classes.h"
#include "spell/lx3spell.h"

namespace ui {
class TWinControl;
}

namespace spell {

// A non-visual part on a form: everything the form asks of the component
// goes through it. Without a component it does nothing and answers the
// defaults.
class TConfigurationDialogCtrl : public rtl::TComponent {
public:
    explicit TConfigurationDialogCtrl(rtl::TComponent* Owner) : rtl::TComponent(Owner) {}
    ~TConfigurationDialogCtrl() override;
    const char* ClassName() const override { return "TConfigurationDialogCtrl"; }

    // Only the first component set counts; its configuration and the
    // options it offers are copied then.
    void WriteLexiroSpell(TLexiroSpell3* Component);
    TLexiroSpell3* LexiroSpell() const { return spell_; }
    // The component lets go of the form: nothing more reaches it.
    void Detach() { spell_ = nullptr; }
    void WriteCustomDictionary(TCustomDictionary* Dictionary);
    TCustomDictionary* CustomDictionary() const { return dictionary_; }
    TLexiroConfig* Configuration() const { return config_; }
    TSpellOptions AvailableOptions() const { return available_; }

    std::vector<std::string> ReadAvailableMain();
    std::vector<std::string> ReadAvailableCustom();
    // The component's dictionary opened for a file name, or null.
    std::unique_ptr<TMainDictionary> GetMainDictionary(const std::string& FileName);
    std::unique_ptr<TCustomDictionary> GetCustomDictionary(const std::string& FileName);
    // A configured name with the component's path variables expanded.
    std::string ExpandVars(const std::string& Name) const;
    bool ReadUseExcludeWords() const;
    bool ReadCanUndo() const;
    TCustomDictionary* ReadInternalCustom() const;
    TCustomDictionary* ReadActiveCustom() const;
    TSpellDialogCommands ReadCommandsVisible() const;
    TSpellDialogCommands ReadCommandsEnabled() const;
    int ReadHelpCtxSpellDialog() const;
    int ReadHelpCtxConfigDialog() const;
    int ReadHelpCtxDictionariesDialog() const;
    int ReadHelpCtxDictionaryEditDialog() const;
    // The user options' own names, the others' interface texts (UTF-8).
    std::string GetOptionString(TSpellOption Option);
    std::string GetString(int Id);

    // The component's dialogs, over the form this mediator is on.
    void Setup();
    void SetupCustomDictionaries();
    void EditCustomDictionary(TCustomDictionary* Dictionary);
    // True when a folder was added.
    bool SetupAddDictionaryDir();
    void EnableCustomDictionary(const std::string& Name, bool Enable);
    bool RemoveCustomDictionary(const std::string& Name);
    bool CreateNewCustomDictionary(const std::string& Name);
    bool RenameCustomDictionary(const std::string& OldName, const std::string& NewName);

    // The check's commands; words are Windows-1252.
    void Ignore();
    void IgnoreAll();
    void Change(const std::string& NewWord);
    void ChangeAll(const std::string& NewWord);
    void Add();
    void AutoCorrect(const std::string& NewWord);
    void ControlEdited();
    void Cancel();
    void Undo();
    void RepeatIgnore();
    void RepeatDelete();
    void Suggest(const std::string& Word, std::vector<std::string>& List);
    // No help system here: nothing happens.
    void HelpSpellDialog() {}
    void HelpConfigDialog() {}
    void HelpDictionariesDialog() {}
    void HelpDictionaryEditDialog() {}

    std::string Version() const { return GetLexiroVersion(); }

    std::function<void()> OnConfigurationAvailable, OnCustomDictionaryAvailable;
    std::function<void(const std::string& Word, bool Repeated)> OnPromptWord;

private:
    ui::TWinControl* ownerControl() const;

    TLexiroSpell3* spell_ = nullptr;
    TLexiroConfig* config_ = nullptr;
    TSpellOptions available_;
    TCustomDictionary* dictionary_ = nullptr;
};

}  // namespace spell
