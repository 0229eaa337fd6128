#pragma once
// The thesaurus dialog's mediator: the one component on the dialog's form
// through which the dialog hears of lookups and sends its commands back to
// the thesaurus that runs it.
#include <string>
#include <vector>

#include "platform/rtl/classes.h"
#include "spell/lx3thesaurusbase.h"

namespace spell {

class TThesaurusDialogCtrl : public rtl::TComponent {
public:
    explicit TThesaurusDialogCtrl(rtl::TComponent* Owner) : rtl::TComponent(Owner) {}
    ~TThesaurusDialogCtrl() override;
    const char* ClassName() const override { return "TThesaurusDialogCtrl"; }

    TThesaurus3Base* Thesaurus() const { return thesaurus_; }
    // Connects the thesaurus once (later writes are ignored), takes its
    // command sets and raises OnActivate.
    void WriteThesaurus(TThesaurus3Base* Thesaurus);
    TThesaurusDialogCommands CommandsEnabled() const { return enabled_; }
    TThesaurusDialogCommands CommandsVisible() const { return visible_; }
    std::string Version() const { return GetLexiroVersion(); }

    TThesaurusPromptLookupEvent OnPromptLookup;
    TThesaurusPromptContextEvent OnPromptContext;
    rtl::TNotifyEvent OnActivate;

    // The dialog's commands; nothing happens before a thesaurus is connected.
    void SetContext(int Index);
    void LookupWord(const std::string& Word);
    void ReplaceWord(const std::string& Word);
    void DoubleClickWord(const std::string& Word);
    void Cancel();
    // The interface text in UTF-8; empty without a thesaurus.
    std::string GetString(TThesaurusLanguageString Id);

protected:
    void Notification(rtl::TComponent* Component, rtl::TOperation Operation) override;

private:
    TThesaurus3Base* thesaurus_ = nullptr;
    TThesaurusDialogCommands enabled_ = tdcAll, visible_ = tdcAll;
};

}  // namespace spell
