#pragma once
// The parsing engine: cuts the characters a control parser reads into the
// words to check, asking the owner's ignore filters on the way.
#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "spell/lx3parserbase.h"

namespace spell {

// Inline filter: may consume text starting at Char (Skip = true).
using TInlineIgnoreEvent = std::function<void(unsigned char Char, TControlParser& Parser, bool& Skip)>;
// Pre-check filter: may drop a word before it is checked.
using TPreCheckIgnoreEvent = std::function<void(const std::string& Word, TControlParser& Parser, bool& Skip)>;

class TParsingEngine {
public:
    virtual ~TParsingEngine() = default;
    virtual void Initialize(TControlParser* Parser, TCheckType CheckType) = 0;
    // Moves to the start of the word at (X, Y), or the character before it.
    virtual void AdjustToPosition(int64_t X, int Y) = 0;
    // The next word to check; empty at the end of the text or range.
    virtual std::string NextWord() = 0;

    TControlParser* Parser() const { return parser_; }
    TInlineIgnoreEvent OnInlineIgnore;
    TPreCheckIgnoreEvent OnPreCheckIgnore;

protected:
    TControlParser* parser_ = nullptr;
};

class TMainParsingEngine : public TParsingEngine {
public:
    TMainParsingEngine();

    void SetCharSet(std::string_view Chars);
    // Word characters that may not stand inside a word.
    void SetMidWord(std::string_view Chars);
    // Characters trimmed from a word's end.
    void SetForbidEnd(std::string_view Chars);
    // French elision: l'homme is two words, aujourd'hui and entr'acte one.
    void SetFrenchExceptions(bool On);
    bool FrenchExceptions() const { return french_; }

    void Initialize(TControlParser* Parser, TCheckType CheckType) override;
    void AdjustToPosition(int64_t X, int Y) override;
    std::string NextWord() override;

    bool AllowMidPeriod = true;
    // A hyphen with a word character on both sides stays inside the word:
    // a compound is one word, accepted or not as a whole.
    bool AllowMidHyphen = true;
    // Keep a word that the end of the text or range cuts off (it is then
    // the last word: the parser stands on its last character).
    bool AllowIncompleteLastWord = false;
    bool AllowHTMLCharMapping = false;  // kept for callers; nothing reads it
    const std::string& LastWord() const { return lastWord_; }

    // The default word characters: digits, "&", the apostrophe, the ASCII
    // letters, 0xC0..0xFF and the letters and the typographic apostrophe
    // of the 0x80..0xBF block.
    static std::string DefaultCharSet();

private:
    void rebuild();
    std::string scan();
    bool skipToWordStart();
    bool collect(std::string& word);
    bool periodContinues(const std::string& word);
    bool nextIsMid();
    void trim(std::string& word);

    std::string charSet_, startForbidden_, endForbidden_, midForbidden_;
    std::array<bool, 256> word_{}, mid_{}, start_{}, end_{};
    bool french_ = false;
    std::string lastWord_;
    // The scan reached the end at this position; asking again from there
    // finds nothing more (the parser cannot move on to say so).
    bool ended_ = false;
    int64_t endedX_ = 0;
    int endedY_ = 0;
};

}  // namespace spell
