// Delimited fields, the sequential readers and number ranges.
#include "helpers/kwutil.h"
#include "tests/helpers/support.h"

using namespace helpers;

namespace {

class FieldsTest : public kwtest::KwTest {};

struct FieldCase {
    std::string text, delims;
    int n;
    std::string want;
};

TEST_F(FieldsTest, GetdelimelFollowsItsFieldRules) {
    const FieldCase cases[] = {
        {"a,b", ",", 3, "\n"},     {"a,b,", ",", 3, ""},      {"", ",", 1, ""},
        {"", ",", 2, "\n"},        {"a,b", ",", 0, ""},       {"a,b", ",", -1, ""},
        {"a;b,c", ",;", 2, "b"},   {"x\r\ny", "\r\n", 2, ""}, {"x\r\ny", "\r\n", 3, "y"},
        {"a,,c", ",", 2, ""},      {"a,b", "", 1, "a,b"},     {"\"a,b\",c", ",", 2, "b\""},
    };
    for (const auto& c : cases) EXPECT_EQ(getdelimel(c.text, c.delims, c.n), c.want) << c.text << " #" << c.n;
}

TEST_F(FieldsTest, CsvdelimelKeepsQuotedDelimitersAndTellsQuotedFields) {
    const std::string text = "\"a,b\",c";
    EXPECT_EQ(csvdelimel(text, ",", 1), "a,b");
    EXPECT_TRUE(fieldquoted);
    EXPECT_EQ(csvdelimel(text, ",", 2), "c");
    EXPECT_FALSE(fieldquoted);
    EXPECT_EQ(csvdelimel("a,\"b,c\",d", ",", 3), "d");
    EXPECT_EQ(csvdelimel("x\"\"y,z", ",", 1), "xy");  // adjacent quotes vanish
    EXPECT_EQ(csvdelimel("a,b", ",", 3), "\n");
}

TEST_F(FieldsTest, SequentialReaderReadsOnFromItsCursor) {
    const std::string text = "a,b,c";
    EXPECT_EQ(sqgetdelimel(text, ",", 1), "a");
    EXPECT_EQ(sqgetdelimel(text, ",", 2), "b");
    EXPECT_EQ(sqgetdelimel(text, ",", 2), "");  // the same field again
    EXPECT_EQ(sqgetdelimel(text, ",", 3), "c");
    EXPECT_EQ(sqgetdelimel(text, ",", 4), "\n");
}

TEST_F(FieldsTest, ReadersKeepSeparateCursors) {
    const std::string outer = "1;2;3", inner = "x,y";
    EXPECT_EQ(sqgetdelimel2(outer, ";", 1), "1");
    EXPECT_EQ(sqgetdelimel3(inner, ",", 1), "x");
    EXPECT_EQ(sqgetdelimel2(outer, ";", 2), "2");
    EXPECT_EQ(sqgetdelimel3(inner, ",", 2), "y");
    EXPECT_EQ(sqgetdelimel2(outer, ";", 3), "3");
    EXPECT_EQ(prompter->prompts.size(), 0u);
}

TEST_F(FieldsTest, MismatchIsReportedAndReadingStaysInTheScannedText) {
    auto* first = new std::string("alpha,beta,gamma");
    EXPECT_EQ(sqgetdelimel4(*first, ",", 1), "alpha");
    delete first;  // the reader must not depend on the caller's text any more
    const std::string other = "one,two,three";
    prompter->QueueResult(ui::mrOk);
    EXPECT_EQ(sqgetdelimel4(other, ",", 2), "beta");
    ASSERT_EQ(prompter->prompts.size(), 1u);
    EXPECT_EQ(prompter->prompts[0].text, "Pointer mismatch in sqgetdelimel4");
}

TEST_F(FieldsTest, SequentialCsvReaderDropsQuotesAndLeavesTheFlag) {
    const std::string text = "\"a;b\";c";
    fieldquoted = false;
    EXPECT_EQ(sqcsvdelimel(text, ";", 1), "a;b");
    EXPECT_EQ(sqcsvdelimel(text, ";", 2), "c");
    EXPECT_EQ(sqcsvdelimel(text, ";", 3), "\n");
    EXPECT_FALSE(fieldquoted);
    EXPECT_EQ(sqcsvdelimel3(text, ";", 1), "a;b");
}

TEST_F(FieldsTest, InrangesGivesTheFirstMatchingElement) {
    struct Case {
        std::string list;
        int64_t value;
        int want;
    } const cases[] = {
        {"7, 3-9, 12-", 5, 2}, {"7,3-9,12-", 100, 3}, {"-5", -5, 1},   {"-5-3", 0, 1},  {"", 1, 0},
        {"3-", 2, 0},          {"3-", 3, 1},          {"  8 ", 8, 1},  {",,8", 8, 3},   {"1-2,8", 9, 0},
        {"5000000000-", 6000000000, 1},
    };
    for (const auto& c : cases) EXPECT_EQ(inranges(c.list, c.value), c.want) << c.list << " with " << c.value;
}

}  // namespace
