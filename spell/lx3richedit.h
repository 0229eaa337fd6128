#pragma once
// `TLexiroRichEdit`: the rich edit with spelling as you type. Misspelt
// words get a wavy underline once the caret has left them, a right click
// on one offers the spelling menu, and a word with an auto-correct entry is
// replaced when a word-ending character is typed after it. The work is the
// engine's (lx3liverichedit); the control feeds it its changes, keys and
// menu requests.
#include <memory>
#include <string>

#include "platform/ui/comctrls.h"
#include "spell/lx3liverichedit.h"

namespace spell {

class TLexiroRichEdit : public ui::TRichEdit {
public:
    explicit TLexiroRichEdit(rtl::TComponent* owner);
    ~TLexiroRichEdit() override;
    const char* ClassName() const override { return "TLexiroRichEdit"; }

    bool LiveSpelling() const { return engine_->LiveSpelling(); }
    void WriteLiveSpelling(bool Value) { engine_->WriteLiveSpelling(Value); }
    bool LiveCorrect() const { return engine_->LiveCorrect(); }
    void WriteLiveCorrect(bool Value) { engine_->WriteLiveCorrect(Value); }
    // The component that judges the words; none (the default) keeps live
    // spelling off. It must outlive the link (set none before it goes).
    TLexiroSpell3Base* LexiroSpell() const { return engine_->LexiroSpell(); }
    void WriteLexiroSpell(TLexiroSpell3Base* Spell) { engine_->WriteLexiroSpell(Spell); }
    ui::TColor LiveSpellingColor() const { return engine_->LiveSpellingColor(); }
    void WriteLiveSpellingColor(ui::TColor Value) { engine_->WriteLiveColor(Value); }
    bool DoubleBuffered() const { return engine_->DoubleBuffered; }
    void WriteDoubleBuffered(bool Value) { engine_->DoubleBuffered = Value; }
    // Whether the user's own options (live spelling, live correction) count
    // besides the two settings above.
    bool LiveSpellingOptions() const { return engine_->LiveSpellingOptions(); }
    void WriteLiveSpellingOptions(bool Value) { engine_->WriteLiveOptions(Value); }
    TSpellPopupOptions LiveMenuOptions() const { return engine_->LiveMenuOptions; }
    void WriteLiveMenuOptions(TSpellPopupOptions Value) { engine_->LiveMenuOptions = Value; }
    bool LiveSpellingReadOnly() const { return engine_->LiveSpellingReadOnly(); }
    void WriteLiveSpellingReadOnly(bool Value) { engine_->WriteLiveReadOnly(Value); }
    std::string Version() const;
    TWordCheckEvent& OnWordCheck() { return engine_->OnWordCheck; }

    TLexiroLiveRichEdit& Engine() { return *engine_; }

    void SetReadOnly(bool v) override;

protected:
    void KeyPress(char32_t& Key) override;
    void DoContextPopup(ui::TPoint MousePos, bool& Handled) override;
    bool HasContextPopup() const override;
    void LinesChanged(int First, int Count, int Delta) override;
    void ViewChanged() override;

private:
    std::unique_ptr<TLexiroLiveRichEdit> engine_;
};

}  // namespace spell
