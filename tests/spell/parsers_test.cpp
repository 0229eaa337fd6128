// Control parsers, the word engine and the ignore filters: which words a
// text is cut into, what the filters skip and accept, repeated words,
// replacements and ranges, and lines of any length.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "spell/lx3ignore.h"
#include "spell/lx3parseengine.h"
#include "spell/lx3stringparser.h"
#include "spell/lx3winapiparser.h"

using namespace spell;

namespace {

// Lines in memory standing for an edit control.
class TFakeTarget : public TTextTarget {
public:
    explicit TFakeTarget(std::vector<std::string> lines) : lines(std::move(lines)) {}
    int LineCount() override { return static_cast<int>(lines.size()); }
    std::string Line(int Y) override { return Y >= 0 && Y < LineCount() ? lines[static_cast<size_t>(Y)] : ""; }
    void GetSelection(int64_t& StartX, int& StartY, int64_t& EndX, int& EndY) override {
        StartX = sx, StartY = sy, EndX = ex, EndY = ey;
    }
    void Select(int64_t StartX, int StartY, int64_t EndX, int EndY) override {
        sx = StartX, sy = StartY, ex = EndX, ey = EndY;
    }
    void ReplaceSelection(std::string_view Text) override {
        ASSERT_EQ(sy, ey);
        std::string& line = lines[static_cast<size_t>(sy)];
        line.replace(static_cast<size_t>(sx), static_cast<size_t>(ex - sx), Text);
        ex = sx = sx + static_cast<int64_t>(Text.size());
    }
    void CenterSelection() override {}
    TLxRect ControlScreenRect() override { return {}; }
    TLxRect RangeScreenRect(int64_t, int64_t, int) override { return {}; }
    bool IsRichEdit() override { return false; }
    ui::TWinControl* Control() override { return nullptr; }

    std::vector<std::string> lines;
    int64_t sx = 0, ex = 0;
    int sy = 0, ey = 0;
};

// The filters in the order the component asks them, wired into an engine.
struct Filters {
    std::vector<std::unique_ptr<TParserIgnore>> list;

    void wire(TParsingEngine& engine) {
        engine.OnInlineIgnore = [this](unsigned char c, TControlParser& p, bool& skip) {
            for (auto& f : list)
                if (f->NeededBeforeCheck() && f->ExecuteIgnore(c, p)) {
                    skip = true;
                    return;
                }
        };
        engine.OnPreCheckIgnore = [this](const std::string& w, TControlParser& p, bool& skip) {
            for (auto& f : list)
                if (f->NeededBeforeCheck() && f->ExecuteWordIgnorePreCheck(w, p)) {
                    skip = true;
                    return;
                }
        };
    }
};

// At most 1,000 words, so that an engine that never ends fails instead of
// hanging.
std::vector<std::string> allWords(TParsingEngine& engine) {
    std::vector<std::string> words;
    for (std::string w = engine.NextWord(); !w.empty() && words.size() < 1000; w = engine.NextWord())
        words.push_back(w);
    return words;
}

std::vector<std::string> wordsOf(std::string text, TMainParsingEngine& engine) {
    TStringParser parser;
    parser.Initialize(text);
    engine.Initialize(&parser, ctAll);
    return allWords(engine);
}

std::vector<std::string> wordsOf(const std::string& text) {
    TMainParsingEngine engine;
    return wordsOf(text, engine);
}

std::vector<std::string> linesWords(std::vector<std::string> lines, TParsingEngine& engine) {
    TWinAPIControlParser parser(std::make_unique<TFakeTarget>(std::move(lines)));
    engine.Initialize(&parser, ctAll);
    return allWords(engine);
}

using Words = std::vector<std::string>;

}  // namespace

