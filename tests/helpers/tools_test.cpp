// Speech markup, mail dates, file sniffing, accent folding and CSV fields.
#include <regex>

#include "helpers/kwutil.h"
#include "tests/helpers/support.h"

using namespace helpers;

namespace {

class ToolsTest : public kwtest::KwTest {};

TEST_F(ToolsTest, SpeechmarkupCutsWordsIntoTaggedChunks) {
    seedrand();
    const std::string tag = R"x(<PITCH ABSMIDDLE="(-?\d+)"><RATE ABSSPEED="(-1|0)">)x";
    const std::regex two("^" + tag + "one two three</RATE></PITCH> " + tag + "four</RATE></PITCH>$");
    std::smatch m;
    const std::string out = speechmarkup("one two  three four", 10, 5);
    ASSERT_TRUE(std::regex_match(out, m, two)) << out;
    EXPECT_LE(std::abs(std::stoi(m[1]) - 5), 3);
    EXPECT_LE(std::abs(std::stoi(m[3]) - 5), 3);
    EXPECT_EQ(speechmarkup("<b>kept</b>", 10, 0), "<b>kept</b>");
    EXPECT_EQ(speechmarkup("   ", 10, 0), "");
    const std::regex quoted("^" + tag + "a b c</RATE></PITCH>$");
    EXPECT_TRUE(std::regex_match(speechmarkup("\"a b\" c", 100, 0), quoted));
}

TEST_F(ToolsTest, ParsedateReadsMailDatesIntoUniversalTime) {
    const TDateTime jan12 = rtl::EncodeDate(2004, 1, 12);
    const std::pair<std::string, TDateTime> cases[] = {
        {"38000", 38000},
        {"", 0},
        {"Mon, 12 Jan 2004 10:11:12 +0100", jan12 + rtl::EncodeTime(9, 11, 12, 0)},
        {"12 Jan 2004 10:11:12 -0500", jan12 + rtl::EncodeTime(15, 11, 12, 0)},
        {"Mon, 12 Jan 2004 10:11:12 GMT", jan12 + rtl::EncodeTime(10, 11, 12, 0)},
        {"2004-01-12 10:11:12 +0530", jan12 + rtl::EncodeTime(4, 41, 12, 0)},
        {"2004/01/12", jan12},
        {"12.01.2004 23:59", jan12 + rtl::EncodeTime(23, 59, 0, 0)},
        {"10:11 12/01/2004", 0},  // a time before the date goes to the date reader whole
        {"2004-01-12 25:00:00", 0},
        {"no date here", 0},
    };
    for (const auto& [text, want] : cases) EXPECT_NEAR(parsedate(text), want, 1e-9) << text;
}

TEST_F(ToolsTest, ParsedateDoesNotDependOnTheLocalesDateText) {
    const TDateTime want = rtl::EncodeDate(2004, 1, 12) + rtl::EncodeTime(9, 11, 12, 0);
    for (const char* format : {"mm/dd/yy", "yyyy-mm-dd", "d.m.yy", "dd-mm-yy"}) {
        formatsettings.ShortDateFormat = format;
        formatsettings.LongTimeFormat = "hh.nn.ss";
        EXPECT_NEAR(parsedate("Mon, 12 Jan 2004 10:11:12 +0100"), want, 1e-9) << format;
    }
}

TEST_F(ToolsTest, SniffextTable) {
    using namespace std::string_literals;
    const std::pair<std::string, std::string> cases[] = {
        {"BM...", "bmp"},          {"MZ\x90\0"s, "exe"},          {"PK\3\4rest"s, "zip"},
        {"RIFF\0\0\0\0AVI LIST"s, "avi"}, {"RIFF\0\0\0\0WAVEfmt"s, "wav"}, {"RIFF", "wav"},
        {"MThd", "mid"},           {"\x89PNG\r\n", "png"},        {"\0\0\1\xBA"s, "mpg"},
        {"\x60\xEA", "arj"},       {"\x05\0"s, "cpd"},            {"\x06\0"s, "cpd"},
        {"GIF89a", "gif"},         {"\0\1\0\0"s, "mdb"},          {"\0\0\1\0"s, "ico"},
        {"\1\0\0\0"s, "emf"},      {"\xFF\xD8\xFF\xE0", "jpg"},   {"{\\rtf1", "rtf"},
        {"BEGIN:VCALENDAR\r\n", "ics"}, {"%PDF-1.4", "pdf"},      {"B", "bin"},
        {"", "bin"},               {"\0\0\1"s, "bin"},            {"hello", "bin"},
    };
    for (const auto& [data, want] : cases) EXPECT_EQ(sniffext(data), want) << want;
}

TEST_F(ToolsTest, FoldaccentsFoldsUtf8AndFilters) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"\xC3\x87" "a \xC3\x89t\xC3\xA9 \xC3\x94ter", "", "CaEteOter"},
        {"\xC3\x87" "a x \xC3\x89t\xC3\xA9", "!x", "Ca  Ete"},
        {"tel: +49 (0) 123", "0123456789", "490123"},
        {"a!b!", "!", "!!"},
        {"\xC3\x97\xC3\x98\xC3\x9F\xC3\xB7\xC3\xBF", "!#", "x0s/y"},
        {"caf\xE9", "", "cafe"},  // a stray Latin-1 byte folds too
        {"\xE6\x97\xA5\xE6\x9C\xAC" "x", "", "x"},
        {"\xE6\x97\xA5" "x", "!x", "\xE6\x97\xA5"},
        {"\xE6\x97\xA5" "a", "\xE6\x97\xA5", "\xE6\x97\xA5"},
        {"a\nb", "\n", "ab"},
    };
    for (const auto& [text, filter, want] : cases) EXPECT_EQ(foldaccents(text, filter), want) << text;
}

TEST_F(ToolsTest, QuotefieldTable) {
    const std::pair<std::string, std::string> cases[] = {
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "say 'hi'"},
        {"l1\r\nl2", "\"l1\nl2\""},
        {"plain", "plain"},
        {"", ""},
        {"a\rb", "\"a\rb\""},           // a lone CR is quoted like a LF
        {"x\"y,z\r\n", "\"x'y,z\n\""},  // every rule in one field
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(quotefield(text), want) << text;
}

}  // namespace
