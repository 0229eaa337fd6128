// The text-to-numbers cipher.
#include "helpers/kwutil.h"
#include "tests/helpers/support.h"

using namespace helpers;

namespace {

class CipherTest : public kwtest::KwTest {};

std::string allbytes() {
    std::string s;
    for (int c = 0; c < 256; ++c) s += static_cast<char>(c);
    return s;
}

TEST_F(CipherTest, KnownOutputs) {
    EXPECT_EQ(numcipher("A", ""), "048");  // 'A' with the key's second character 'q'
    EXPECT_EQ(numcipher("A", defkey), "048");
    EXPECT_EQ(numcipher("AB", "x"), "057058");
    EXPECT_EQ(numdecipher("048", ""), "A");
    EXPECT_EQ(numdecipher("04812", ""), "A;");  // a short last group still gives a character
    EXPECT_EQ(numdecipher("abc", ""), "q");      // a group that is no number counts as 0
    EXPECT_EQ(numcipher("", "k"), "");
    EXPECT_EQ(numdecipher("", "k"), "");
}

TEST_F(CipherTest, RoundTripsEveryByteUnderAnyKey) {
    const std::string texts[] = {"Hello, World!", allbytes(), "h\xC3\xA9llo w\xC3\xB6rld", std::string(100, 'z')};
    const std::string keys[] = {"", "k", "a longer key of its own", defkey, std::string("\0\xFF", 2)};
    for (const auto& t : texts) {
        for (const auto& k : keys) {
            const std::string c = numcipher(t, k);
            ASSERT_EQ(c.size(), 3 * t.size());
            EXPECT_EQ(c.find_first_not_of("0123456789"), std::string::npos);
            for (size_t i = 0; i < c.size(); i += 3) EXPECT_LE(std::stoi(c.substr(i, 3)), 255);
            EXPECT_EQ(numdecipher(c, k), t);
        }
    }
}

TEST_F(CipherTest, TheKeysFirstCharacterServesEveryLthPosition) {
    const std::string text(20, 'm');
    const std::string a = numcipher(text, "abcd"), b = numcipher(text, "Xbcd");
    for (size_t i = 1; i <= text.size(); ++i)
        EXPECT_EQ(a.substr(3 * (i - 1), 3) != b.substr(3 * (i - 1), 3), i % 4 == 0) << "position " << i;
}

}  // namespace
