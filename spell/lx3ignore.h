#pragma once
// Ignore filters: skip parts of a text (tags, addresses) or accept words
// that no dictionary knows (numbers, capitals, abbreviations, words on
// quoted lines). The spell-check component keeps them in lists and asks
// them in order.
#include <string>
#include <string_view>

#include "spell/lx3parserbase.h"

namespace spell {

class TParserIgnore {
public:
    virtual ~TParserIgnore() = default;
    // Takes part in scanning (inline and pre-check stages).
    virtual bool NeededBeforeCheck() = 0;
    // Judges whole lines.
    virtual bool LineCheckNeeded() = 0;
    // Inline: skips text starting at Char (the parser's current character).
    virtual bool ExecuteIgnore(unsigned char Char, TControlParser& Parser) = 0;
    // Drops a word before it is checked (the parser stands right behind it).
    virtual bool ExecuteWordIgnorePreCheck(const std::string& Word, TControlParser& Parser) = 0;
    // Accepts a word no dictionary knows.
    virtual bool ExecuteWordIgnorePostCheck(const std::string& Word, TControlParser& Parser) = 0;
    virtual bool ExecuteLineIgnore(const std::string& Line) = 0;
};

// Answers no to everything; each filter overrides what it judges.
class TParserIgnoreBase : public TParserIgnore {
public:
    bool NeededBeforeCheck() override { return false; }
    bool LineCheckNeeded() override { return false; }
    bool ExecuteIgnore(unsigned char, TControlParser&) override { return false; }
    bool ExecuteWordIgnorePreCheck(const std::string&, TControlParser&) override { return false; }
    bool ExecuteWordIgnorePostCheck(const std::string&, TControlParser&) override { return false; }
    bool ExecuteLineIgnore(const std::string&) override { return false; }
};

// Tags, comments and script blocks; entities ("&amp").
class THTMLIgnore : public TParserIgnoreBase {
public:
    bool NeededBeforeCheck() override { return true; }
    bool ExecuteIgnore(unsigned char Char, TControlParser& Parser) override;
    bool ExecuteWordIgnorePostCheck(const std::string& Word, TControlParser& Parser) override;
};

// Web and mail addresses, file paths ("/dev/null", "~/mail"); words
// starting with "www.".
class TURLIgnore : public TParserIgnoreBase {
public:
    bool NeededBeforeCheck() override { return true; }
    bool ExecuteWordIgnorePreCheck(const std::string& Word, TControlParser& Parser) override;
    bool ExecuteWordIgnorePostCheck(const std::string& Word, TControlParser& Parser) override;
};

// Lines that start with one of the quote characters.
class TQuotedLineIgnore : public TParserIgnoreBase {
public:
    explicit TQuotedLineIgnore(std::string QuoteChars) : quoteChars_(std::move(QuoteChars)) {}
    bool LineCheckNeeded() override { return true; }
    bool ExecuteWordIgnorePostCheck(const std::string& Word, TControlParser& Parser) override;
    bool ExecuteLineIgnore(const std::string& Line) override;

private:
    std::string quoteChars_;
};

// Words written in capitals only.
class TUppercaseWordIgnore : public TParserIgnoreBase {
public:
    bool ExecuteWordIgnorePostCheck(const std::string& Word, TControlParser& Parser) override;
};

// Words holding a digit.
class TNumbersIgnore : public TParserIgnoreBase {
public:
    bool ExecuteWordIgnorePostCheck(const std::string& Word, TControlParser& Parser) override;
};

// Abbreviations of single letters with periods ("U.S.A.", "e.g.").
class TAbbreviationsIgnore : public TParserIgnoreBase {
public:
    bool ExecuteWordIgnorePostCheck(const std::string& Word, TControlParser& Parser) override;
};

// Whether Word is a decimal numeral ("42", "3.14", "1e5", "-0.5"): the only
// numbers a word check accepts. "inf", "nan" and hexadecimal forms are words.
bool IsDecimalNumeral(std::string_view Word);

}  // namespace spell
