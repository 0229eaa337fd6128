#pragma once
// The suite's enumerations that the configuration and the dictionaries
// share with the spell-check component.
#include <cstdint>
#include <initializer_list>

namespace spell {

enum TConfigStorage { csFile, csRegistry, csCallback, csNone };

// What a check made of a word.
enum TWordCheckType { wcAccepted, wcExcluded, wcCorrected, wcDenied, wcRepeated };

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

// A set of commands: bit n stands for the command of ordinal n.
using TSpellDialogCommands = uint32_t;
constexpr TSpellDialogCommands AllSpellDialogCommands = (1u << (sdcResetDefaults + 1)) - 1;
constexpr TSpellDialogCommands CommandBit(TSpellDialogCommand C) { return 1u << C; }
constexpr bool HasCommand(TSpellDialogCommands Set, TSpellDialogCommand C) { return (Set & CommandBit(C)) != 0; }

}  // namespace spell
