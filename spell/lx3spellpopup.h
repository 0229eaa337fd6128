#pragma once
// The spell component's popup menu for one misspelt word: its suggestions,
// Ignore, Ignore All, Add, the Change All and Auto Correct submenus and the
// dialog entry. Picking an entry records what it asks for in the
// component's dictionaries; the caller acts on the text.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "spell/lx3spellbase.h"
#include "spell/lx3texts.h"

namespace ui {
class TWinControl;
class TPopupMenu;
}  // namespace ui

namespace spell {

enum TSpellPopupOption { spCancel, spDialog, spAutoCorrect, spChangeAll, spAdd, spIgnoreAll, spIgnore, spReplace };

// A set of TSpellPopupOption, one bit per value.
class TSpellPopupOptions {
public:
    constexpr TSpellPopupOptions() = default;
    constexpr TSpellPopupOptions(std::initializer_list<TSpellPopupOption> options) {
        for (const auto o : options) bits_ |= bit(o);
    }
    constexpr bool Contains(TSpellPopupOption o) const { return (bits_ & bit(o)) != 0; }
    constexpr void Include(TSpellPopupOption o) { bits_ |= bit(o); }
    constexpr void Exclude(TSpellPopupOption o) { bits_ &= static_cast<uint8_t>(~bit(o)); }
    constexpr uint8_t Bits() const { return bits_; }
    constexpr bool operator==(const TSpellPopupOptions&) const = default;

private:
    static constexpr uint8_t bit(TSpellPopupOption o) { return static_cast<uint8_t>(1u << o); }
    uint8_t bits_ = 0;
};

constexpr TSpellPopupOptions AllSpellPopupOptions{spCancel,   spDialog,  spAutoCorrect, spChangeAll,
                                                  spAdd,      spIgnoreAll, spIgnore,    spReplace};

// What was picked; the menu items' tags.
enum TSpellPopupResult {
    prNone = 0,
    prDialog = 1,
    prAutoCorrect = 2,
    prChangeAll = 3,
    prAdd = 4,
    prIgnoreAll = 5,
    prIgnore = 6,
    prReplace = 7
};

// The most suggestions the menu lists.
constexpr int PopupSuggestions = 5;

class TSpellPopupMenu {
public:
    explicit TSpellPopupMenu(TLexiroSpell3Base& Spell) : spell_(Spell) {}

    // Shows the menu for Word at the screen point (X, Y) and waits for the
    // pick. Word is in the component's code page; after a suggestion (7),
    // an Auto Correct (2) or a Change All (3) pick it is the chosen word.
    // 0 when Word is empty, nothing was picked or a menu of the component
    // is open already.
    int Show(ui::TWinControl* Control, TSpellPopupOptions Options, int X, int Y, std::string& Word);

    TSpellLanguageType Language = ltEnglish;
    // Told last, before the component's popup-result listeners; may change
    // the result and the word.
    std::function<void(const std::string& OriginalWord, int& Result, std::string& Word)> OnPopupResult;
    // The menu as built, before it shows (its items carry the result codes
    // as tags).
    std::function<void(ui::TPopupMenu& Menu)> OnPopupCreateMenu;

private:
    TLexiroSpell3Base& spell_;
};

// One menu with the default settings.
int ShowSpellPopupMenu(TLexiroSpell3Base& Spell, ui::TWinControl* Control, TSpellPopupOptions Options, int X, int Y,
                       std::string& Word);

}  // namespace spell
