// Start values, waits and the Keccak permutation.
#include <cstring>

#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/messages.h"
#include "platform/win/program.h"
#include "tests/helpers/support.h"

using namespace helpers;

namespace {

class GlobalsTest : public kwtest::KwTest {};

TEST_F(GlobalsTest, StartValuesAfterUtilinit) {
    defkey = "changed";
    sendchecked.clear();
    worklist3.Add("left over");
    utilinit();
    EXPECT_EQ(defkey, "Kq7w!zPm3#tR9v&Lx2(Hb5^nDe8%");
    EXPECT_EQ(defkey.size(), 28u);
    EXPECT_EQ(sendcharset, "iso-8859-1");
    EXPECT_EQ(sendchecked, "|");
    EXPECT_EQ(worklist3.Count(), 0);
    EXPECT_EQ(homedir, rtl::ExtractFilePath(win::ProgramPath()));
    EXPECT_EQ(homedir.back(), '/');
}

TEST_F(GlobalsTest, WaitpumpHandlesMessagesOnlyWhenItWaits) {
    int delivered = 0;
    const win::HWND wnd = win::AllocateHWnd([&](win::TMessage& m) {
        if (m.Msg == win::WM_USER + 7) ++delivered;
    });
    win::PostMessage(wnd, win::WM_USER + 7, 0, 0);
    waitpump(0);
    waitpump(-5);
    EXPECT_EQ(delivered, 0);
    waitpump(1);
    EXPECT_EQ(delivered, 1);
    win::DeallocateHWnd(wnd);
}

// SHA3-256 built on the permutation: a sponge of rate 136 bytes.
std::string sha3_256(const std::string& msg) {
    uint64_t st[25] = {};
    auto absorb = [&](const unsigned char* block) {
        for (int i = 0; i < 17; ++i) {
            uint64_t lane = 0;
            for (int k = 7; k >= 0; --k) lane = (lane << 8) | block[i * 8 + k];
            st[i] ^= lane;
        }
        keccakf(st);
    };
    size_t at = 0;
    for (; at + 136 <= msg.size(); at += 136) absorb(reinterpret_cast<const unsigned char*>(msg.data() + at));
    unsigned char last[136] = {};
    std::memcpy(last, msg.data() + at, msg.size() - at);
    last[msg.size() - at] ^= 0x06;
    last[135] ^= 0x80;
    absorb(last);
    std::string hex;
    for (int i = 0; i < 32; ++i) hex += rtl::LowerCase(rtl::IntToHex((st[i / 8] >> (8 * (i % 8))) & 0xFF, 2));
    return hex;
}

TEST_F(GlobalsTest, KeccakPermutationGivesSha3Digests) {
    EXPECT_EQ(sha3_256(""), "a7ffc6f8bf1ed76651c14756a061d662f580ff4de43b49fa82d80a4b80f8434a");
    EXPECT_EQ(sha3_256("abc"), "3a985da74fe225b2045c172d6bd390bd855f086e3e9d525b46bfe24511431532");
    EXPECT_EQ(sha3_256(std::string(200, 'a')), "cce34485baf2bf2aca99b94833892a4f52896d3d153f7b840cc4f9fe695f1387");
}

}  // namespace