TEST(SpellParsers, WordsSplitAtApostrophesDashesAndPeriods) {
    struct Case {
        const char* text;
        Words words;
    } cases[] = {
        {"don't stop", {"don't", "stop"}},
        {"the dog's bowl", {"the", "dog's", "bowl"}},           // a possessive stays whole
        {"the dog\x92s bowl", {"the", "dog\x92s", "bowl"}},     // with the typographic apostrophe too
        {"the dogs' bowls", {"the", "dogs", "bowls"}},          // a plural possessive loses its apostrophe
        {"'quoted' and \"double\"", {"quoted", "and", "double"}},
        {"\x91" "curly\x92 quotes", {"curly", "quotes"}},        // a closing curly quote is punctuation
        {"well-known long-term", {"well-known", "long-term"}},  // a compound is one word
        {"a - b x--y -z w- e-mail", {"a", "b", "x", "y", "z", "w", "e-mail"}},  // a dash between blanks is not
        {"e.g. this", {"e.g.", "this"}},                        // an abbreviation keeps its final period
        {"the U.S.A. army", {"the", "U.S.A.", "army"}},
        {"the end. Next", {"the", "end", "Next"}},              // a sentence's last word loses its period
        {"read file.txt now", {"read", "file.txt", "now"}},
        {"AT&T and &amp;", {"AT", "&T", "and", "&amp"}},        // "&" starts a word but ends one inside
        {"caf\xE9 na\xEFve \xC9" "cole", {"caf\xE9", "na\xEFve", "\xC9" "cole"}},
        {"McDonald IBM iPhone", {"McDonald", "IBM", "iPhone"}},  // case stays as written
        {"x\x1Ay", {"x", "y"}},                                 // an unmapped character parts words
        {"42 3.14 0x1F", {"42", "3.14", "0x1F"}},
        {"Hello, world!", {"Hello", "world"}},
        {"last", {"last"}},                                     // the string's last word is read
        {"", {}},
        {" ... ''' ", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(wordsOf(c.text), c.words) << c.text;
}

TEST(SpellParsers, FrenchElisionAndItsSwitch) {
    TMainParsingEngine engine;
    const std::string text = "l'homme aujourd'hui entr'acte don't";
    EXPECT_EQ(wordsOf(text, engine), (Words{"l'homme", "aujourd'hui", "entr'acte", "don't"}));
    engine.SetFrenchExceptions(true);
    EXPECT_EQ(wordsOf(text, engine), (Words{"l", "homme", "aujourd'hui", "entr'acte", "don", "t"}));
    // Switched on again (the owner does so each time it reorders its
    // dictionaries), then off once: the apostrophe joins words again.
    engine.SetFrenchExceptions(true);
    engine.SetFrenchExceptions(false);
    EXPECT_EQ(wordsOf(text, engine), (Words{"l'homme", "aujourd'hui", "entr'acte", "don't"}));
}

TEST(SpellParsers, WordCharactersCanBeChanged) {
    TMainParsingEngine engine;
    engine.SetCharSet(TMainParsingEngine::DefaultCharSet() + "-");
    EXPECT_EQ(wordsOf("well-known", engine), Words{"well-known"});
    engine.SetMidWord("&-");
    EXPECT_EQ(wordsOf("well-known", engine), (Words{"well", "-known"}));
    TMainParsingEngine split;
    split.AllowMidHyphen = false;
    EXPECT_EQ(wordsOf("well-known", split), (Words{"well", "known"}));
    engine.SetForbidEnd("'\".s");
    EXPECT_EQ(wordsOf("cats dog", engine), (Words{"cat", "dog"}));
}

TEST(SpellParsers, HtmlFilterSkipsTagsCommentsAndScriptBlocks) {
    struct Case {
        std::vector<std::string> lines;
        Words words;
    } cases[] = {
        {{"<b>bold</b> text"}, {"bold", "text"}},
        {{"<a href=\"http://x.org/teh\" title='misspelt wrods'>link</a>"}, {"link"}},
        {{"<!-- hidden <b> words --> shown"}, {"shown"}},
        {{"<% servr code %> after"}, {"after"}},
        {{"<?php ecko ?> after"}, {"after"}},
        {{"<p", "class=\"wrod\"", ">multi"}, {"multi"}},               // a tag over three lines
        {{"<!-- over", "two lines --> end"}, {"end"}},
        {{"before <unterminated tag wrods", "and more"}, {"before"}},  // runs to the end of the text
        {{"&amp; &nbsp; entity"}, {"&amp", "&nbsp", "entity"}},
    };
    for (const auto& c : cases) {
        TMainParsingEngine engine;
        Filters filters;
        filters.list.push_back(std::make_unique<THTMLIgnore>());
        filters.wire(engine);
        EXPECT_EQ(linesWords(c.lines, engine), c.words) << c.lines[0];
    }
    // Without the filter the tag's insides are words.
    TMainParsingEngine plain;
    EXPECT_EQ(linesWords({"<b>bold</b>"}, plain), (Words{"b", "bold", "b"}));
    // Entities are accepted after the check, nothing else is.
    THTMLIgnore html;
    TStringParser p;
    EXPECT_TRUE(html.ExecuteWordIgnorePostCheck("&amp", p));
    EXPECT_FALSE(html.ExecuteWordIgnorePostCheck("amp", p));
}

TEST(SpellParsers, UrlFilterSkipsAddresses) {
    struct Case {
        const char* text;
        Words words;
    } cases[] = {
        {"see http://example.com/teh/path now", {"see", "now"}},
        {"see Https://Exmaple.org/x now", {"see", "now"}},
        {"mail john.smith@exmaple.com today", {"mail", "today"}},
        {"www.exmaple.com/index.html ok", {"ok"}},
        {"write mailto:someone@exmaple.org,ok", {"write", "ok"}},
        {"(ftp://host/dir) ok", {"ok"}},
        {"note: tihs", {"note", "tihs"}},                 // a word before ":" that names no scheme
        {"www.exmaple.com ok", {"www.exmaple.com", "ok"}},  // no path: checked, and accepted later
        {"x.org/path ok", {"x.org", "path", "ok"}},
    };
    for (const auto& c : cases) {
        TMainParsingEngine engine;
        Filters filters;
        filters.list.push_back(std::make_unique<TURLIgnore>());
        filters.wire(engine);
        EXPECT_EQ(wordsOf(c.text, engine), c.words) << c.text;
    }
    TURLIgnore url;
    TStringParser p;
    EXPECT_TRUE(url.ExecuteWordIgnorePostCheck("www.exmaple.com", p));
    EXPECT_TRUE(url.ExecuteWordIgnorePostCheck("WWW.EXMAPLE.COM", p));
    EXPECT_FALSE(url.ExecuteWordIgnorePostCheck("wwwexmaple", p));
}

TEST(SpellParsers, WordFiltersAcceptTheirWords) {
    TUppercaseWordIgnore upper;
    TNumbersIgnore numbers;
    TAbbreviationsIgnore abbreviations;
    TStringParser p;
    struct Case {
        TParserIgnore* filter;
        const char* word;
        bool accepted;
    } cases[] = {
        {&upper, "NASA", true},
        {&upper, "\xC9" "COLE", true},  // capitals of the code page count
        {&upper, "Nasa", false},
        {&upper, "NASA's", false},
        {&upper, "iPHONE", false},
        {&numbers, "abc1", true},
        {&numbers, "1st", true},
        {&numbers, "abc", false},
        {&abbreviations, "U.S.A.", true},
        {&abbreviations, "U.S.A", true},
        {&abbreviations, "e.g.", true},
        {&abbreviations, "i.e.", true},
        {&abbreviations, "etc.", false},   // one final period
        {&abbreviations, "Ph.D.", false},
        {&abbreviations, "a.bc.", false},
        {&abbreviations, "ab", false},     // no period at all
    };
    for (const auto& c : cases) EXPECT_EQ(c.filter->ExecuteWordIgnorePostCheck(c.word, p), c.accepted) << c.word;
}

TEST(SpellParsers, QuotedLinesAreIgnored) {
    TQuotedLineIgnore quoted(">|");
    EXPECT_TRUE(quoted.LineCheckNeeded());
    EXPECT_TRUE(quoted.ExecuteLineIgnore("> quoted tetx"));
    EXPECT_TRUE(quoted.ExecuteLineIgnore("| piped"));
    EXPECT_FALSE(quoted.ExecuteLineIgnore(" > indented"));
    EXPECT_FALSE(quoted.ExecuteLineIgnore(""));
    // After the check: a word on a quoted line (the parser's current line).
    TMainParsingEngine engine;
    TWinAPIControlParser parser(std::make_unique<TFakeTarget>(std::vector<std::string>{"> wrod one", "wrod two"}));
    engine.Initialize(&parser, ctAll);
    EXPECT_EQ(engine.NextWord(), "wrod");
    EXPECT_TRUE(quoted.ExecuteWordIgnorePostCheck("wrod", parser));
    EXPECT_EQ(engine.NextWord(), "one");
    EXPECT_EQ(engine.NextWord(), "wrod");
    EXPECT_FALSE(quoted.ExecuteWordIgnorePostCheck("wrod", parser));
}

TEST(SpellParsers, OnlyDecimalNumeralsAreNumbers) {
    for (const char* yes : {"42", "3.14", "-0.5", "+7", "1e5", "2.5E-3", "5.", "0"}) EXPECT_TRUE(IsDecimalNumeral(yes)) << yes;
    for (const char* no : {"inf", "nan", "infinity", "INF", "0x1F", "0x1p3", "1e", "", ".", "1.2.3", "12abc", "1,5",
                           " 1"})
        EXPECT_FALSE(IsDecimalNumeral(no)) << no;
}

TEST(SpellParsers, RepeatedWordsNeedOneSpace) {
    struct Case {
        std::vector<std::string> lines;
        bool repeated;
    } cases[] = {
        {{"the the cat"}, true},
        {{"the  the cat"}, false},  // two spaces
        {{"The the cat"}, false},   // letter case counts
        {{"the", "the cat"}, false},  // a line break between
        {{"and the the cat"}, true},
    };
    for (const auto& c : cases) {
        TMainParsingEngine engine;
        TWinAPIControlParser parser(std::make_unique<TFakeTarget>(c.lines));
        engine.Initialize(&parser, ctAll);
        std::string previous, word;
        bool found = false;
        while (!(word = engine.NextWord()).empty() && word != "cat") {
            if (word == previous && ValidRepeatedWord(word, parser)) found = true;
            previous = word;
        }
        EXPECT_EQ(found, c.repeated) << c.lines[0];
        EXPECT_EQ(word, "cat") << "the position is kept";
    }
    // The string parser serves the same test.
    std::string text = "a a";
    TStringParser sp;
    sp.Initialize(text);
    TMainParsingEngine engine;
    engine.Initialize(&sp, ctAll);
    EXPECT_EQ(engine.NextWord(), "a");
    EXPECT_FALSE(ValidRepeatedWord("a", sp));
    EXPECT_EQ(engine.NextWord(), "a");
    EXPECT_TRUE(ValidRepeatedWord("a", sp));
}

TEST(SpellParsers, StringParserReplacesAndMovesOn) {
    std::string text = "teh cat sat";
    TStringParser parser;
    parser.Initialize(text);
    TMainParsingEngine engine;
    engine.Initialize(&parser, ctAll);
    EXPECT_EQ(engine.NextWord(), "teh");
    parser.SelectWord(3);
    parser.ReplaceWord("thee", 0);
    EXPECT_EQ(text, "thee cat sat");
    EXPECT_EQ(engine.NextWord(), "cat");
    parser.SelectWord(3);
    parser.IgnoreWord(10);
    EXPECT_EQ(engine.NextWord(), "sat");
    parser.SelectWord(3);
    parser.ReplaceWord("sits", 0);  // the last word, grown
    EXPECT_EQ(text, "thee cat sits");
    EXPECT_EQ(engine.NextWord(), "");
    TLxRect r;
    parser.GetSelectionScreenPosition(r);
    EXPECT_EQ(r.Left, -1);
}

TEST(SpellParsers, RangesEndWhereTheSelectionEnds) {
    // "alpha beta gamma": beta spans columns 6..9.
    struct Case {
        int64_t start, end;
        TCheckType type;
        Words words;
        bool incomplete = false;
    } cases[] = {
        {0, 10, ctSelected, {"alpha", "beta"}},   // a word ending exactly at the range's end
        {0, 8, ctSelected, {"alpha"}},            // one the range's end cuts is dropped
        {0, 8, ctSelected, {"alpha", "bet"}, true},  // or kept, as the last word
        {8, 16, ctSelected, {"beta", "gamma"}},   // from inside a word: the whole word
        {8, 8, ctFromCursor, {"beta", "gamma"}},
        {2, 2, ctAll, {"alpha", "beta", "gamma"}},
    };
    for (const auto& c : cases) {
        auto target = std::make_unique<TFakeTarget>(std::vector<std::string>{"alpha beta gamma"});
        target->Select(c.start, 0, c.end, 0);
        TWinAPIControlParser parser(std::move(target));
        TMainParsingEngine engine;
        engine.AllowIncompleteLastWord = c.incomplete;
        engine.Initialize(&parser, c.type);
        EXPECT_EQ(allWords(engine), c.words) << c.start << ".." << c.end;
    }
    // A replacement on the range's last line moves the range's end with it.
    auto target = std::make_unique<TFakeTarget>(std::vector<std::string>{"teh cat dog"});
    TFakeTarget* fake = target.get();
    target->Select(0, 0, 7, 0);
    TWinAPIControlParser parser(std::move(target));
    TMainParsingEngine engine;
    engine.Initialize(&parser, ctSelected);
    EXPECT_EQ(engine.NextWord(), "teh");
    parser.SelectWord(3);
    parser.ReplaceWord("thee", 0);
    EXPECT_EQ(engine.NextWord(), "cat");
    EXPECT_EQ(engine.NextWord(), "");
    EXPECT_EQ(fake->lines[0], "thee cat dog");
}

TEST(SpellParsers, ControlParserWalksLinesOfAnyLength) {
    // A misspelling at column 20,000 of a line, and words on both sides of
    // empty lines; the last line's last word is read too.
    const std::string filler = std::string(19999, 'a') + " ";
    std::vector<std::string> lines = {"first", "", filler + "wrod here", "", "end"};
    auto target = std::make_unique<TFakeTarget>(lines);
    TFakeTarget* fake = target.get();
    TWinAPIControlParser parser(std::move(target));
    TMainParsingEngine engine;
    engine.Initialize(&parser, ctAll);
    EXPECT_EQ(engine.NextWord(), "first");
    EXPECT_EQ(engine.NextWord(), std::string(19999, 'a'));
    EXPECT_EQ(engine.NextWord(), "wrod");
    int64_t x;
    int y;
    parser.GetPosition(x, y);
    EXPECT_EQ(x, 20004);
    EXPECT_EQ(y, 2);
    EXPECT_EQ(parser.GetLine().substr(20000), "wrod here\r\n");
    parser.SelectWord(4);
    EXPECT_EQ(fake->sx, 20000);
    parser.ReplaceWord("word", 0);
    EXPECT_EQ(fake->lines[2], filler + "word here");
    EXPECT_EQ(engine.NextWord(), "here");
    EXPECT_EQ(engine.NextWord(), "end");
    EXPECT_EQ(engine.NextWord(), "");
    // Moving back over a line's start reaches the previous line's break.
    parser.SetPosition(0, 4, ptCurrent);
    EXPECT_TRUE(parser.MovePrevious());
    EXPECT_EQ(parser.GetChar(), '\n');
    parser.SetPosition(0, 0, ptCurrent);
    EXPECT_FALSE(parser.MovePrevious());
}

TEST(SpellParsers, AStringParserReadsLongTexts) {
    std::string text = std::string(100000, 'x') + " wrod";
    TMainParsingEngine engine;
    EXPECT_EQ(wordsOf(text, engine), (Words{std::string(100000, 'x'), "wrod"}));
}

TEST(SpellParsers, TargetLinesMapColumnsToControlBytes) {
    struct Case {
        const char* utf8;
        std::string text;
        std::vector<int64_t> offsets;
    } cases[] = {
        {"ab", "ab", {0, 1, 2}},
        {"\xC3\xA9t\xC3\xA9", "\xE9t\xE9", {0, 2, 3, 5}},
        {"\xE2\x80\x9Cx\xE2\x80\x9D", "\x93x\x94", {0, 3, 4, 7}},                 // curly quotes are in the code page
        {"\xF0\x9F\x98\x80y", std::string(1, kUnmappedChar) + "y", {0, 4, 5}},     // an emoji is one unmapped column
        {"\xC2\x8Dz", std::string(1, kUnmappedChar) + "z", {0, 2, 3}},             // a C1 control is no letter
        {"a\xE2\x80\xA8" "b", std::string("a") + kUnmappedChar + "b", {0, 1, 3, 4}},  // a line separator counts as CR LF
        {"\xFFq", std::string(1, kUnmappedChar) + "q", {0, 1, 2}},                 // a stray byte is one column
    };
    for (const auto& c : cases) {
        const TTargetLine line = ConvertTargetLine(c.utf8);
        EXPECT_EQ(line.Text, c.text) << c.utf8;
        EXPECT_EQ(line.Offsets, c.offsets) << c.utf8;
    }
    const TTargetLine line = ConvertTargetLine("\xC3\xA9t");
    EXPECT_EQ(line.OffsetOf(3), 4);  // the columns of the CR and LF behind the line
    EXPECT_EQ(line.OffsetOf(9), 5);
    EXPECT_EQ(line.ColumnOf(1), 0);  // inside "é"
    EXPECT_EQ(line.ColumnOf(2), 1);
    EXPECT_EQ(line.ColumnOf(4), 3);
}
