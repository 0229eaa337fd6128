// The live-spelling rich edit.
#include "spell/lx3richedit.h"

#include "spell/lx3util.h"

namespace spell {

TLexiroRichEdit::TLexiroRichEdit(rtl::TComponent* owner)
    : ui::TRichEdit(owner), engine_(std::make_unique<TLexiroLiveRichEdit>()) {
    engine_->WriteHost(this);
}

TLexiroRichEdit::~TLexiroRichEdit() {
    // The engine lets go of the component's event lists first.
    engine_.reset();
}

std::string TLexiroRichEdit::Version() const { return GetLexiroVersion(); }

void TLexiroRichEdit::SetReadOnly(bool v) {
    ui::TRichEdit::SetReadOnly(v);
    engine_->CheckWatchSpelling();
}

void TLexiroRichEdit::KeyPress(char32_t& Key) {
    ui::TRichEdit::KeyPress(Key);
    if (Key) engine_->KeyPress(Key);
}

void TLexiroRichEdit::DoContextPopup(ui::TPoint MousePos, bool& Handled) {
    if (!engine_->ContextMenu(MousePos)) {
        Handled = true;
        return;
    }
    ui::TRichEdit::DoContextPopup(MousePos, Handled);
}

bool TLexiroRichEdit::HasContextPopup() const {
    return engine_->UnderliningActive() || ui::TRichEdit::HasContextPopup();
}

void TLexiroRichEdit::LinesChanged(int First, int Count, int Delta) {
    if (engine_) engine_->LinesChanged(First, Count, Delta);
}

void TLexiroRichEdit::ViewChanged() {
    if (engine_) engine_->ViewChanged();
}

}  // namespace spell
