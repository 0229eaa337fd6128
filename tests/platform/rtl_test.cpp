#include <gtest/gtest.h>

#include "platform/rtl/classes.h"
#include "platform/rtl/dateutils.h"
#include "platform/rtl/sysutils.h"

using namespace rtl;

TEST(RtlText, CopyAndPosCountFromOne) {
    struct Case {
        int64_t index, count;
        const char* want;
    };
    const Case cases[] = {
        {1, 3, "abc"}, {4, 10, "def"}, {6, 1, "f"}, {0, 2, ""}, {7, 1, ""}, {-3, 5, ""}, {2, 0, ""}, {2, -1, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Copy("abcdef", c.index, c.count), c.want) << c.index << "," << c.count;
    EXPECT_EQ(Pos("cd", "abcdef"), 3);
    EXPECT_EQ(Pos("x", "abcdef"), 0);
    EXPECT_EQ(Pos("", "abcdef"), 0);
    EXPECT_EQ(PosEx("a", "abab", 2), 3);
    EXPECT_EQ(PosEx("a", "abab", 5), 0);
}

TEST(RtlText, TrimDropsBlanksAndControls) {
    EXPECT_EQ(Trim(" \t\r\nab c\x01 "), "ab c");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a "), "  a");
    // Bytes above 0x7F are text, not blanks.
    EXPECT_EQ(Trim("\xC3\xA9"), "\xC3\xA9");
}

TEST(RtlText, IntegerConversions) {
    struct Case {
        const char* text;
        bool ok;
        int64_t value;
    };
    const Case cases[] = {
        {"42", true, 42},   {"  -17", true, -17},     {"+5", true, 5},  {"$FF", true, 255},
        {"0x1f", true, 31}, {"12a", false, 0},        {"", false, 0},   {" ", false, 0},
        {"-", false, 0},    {"9223372036854775807", true, INT64_MAX}, {"9223372036854775808", false, 0},
    };
    for (const auto& c : cases) {
        int64_t v = 0;
        EXPECT_EQ(TryStrToInt64(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
    EXPECT_EQ(StrToIntDef("x", 7), 7);
    EXPECT_EQ(StrToIntDef("3000000000", 7), 7);  // beyond 32 bits
    try {
        StrToInt("abc");
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.ClassName(), "EConvertError");
        EXPECT_EQ(e.Message, "'abc' is not a valid integer value");
    }
}

TEST(RtlText, ReplaceAndPaths) {
    EXPECT_EQ(StringReplace("aXbxc", "x", "-", rfReplaceAll | rfIgnoreCase), "a-b-c");
    EXPECT_EQ(StringReplace("aXbxc", "x", "-", rfReplaceAll), "aXb-c");
    EXPECT_EQ(StringReplace("aaa", "a", "b", 0), "baa");
    EXPECT_EQ(ExtractFilePath("/a/b/c.txt"), "/a/b/");
    EXPECT_EQ(ExtractFileName("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(ExtractFileExt("/a.d/b"), "");
    EXPECT_EQ(ChangeFileExt("/a/b.tar.gz", ".zip"), "/a/b.tar.zip");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
}

TEST(RtlStringList, TextSplitsAnyLineEndAndJoinsWithCrLf) {
    TStringList l;
    l.SetText("a\r\nb\nc\rd\r\n\r\ne");
    ASSERT_EQ(l.Count(), 6);
    EXPECT_EQ(l[3], "d");
    EXPECT_EQ(l[4], "");
    EXPECT_EQ(l.Text(), "a\r\nb\r\nc\r\nd\r\n\r\ne\r\n");
}

TEST(RtlStringList, SortedListsFindAndRefuseDuplicates) {
    TStringList l;
    l.SetSorted(true);
    l.Duplicates = dupIgnore;
    for (const char* s : {"pear", "Apple", "fig", "apple"}) l.Add(s);
    ASSERT_EQ(l.Count(), 3);  // "apple" matches "Apple" without case
    EXPECT_EQ(l[0], "Apple");
    EXPECT_EQ(l.IndexOf("FIG"), 1);
    l.Duplicates = dupError;
    EXPECT_THROW(l.Add("PEAR"), EStringListError);
    EXPECT_THROW(l.Insert(0, "x"), EStringListError);
    EXPECT_THROW(l[5], EStringListError);
}

TEST(RtlStringList, NameValuePairs) {
    TStringList l;
    l.SetText("host=a\nport=110");
    EXPECT_EQ(l.Values("PORT"), "110");
    l.SetValue("port", "995");
    EXPECT_EQ(l[1], "port=995");
    l.SetValue("host", "");
    EXPECT_EQ(l.Count(), 1);
}

TEST(RtlComponent, OwnedPartsAndListenersHearOfDestruction) {
    struct Listener : TComponent {
        using TComponent::TComponent;
        TComponent* gone = nullptr;
        void Notification(TComponent* c, TOperation op) override {
            if (op == opRemove) gone = c;
        }
    };
    auto* owner = new TComponent;
    auto* part = new TComponent(owner);
    Listener listener;
    listener.FreeNotification(part);
    EXPECT_EQ(owner->ComponentCount(), 1);
    delete owner;
    EXPECT_EQ(listener.gone, part);
}

TEST(RtlDate, EncodeDecodeRoundTrip) {
    EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDate(1970, 1, 1), 25569.0);
    EXPECT_DOUBLE_EQ(EncodeDate(2000, 3, 1), 36586.0);
    for (int y : {1, 1600, 1900, 2000, 2024, 9999})
        for (int m : {1, 2, 12}) {
            const int d = DaysInMonth(y, m);
            int yy, mm, dd;
            DecodeDate(EncodeDate(y, m, d), yy, mm, dd);
            EXPECT_EQ(yy * 10000 + mm * 100 + dd, y * 10000 + m * 100 + d);
        }
    EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
    EXPECT_EQ(DayOfWeek(EncodeDate(2026, 12, 10)), 5);  // a Thursday
    int h, n, s, z;
    DecodeTime(EncodeTime(23, 59, 58, 999), h, n, s, z);
    EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + z, 23 * 10000000 + 59 * 100000 + 58 * 1000 + 999);
}

TEST(RtlDate, FormatDateTime) {
    const TDateTime dt = EncodeDate(2007, 3, 4) + EncodeTime(15, 6, 7, 89);
    struct Case {
        const char* fmt;
        const char* want;
    };
    const Case cases[] = {
        {"yyyymmdd", "20070304"},
        {"yyyymmdd'_'hh'-'nn", "20070304_15-06"},
        {"d/m/yy h:n:s", "4/3/07 15:6:7"},
        {"hh:mm", "15:06"},  // minutes after an hour
        {"hh:nn:ss:zzz", "15:06:07:089"},
        {"ddd, dd mmm yyyy", "Sun, 04 Mar 2007"},
        {"dddd mmmm", "Sunday March"},
        {"h:nn am/pm", "3:06 pm"},
        {"hh:nn A/P", "03:06 P"},
        {"\"at\" hh", "at 15"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatDateTime(c.fmt, dt), c.want) << c.fmt;
}

TEST(RtlDate, UnixRoundTrip) {
    EXPECT_EQ(DateTimeToUnix(UnixToDateTime(1700000000)), 1700000000);
    EXPECT_DOUBLE_EQ(UnixToDateTime(0), 25569.0);
}
