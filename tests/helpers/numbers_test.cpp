// Numbers, dates and text conversions.
#include <cstdlib>
#include <limits>

#include "helpers/kwutil.h"
#include "tests/helpers/support.h"

using namespace helpers;

namespace {

class NumbersTest : public kwtest::KwTest {};

TEST_F(NumbersTest, RounddpRoundsHalvesAwayFromZero) {
    EXPECT_DOUBLE_EQ(static_cast<double>(rounddp(2.5L, 0)), 3.0);
    EXPECT_DOUBLE_EQ(static_cast<double>(rounddp(-2.5L, 0)), -3.0);
    EXPECT_DOUBLE_EQ(static_cast<double>(rounddp(1234.0L, -2)), 1200.0);
    EXPECT_NEAR(static_cast<double>(rounddp(0.125L, 2)), 0.13, 1e-12);
    EXPECT_DOUBLE_EQ(static_cast<double>(fracpart(-0.25L)), 0.75);
}

TEST_F(NumbersTest, UrldecodeTable) {
    struct Case {
        std::string in;
        bool plus;
        std::string want;
    } const cases[] = {
        {"a%20b", false, "a b"}, {"100%", false, "100%"}, {"%%41", false, "%41"}, {"%00", false, "%00"},
        {"a+b", true, "a b"},    {"a+b", false, "a+b"},   {"%4a%4A", false, "JJ"}, {"%4", false, "%4"},
        {"%zz", false, "%zz"},   {"%C3%A9", false, "\xC3\xA9"},
    };
    for (const auto& c : cases) EXPECT_EQ(urldecode(c.in, c.plus), c.want) << c.in;
}

TEST_F(NumbersTest, PaddingAndZeroPadding) {
    EXPECT_EQ(padstr("abcdef", 3, ' ', true), "abc");
    EXPECT_EQ(padstr("abcdef", 3, ' ', false), "abc");
    EXPECT_EQ(padstr("ab", 5, '*', true), "***ab");
    EXPECT_EQ(padright("ab", 4), "ab  ");
    EXPECT_EQ(padstr("ab", 0, '*', true), "");
    EXPECT_EQ(zeropad(42, 5), "00042");
    EXPECT_EQ(zeropad(-42, 5), "-0042");
    EXPECT_EQ(zeropad(123456, 3), "123");
    EXPECT_EQ(boolstr(true) + boolstr(false), "TrueFalse");
}

TEST_F(NumbersTest, MonthsByNumberOrName) {
    const std::pair<std::string, int> names[] = {
        {"sept", 9}, {"Jun", 6}, {"Jul", 7}, {"12", 12}, {"13", 0}, {"Ma", 5}, {"March", 3}, {"apr", 4},
        {"Aug", 8},  {"d", 12},  {"x", 0},   {"", 0},    {"jan", 1}, {" 3", 3},
    };
    for (const auto& [text, want] : names) EXPECT_EQ(monthnum(text), want) << text;
    EXPECT_EQ(monthdays(2, 1900), 28);
    EXPECT_EQ(monthdays(2, 2000), 29);
    EXPECT_EQ(monthdays(2, 2024), 29);
    EXPECT_EQ(monthdays(4, 2024), 30);
    EXPECT_EQ(monthdays(13, 2024), 31);
}

TEST_F(NumbersTest, NormdateReadsSixLayoutsInOrder) {
    const std::pair<std::string, std::string> cases[] = {
        {"15/01/20", "20/01/2015"},        // layout 1 takes it first
        {"31/04/2024", ""},                // layout 3 fits, the date does not
        {"2024-02-29", "29/02/2024"},      {"2023-02-29", ""},
        {"15.03.24", "24/03/2015"},        {"15.03.2024", "15/03/2024"},
        {"2024/1/5", "05/01/2024"},        {"20240115", "15/01/2024"},
        {"15/Jan/2024", "15/01/2024"},     {"15-January-2024", "15/01/2024"},
        {"15 January 2024", "15/01/2024"}, {"7 Sep 99", "07/09/1999"},
        {"12345678901234567890", ""},      {"2024-01-15 junk", ""},
        {"1 Xyz 2024", ""},                {"", ""},
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(normdate(text), want) << text;
    formatsettings.ShortDateFormat = "yyyy-mm-dd";
    EXPECT_EQ(normdate("15 January 2024"), "2024-01-15");
}

TEST_F(NumbersTest, LastposFindsTheLastStart) {
    EXPECT_EQ(lastpos("abcabc", "b"), 5);
    EXPECT_EQ(lastpos("abc", "x"), 0);
    EXPECT_EQ(lastpos("aaa", "aa"), 2);
    EXPECT_EQ(lastpos("abc", ""), 0);
}

TEST_F(NumbersTest, NumbersFollowTheLocaleSeparators) {
    EXPECT_EQ(numsep(1234567), "1,234,567");
    EXPECT_EQ(numsep(-1234), "-1,234");
    EXPECT_EQ(numsep(999), "999");
    EXPECT_EQ(numsep(std::numeric_limits<int64_t>::min()), "-9,223,372,036,854,775,808");
    EXPECT_EQ(fltstr(0.1L), "0.1");
    EXPECT_EQ(fltstr(1.0L / 3), "0.333333333333333");
    EXPECT_EQ(fltstr(1e20L), "1E20");
    EXPECT_EQ(fltstr(1.5e-6L), "1.5E-6");
    EXPECT_EQ(fltstr(0.0001L), "0.0001");
    EXPECT_DOUBLE_EQ(static_cast<double>(txtfloat(" 1.5 ")), 1.5);
    EXPECT_DOUBLE_EQ(static_cast<double>(txtfloat("-2e3")), -2000.0);
    EXPECT_EQ(txtfloat("abc"), 0);
    EXPECT_EQ(txtfloat(""), 0);
    EXPECT_EQ(txtfloat("1.5x"), 0);
    formatsettings.DecimalSeparator = ",";
    formatsettings.ThousandSeparator = ".";
    EXPECT_DOUBLE_EQ(static_cast<double>(txtfloat("2,5")), 2.5);
    EXPECT_EQ(txtfloat("2.5"), 0);
    EXPECT_EQ(fltstr(123.25L), "123,25");
    EXPECT_EQ(numsep(1234567), "1.234.567");
}

TEST_F(NumbersTest, LocaleFormatsWriteFourDigitYears) {
    const char* old = std::getenv("LC_ALL");
    const std::string saved = old ? old : "";
    ::setenv("LC_ALL", "C", 1);
    const TFormatSettings fs = localeformats();
    if (old) ::setenv("LC_ALL", saved.c_str(), 1);
    else ::unsetenv("LC_ALL");
    EXPECT_EQ(fs.ShortDateFormat, "mm/dd/yyyy");
    EXPECT_EQ(fs.LongTimeFormat, "hh:nn:ss");
    EXPECT_EQ(fs.DecimalSeparator, ".");
}

}  // namespace
