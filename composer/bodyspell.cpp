// The composer body's spell checker: the component with the composer's
// settings, the body's live spelling, and the files the start-up step sets.
#include <unistd.h>

#include "composer/mlsend.h"
#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"
#include "spell/lx3maindictionary.h"
#include "spell/lx3spell.h"
#include "spell/lx3thesaurus.h"

namespace composer {

namespace {

// The main dictionary the program ships in its folder.
const char* const kMainDictionary = "British.lxm";

bool present(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

}  // namespace

void Tmlsend::makeSpelling() {
    LexiroSpell31 = std::make_unique<spell::TLexiroSpell3>();
    spell::TLexiroSpell3& s = *LexiroSpell31;
    // Nothing is read or written before the start-up step sets the files.
    s.WriteConfigStorage(spell::csNone);
    s.WriteDefaultMain({kMainDictionary});
    s.WriteDefaultOptions({spell::soLiveSpelling, spell::soLiveCorrect, spell::soUpcase, spell::soNumbers,
                           spell::soHTML, spell::soInternet, spell::soAbbreviations, spell::soRepeated});
    s.WritePhoneticMaxDistance(4);
    s.WritePhoneticDivisor(2);
    s.WritePhoneticDepth(2);
    bdy->WriteLiveSpelling(true);
    bdy->WriteLiveCorrect(true);
    bdy->WriteLiveSpellingColor(ui::clRed);
    bdy->WriteDoubleBuffered(true);
    bdy->WriteLiveSpellingOptions(false);
    bdy->WriteLiveMenuOptions(spell::AllSpellPopupOptions);
    bdy->WriteLiveSpellingReadOnly(false);
    // The menu's Spelling entry: the dialog over the selection, under it,
    // without an end message.
    bdy->Engine().OnSpellingDialog = [this](spell::TLexiroLiveRichEdit&) {
        spell::TLexiroSpell3& c = *LexiroSpell31;
        const spell::TSpellEndMessage endMessage = c.EndMessage;
        const spell::TSpellDialogInitialPos initialPos = c.DialogInitialPos;
        struct TRestore {
            spell::TLexiroSpell3& c;
            spell::TSpellEndMessage m;
            spell::TSpellDialogInitialPos p;
            ~TRestore() {
                c.EndMessage = m;
                c.DialogInitialPos = p;
            }
        } restore{c, endMessage, initialPos};
        c.EndMessage = spell::emNever;
        c.DialogInitialPos = spell::ipUnderSelection;
        c.CheckWinControl(bdy, spell::ctSelected);
    };
}

void Tmlsend::SetupSpelling(const std::string& ProgramFolder, const std::string& UserFolder) {
    spell::TLexiroSpell3& s = *LexiroSpell31;
    // The thesaurus, too, is read from the per-user folder.
    const std::string thesaurus = rtl::ExtractFileName(Thesaurus31->Filename());
    if (!present(UserFolder + thesaurus)) helpers::filecopy(ProgramFolder + thesaurus, UserFolder + thesaurus);
    Thesaurus31->WriteFilename(UserFolder + thesaurus);
    // The per-user copy of the shipped dictionary comes back from the
    // program's folder when it is missing or damaged.
    const std::string dictionary = UserFolder + kMainDictionary;
    std::string error;
    const bool usable = spell::EnsureMainDictionaryCopy(ProgramFolder + kMainDictionary, dictionary, error);
    s.WriteConfigDictionaryDir({rtl::ExcludeTrailingPathDelimiter(UserFolder)});
    s.WriteSuggestionsDictFN(UserFolder + "%UserName%_sp.lxl");
    s.WriteConfigFilename(UserFolder + "Spell.cfg");
    s.WriteConfigStorage(spell::csFile);
    s.WriteDefaultActiveCustom(UserFolder + "%UserName%.lxu");
    // Without a dictionary every word would read as misspelt: the body then
    // stays a plain editor. A dictionary that is there but cannot serve is
    // told to the user; a program shipped without one stays quiet.
    if (usable) bdy->WriteLexiroSpell(&s);
    else if (present(dictionary) || present(ProgramFolder + kMainDictionary)) s.FileFailed(dictionary, error);
}

}  // namespace composer
