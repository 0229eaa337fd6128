// The popup menu of one misspelt word.
#include "spell/lx3spellpopup.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "platform/ui/menus.h"
#include "spell/lxcodepage.h"

namespace spell {

namespace {

// The components whose menu is up; a second one waits for nothing.
std::vector<const TLexiroSpell3Base*>& openMenus() {
    static std::vector<const TLexiroSpell3Base*> open;
    return open;
}

class TOpenScope {
public:
    explicit TOpenScope(const TLexiroSpell3Base* spell) : spell_(spell) { openMenus().push_back(spell); }
    ~TOpenScope() {
        auto& open = openMenus();
        open.erase(std::find(open.begin(), open.end(), spell_));
    }
    TOpenScope(const TOpenScope&) = delete;
    TOpenScope& operator=(const TOpenScope&) = delete;

private:
    const TLexiroSpell3Base* spell_;
};

// A word as a caption: shown in UTF-8, its "&" not taken for an access key.
std::string wordCaption(const std::string& word) {
    std::string caption;
    for (const char c : Utf8FromCp1252(word)) {
        if (c == '&') caption += '&';
        caption += c;
    }
    return caption;
}

// The menu being built, and the word each suggestion item stands for.
class TBuilder {
public:
    explicit TBuilder(TSpellLanguageType language) : language_(language), menu_(std::make_unique<ui::TPopupMenu>(nullptr)) {}

    ui::TMenuItem* add(ui::TMenuItem* parent, const std::string& caption, int tag, bool enabled = true) {
        auto* item = new ui::TMenuItem(menu_.get());
        item->Caption = caption;
        item->Tag = tag;
        item->Enabled = enabled;
        (parent ? parent : static_cast<ui::TMenuItem*>(menu_->Items))->Add(item);
        return item;
    }
    ui::TMenuItem* add(ui::TMenuItem* parent, TSpellLanguageString id, int tag, bool enabled = true) {
        return add(parent, GetStringUtf8(id, language_), tag, enabled);
    }
    void separator() { add(nullptr, "-", 0); }
    void suggestions(ui::TMenuItem* parent, const std::vector<std::string>& words, int tag) {
        for (const auto& w : words) words_.emplace_back(add(parent, wordCaption(w), tag), w);
    }
    const std::string* wordOf(const ui::TMenuItem* item) const {
        for (const auto& [i, w] : words_)
            if (i == item) return &w;
        return nullptr;
    }
    ui::TPopupMenu& menu() { return *menu_; }

private:
    TSpellLanguageType language_;
    std::unique_ptr<ui::TPopupMenu> menu_;
    std::vector<std::pair<const ui::TMenuItem*, std::string>> words_;
};

// A user dictionary changed by a pick is written at once, not only when the
// dictionaries are let go.
void saveNow(TCustomDictionary* dictionary) {
    if (dictionary && dictionary->Modified()) dictionary->Save();
}

}  // namespace

int TSpellPopupMenu::Show(ui::TWinControl* Control, TSpellPopupOptions Options, int X, int Y, std::string& Word) {
    auto& open = openMenus();
    if (Word.empty() || std::find(open.begin(), open.end(), &spell_) != open.end()) return prNone;
    const TOpenScope scope(&spell_);
    spell_.Configuration().EnsureLoaded();
    TCustomDictionary* active = spell_.ActiveCustomDictionary();

    std::vector<std::string> suggestions;
    if (Options.Contains(spReplace) || Options.Contains(spChangeAll) || Options.Contains(spAutoCorrect))
        spell_.InternalSuggest(Word, PopupSuggestions, suggestions);

    TBuilder b(Language);
    if (Options.Contains(spReplace)) {
        if (suggestions.empty()) b.add(nullptr, lsMnNoSuggestions, 0, false);
        else b.suggestions(nullptr, suggestions, prReplace);
        b.separator();
    }
    if (Options.Contains(spIgnore)) b.add(nullptr, lsMnIgnore, prIgnore);
    if (Options.Contains(spIgnoreAll)) b.add(nullptr, lsMnIgnoreAll, prIgnoreAll);
    if (Options.Contains(spAdd)) b.add(nullptr, lsMnAdd, prAdd, active != nullptr);
    b.separator();
    if (Options.Contains(spChangeAll) && !suggestions.empty())
        b.suggestions(b.add(nullptr, lsMnChangeAll, 0), suggestions, prChangeAll);
    if (Options.Contains(spAutoCorrect) && !suggestions.empty() && active)
        b.suggestions(b.add(nullptr, lsMnAutoCorrect, 0), suggestions, prAutoCorrect);
    if (Options.Contains(spDialog)) b.add(nullptr, lsMnSpelling, prDialog);
    if (Control) b.menu().PopupComponent = Control;
    if (OnPopupCreateMenu) OnPopupCreateMenu(b.menu());

    const ui::TMenuItem* picked = b.menu().TrackPopup(X, Y);
    int result = picked && picked->Enabled() ? picked->Tag() : prNone;
    const std::string original = Word;
    const std::string* chosen = picked ? b.wordOf(picked) : nullptr;
    switch (result) {
        case prAutoCorrect:
        case prChangeAll:
        case prReplace:
            if (!chosen) {
                result = prNone;
                break;
            }
            if (result == prAutoCorrect) {
                active->AddAutoCorrect(Word, *chosen);
                saveNow(active);
            } else if (result == prChangeAll) {
                spell_.InternalDictionary()->AddAutoCorrect(Word, *chosen);
            }
            spell_.LearnSuggestion(Word, *chosen);
            saveNow(spell_.LearningDictionary());
            Word = *chosen;
            break;
        case prAdd:
            active->AddIgnore(Word);
            saveNow(active);
            break;
        case prIgnoreAll:
            spell_.InternalDictionary()->AddIgnore(Word);
            break;
        case prDialog:
        case prIgnore:
            break;
        default:
            result = prNone;
    }
    if (OnPopupResult) OnPopupResult(original, result, Word);
    TLexiroSpell3Base::TPopupResultNotice notice{&spell_, result};
    spell_.PopupResultEvents.Notify(&notice);
    return result;
}

int ShowSpellPopupMenu(TLexiroSpell3Base& Spell, ui::TWinControl* Control, TSpellPopupOptions Options, int X, int Y,
                       std::string& Word) {
    return TSpellPopupMenu(Spell).Show(Control, Options, X, Y, Word);
}

}  // namespace spell
