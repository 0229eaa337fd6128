// Byte positions of the program's UTF-8, CR LF texts against the widgets'
// UTF-16 positions with one character per line break.
#include <gtest/gtest.h>

#include <string>

#include "platform/ui/textmap.h"

using ui::detail::FromWidgetText;
using ui::detail::TTextMap;
using ui::detail::ToWidgetText;

namespace {

// "a", "é" (2 bytes), break (CR LF), "€" (3 bytes), "😀" (4 bytes, two
// UTF-16 units), "b".
const std::string kText = "a\xC3\xA9\r\n\xE2\x82\xAC\xF0\x9F\x98\x80" "b";

TEST(TextMap, WidgetPositionsToBytes) {
    const TTextMap map(ToWidgetText(kText));
    struct Case {
        int pos;
        int64_t bytes;
    } cases[] = {{0, 0}, {1, 1}, {2, 3}, {3, 5}, {4, 8}, {5, 8}, {6, 12}, {7, 13}, {99, 13}};
    for (const Case& c : cases) EXPECT_EQ(map.ToBytes(c.pos), c.bytes) << "pos " << c.pos;
    EXPECT_EQ(map.ByteLength(), static_cast<int64_t>(kText.size()));
}

TEST(TextMap, BytesToWidgetPositionsRoundInsideCharacters) {
    const TTextMap map(ToWidgetText(kText));
    struct Case {
        int64_t bytes;
        int down, up;
    } cases[] = {
        {0, 0, 0}, {1, 1, 1}, {2, 1, 2},    // inside "é"
        {3, 2, 2}, {4, 2, 3},              // between CR and LF
        {5, 3, 3}, {6, 3, 4}, {7, 3, 4},   // inside "€"
        {9, 4, 6}, {12, 6, 6}, {13, 7, 7}, {50, 7, 7}, {-3, 0, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(map.ToChars(c.bytes), c.down) << "bytes " << c.bytes;
        EXPECT_EQ(map.ToChars(c.bytes, true), c.up) << "bytes " << c.bytes << " rounded up";
    }
}

TEST(TextMap, LongTextsConvertBothWaysAtEveryPosition) {
    std::string text;
    for (int i = 0; i < 400; ++i) text += (i % 3 == 0) ? "\xC3\xA9x\r\n" : "ab\xE2\x82\xAC";
    const TTextMap map(ToWidgetText(text));
    ASSERT_EQ(map.ByteLength(), static_cast<int64_t>(text.size()));
    int64_t bytes = 0;
    for (int pos = 0; pos < map.CharLength(); ++pos) {
        ASSERT_EQ(map.ToBytes(pos), bytes);
        ASSERT_EQ(map.ToChars(bytes), pos);
        const unsigned char c = static_cast<unsigned char>(text[static_cast<size_t>(bytes)]);
        bytes += c == '\r' ? 2 : c < 0x80 ? 1 : c < 0xE0 ? 2 : 3;
    }
}

TEST(TextMap, EveryLineBreakBecomesCrLf) {
    EXPECT_EQ(FromWidgetText(ToWidgetText("a\nb\rc\r\nd")), "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(ToWidgetText("x\r\n").size(), 2);
}

}  // namespace
