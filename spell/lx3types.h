#pragma once
// The suite's enumerations that the configuration and the dictionaries
// share with the spell-check component.
#include <cstdint>
#include <initializer_list>

namespace spell {

enum TConfigStorage { csFile, csRegistry, csCallback, csNone };

enum TSpellOption {
    soLiveSpelling,
    soLiveCorrect,
    soUpcase,
    soNumbers,
    soHTML,
    soInternet,
    soQuoted,
    soAbbreviations,
    soPrimaryOnly,
    soRepeated,
    soDUalCaps,
    soUser1,
    soUser2,
    soUser3,
    soUser4
};

// A set of TSpellOption, one bit per value.
class TSpellOptions {
public:
    constexpr TSpellOptions() = default;
    constexpr TSpellOptions(std::initializer_list<TSpellOption> options) {
        for (const auto o : options) bits_ |= bit(o);
    }
    constexpr bool Contains(TSpellOption o) const { return (bits_ & bit(o)) != 0; }
    constexpr void Include(TSpellOption o) { bits_ |= bit(o); }
    constexpr void Exclude(TSpellOption o) { bits_ &= static_cast<uint16_t>(~bit(o)); }
    constexpr uint16_t Bits() const { return bits_; }
    constexpr bool operator==(const TSpellOptions&) const = default;

private:
    static constexpr uint16_t bit(TSpellOption o) { return static_cast<uint16_t>(1u << o); }
    uint16_t bits_ = 0;
};

// The commands of the suite's dialogs, each shown and enabled by the
// component's CommandsVisible and CommandsEnabled.
enum TSpellDialogCommand {
    sdcIgnore,
    sdcIgnoreAll,
    sdcChange,
    sdcChangeAll,
    sdcAdd,
    sdcAutoCorrect,
    sdcUndo,
    sdcHelp,
    sdcCancel,
    sdcOptions,
    sdcCustomDictionary,
    sdcCustomDictionaries,
    sdcConfigOK,
    sdcAddedEdit,
    sdcAutoCorrectEdit,
    sdcExcludedEdit,
    sdcInternalEdit,
    sdcMainDictFolderBrowse,
    sdcResetDefaults
};

class TSpellDialogCommands {
public:
    constexpr TSpellDialogCommands() = default;
    constexpr TSpellDialogCommands(std::initializer_list<TSpellDialogCommand> commands) {
        for (const auto c : commands) bits_ |= bit(c);
    }
    static constexpr TSpellDialogCommands All() {
        TSpellDialogCommands all;
        all.bits_ = (1u << (sdcResetDefaults + 1)) - 1;
        return all;
    }
    constexpr bool Contains(TSpellDialogCommand c) const { return (bits_ & bit(c)) != 0; }
    constexpr void Include(TSpellDialogCommand c) { bits_ |= bit(c); }
    constexpr void Exclude(TSpellDialogCommand c) { bits_ &= ~bit(c); }
    constexpr bool operator==(const TSpellDialogCommands&) const = default;

private:
    static constexpr uint32_t bit(TSpellDialogCommand c) { return 1u << c; }
    uint32_t bits_ = 0;
};

}  // namespace spell
