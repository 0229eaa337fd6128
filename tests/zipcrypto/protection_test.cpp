// The protection frame, the string formats and the utilities.
#include <gtest/gtest.h>

#include <memory>

#include "tests/zipcrypto/crypto_test_util.h"
#include "zip/crypto/avdecutil.h"

using namespace zipcrypto;
using namespace cryptotest;

namespace {

// Adds a constant to every byte (subtracts on decode) and records its calls.
class TAdder : public TProtection {
public:
    explicit TAdder(uint8_t add, std::shared_ptr<TProtection> inner = nullptr)
        : TProtection(std::move(inner)), add_(add) {}
    void CodeInit(TPAction a) override {
        log += "I";
        TProtection::CodeInit(a);
    }
    void CodeDone(TPAction a) override {
        log += "D";
        TProtection::CodeDone(a);
    }
    void CodeBuf(void* buffer, int64_t size, TPAction a) override {
        TProtection::CodeBuf(buffer, size, a);
        auto* p = static_cast<uint8_t*>(buffer);
        for (int64_t i = 0; i < size; ++i) p[i] = static_cast<uint8_t>(a == paDecode ? p[i] - add_ : p[i] + add_);
        blocks.push_back(size);
        if (failAfter >= 0 && static_cast<int>(blocks.size()) > failAfter) throw rtl::Exception("coder failed");
    }
    std::string log;
    std::vector<int64_t> blocks;
    int failAfter = -1;

private:
    uint8_t add_;
};

struct ProgressLog {
    std::vector<std::pair<int64_t, int64_t>> calls;
    ProgressLog() {
        SetProgress([this](rtl::TObject*, int64_t c, int64_t m) { calls.emplace_back(c, m); });
    }
    ~ProgressLog() { SetProgress(nullptr); }
};


}  // namespace

TEST(TProtectionChain, CircularChainsAreRefusedAndLeaveBothUnchanged) {
    auto a = std::make_shared<TAdder>(1);
    auto b = std::make_shared<TAdder>(2);
    auto c = std::make_shared<TAdder>(3);
    a->SetProtection(b);
    b->SetProtection(c);
    for (const auto& target : {b, c}) {
        try {
            target->SetProtection(a);
            FAIL() << "a circular chain was accepted";
        } catch (const EProtection& e) {
            EXPECT_STREQ(e.what(), "Circular Protection detected, Protection Object is invalid.");
        }
    }
    EXPECT_EQ(a->Protection(), b);
    EXPECT_EQ(b->Protection(), c);
    EXPECT_EQ(c->Protection(), nullptr);
    EXPECT_THROW(a->SetProtection(a), EProtection);
}

// The chain holds its inner coder: released by everyone else, it still works.
TEST(TProtectionChain, InnerCoderLivesAsLongAsTheChain) {
    auto outer = std::make_shared<TAdder>(1);
    {
        auto inner = std::make_shared<TAdder>(10);
        outer->SetProtection(inner);
    }
    ASSERT_NE(outer->Protection(), nullptr);
    uint8_t data[3] = {0, 1, 2};
    outer->CodeBuffer(data, 3, paEncode);
    EXPECT_EQ(data[0], 11);
    EXPECT_EQ(data[2], 13);
    EXPECT_EQ(std::dynamic_pointer_cast<TAdder>(outer->Protection())->log, "ID");
    std::shared_ptr<const rtl::TObject> asObject = outer->Protection();
    EXPECT_TRUE(IsObject<TProtection>(asObject));
    EXPECT_TRUE(IsObject<TAdder>(asObject));
    EXPECT_FALSE(IsObject<rtl::TStringList>(asObject));
    EXPECT_FALSE(IsObject<TProtection>(nullptr));
}

TEST(TProtectionStream, CodesOneStreamInPlaceBlockByBlock) {
    const Bytes data = randomBytes(10000, 1);
    TBytesStream s(std::string(data.begin(), data.end()));
    auto coder = std::make_shared<TAdder>(5);
    ProgressLog progress;
    coder->CodeStream(&s, nullptr, -1, paEncode);
    EXPECT_EQ(coder->blocks, (std::vector<int64_t>{4096, 4096, 1808}));
    EXPECT_EQ(coder->log, "ID");
    ASSERT_EQ(s.Bytes().size(), data.size());
    for (size_t i = 0; i < data.size(); ++i) ASSERT_EQ(uint8_t(s.Bytes()[i]), uint8_t(data[i] + 5)) << i;
    EXPECT_EQ(progress.calls, (std::vector<std::pair<int64_t, int64_t>>{
                                  {0, 10000}, {4096, 10000}, {8192, 10000}, {10000, 10000}, {0, 0}}));
}

TEST(TProtectionStream, FailureStillEndsTheRunAndReportsTheEnd) {
    TBytesStream s(std::string(9000, 'x'));
    auto coder = std::make_shared<TAdder>(1);
    coder->failAfter = 1;
    ProgressLog progress;
    EXPECT_EQ(raisedText([&] { coder->CodeStream(&s, &s, -1, paEncode); }), "coder failed");
    EXPECT_EQ(coder->log, "ID");
    ASSERT_FALSE(progress.calls.empty());
    EXPECT_EQ(progress.calls.back(), (std::pair<int64_t, int64_t>{0, 0}));
}

TEST(TProtectionStream, ShortSourceIsAnErrorNotGarbage) {
    TBytesStream src(std::string(100, 'x'));
    TBytesStream dst;
    auto coder = std::make_shared<TAdder>(1);
    EXPECT_THROW(coder->CodeStream(&src, &dst, 200, paEncode), rtl::EReadError);
    EXPECT_EQ(coder->log, "ID");
}

TEST(TProtectionFile, CodesIntoAnotherFileOrInPlace) {
    const std::string a = tempPath("plain.bin"), upper = tempPath("PLAIN.bin");
    writeFile(a, "abc");
    auto coder = std::make_shared<TAdder>(1);
    // Names that differ only in letter case are two files here.
    coder->CodeFile(a, upper, paEncode);
    EXPECT_EQ(readFile(a), "abc");
    EXPECT_EQ(readFile(upper), "bcd");
    coder->CodeFile(upper, "", paEncode);  // no destination: in place
    EXPECT_EQ(readFile(upper), "cde");
    coder->CodeFile(a, a, paDecode);
    EXPECT_EQ(readFile(a), "`ab");
    coder->CodeFile(a, "", paCalc);  // only read
    EXPECT_EQ(readFile(a), "`ab");
}

TEST(TProtectionString, CodesTextThroughTheCopyFormat) {
    auto coder = std::make_shared<TAdder>(1);
    EXPECT_EQ(coder->CodeString("abc", paEncode, kFormatCopy), "bcd");
    EXPECT_EQ(coder->CodeString("bcd", paDecode, kFormatCopy), "abc");
    EXPECT_EQ(coder->CodeString("", paEncode, kFormatHEX), "");
    EXPECT_EQ(raisedText([&] { coder->CodeString("abc", paEncode, kFormatHEX); }), "Not Implemented 2");
    EXPECT_EQ(raisedText([&] { coder->CodeString("abc", paDecode, kFormatMIME64); }), "Not Implemented 4");
    EXPECT_EQ(raisedText([&] { coder->Identity(); }), "Not implemented 13");
}

TEST(StringFormats, TheRegisteredClassesAndTheirPlaceholders) {
    const struct {
        int format;
        const char* name;
        const char* shortName;
        const char* raises;
    } cases[] = {
        {kFormatCopy, "copy Input to Output", "TStringFormat", nullptr},
        {kFormatHEX, "Hexadecimal", "HEX", "Not Implemented 2"},
        {kFormatHEXL, "Hexadecimal lowercase", "HEXL", "Not implemented 3"},
        {kFormatMIME64, "MIME Base 64", "MIME64", "Not Implemented 4"},
        {kFormatUU, "UU Coding", "UU", "Not implemented 5"},
        {kFormatXX, "XX Coding", "XX", "Not implemented 6"},
    };
    std::vector<std::pair<std::string, TStringFormatClass>> list;
    GetStringFormats(&list);
    ASSERT_GE(list.size(), std::size(cases));  // the six of the start first
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        TStringFormatClass f = StringFormat(c.format);
        ASSERT_NE(f, nullptr) << c.format;
        EXPECT_EQ(list[i].first, c.name);
        EXPECT_EQ(list[i].second, f);
        EXPECT_EQ(f->Name(), c.name);
        EXPECT_EQ(GetShortClassName(f->ClassName()), c.shortName);
        EXPECT_EQ(StrToFormat("", 0, c.format), "");
        EXPECT_EQ(FormatToStr(nullptr, 5, c.format), "");
        EXPECT_TRUE(IsValidString("ab", 2, c.format));
        if (c.raises) {
            EXPECT_EQ(raisedText([&] { StrToFormat("ab", 2, c.format); }), c.raises);
            EXPECT_EQ(raisedText([&] { FormatToStr("ab", -1, c.format); }), c.raises);
            EXPECT_EQ(raisedText([&] { IsValidFormat("ab", 2, c.format); }), c.raises);
        } else {
            EXPECT_EQ(StrToFormat("ab\0c", 4, c.format), std::string("ab\0c", 4));
            EXPECT_EQ(FormatToStr("ab\0c", -1, c.format), "ab");
        }
    }
    EXPECT_EQ(raisedText([] { StrToFormat("ab", 2, 12345); }), "String Format \"12345\" not exists.");
    EXPECT_EQ(StrToFormat("ab", 2, 0), "");
    EXPECT_FALSE(IsValidFormat("ab", 2, 12345));
    EXPECT_TRUE(IsValidFormat("", 0, 12345));
    EXPECT_EQ(ConvertFormat("ab", 2, kFormatCopy, kFormatCopy), "ab");
    EXPECT_EQ(ConvertFormat("ab", 2, kFormatCopy, 0), "");
}

TEST(StringFormats, DefaultFallsBackToMime64) {
    EXPECT_EQ(DefaultStringFormat(), kFormatMIME64);
    SetDefaultStringFormat(kFormatHEX);
    EXPECT_EQ(DefaultStringFormat(), kFormatHEX);
    EXPECT_EQ(StringFormat(kFormatDefault), StringFormat(kFormatHEX));
    SetDefaultStringFormat(12345);
    EXPECT_EQ(DefaultStringFormat(), kFormatMIME64);
    SetDefaultStringFormat(kFormatCopy);
    SetDefaultStringFormat(kFormatDefault);
    EXPECT_EQ(DefaultStringFormat(), kFormatMIME64);
}

namespace {
class TStringFormat_Test : public TStringFormat_HEX {
public:
    const char* ClassName() const override { return "TStringFormat_Test"; }
    std::string StrTo(std::string_view v) const override { return "<" + std::string(v) + ">"; }
    bool IsValid(std::string_view, bool) const override { return true; }
};
class TStringFormat_Refuse : public TStringFormat {
public:
    int Format() const override { return 77; }
    bool IsValid(std::string_view, bool) const override { return false; }
    std::string Name() const override { return "Refusing"; }
};
}  // namespace

TEST(StringFormats, ARegisteredClassReplacesTheOneOfItsNumber) {
    static const TStringFormat_Test replacement;
    static const TStringFormat_Refuse refusing;
    RegisterStringFormats({&replacement, nullptr, &refusing});
    EXPECT_EQ(StringFormat(kFormatHEX), &replacement);
    EXPECT_EQ(StrToFormat("ab", 2, kFormatHEX), "<ab>");
    EXPECT_EQ(raisedText([] { StrToFormat("ab", 2, 77); }), "Input can not be convert to Refusing Format.");
    EXPECT_EQ(raisedText([] { FormatToStr("ab", 2, 77); }), "Input is not an valid Refusing Format.");
    RegisterStringFormats({TStringFormat_HEX::Class()});
    EXPECT_EQ(StringFormat(kFormatHEX), TStringFormat_HEX::Class());
}

TEST(TextUtilities, LineBreaksAndBlocks) {
    EXPECT_EQ(InsertCR("abcdefghij", 5), "abcde\r\nfghij\r\n");
    EXPECT_EQ(InsertCR("abcdefgh", 5), "abcde\r\nfgh");
    EXPECT_EQ(InsertCR("abcde", 5), "abcde");
    EXPECT_EQ(InsertCR("abcde", 0), "abcde");
    EXPECT_EQ(DeleteCR("ab\r\ncd\ne\r"), "abcde");
    EXPECT_EQ(InsertBlocks("abcdefg", "[", "]", 3), "[abc][def][g]");
    EXPECT_EQ(InsertBlocks("abc", "[", "]", 3), "abc");
    EXPECT_EQ(RemoveBlocks("x[abc]y[def]z[g", "[", "]"), "abcdefg");
    EXPECT_EQ(RemoveBlocks("abc]def]", "", "]"), "abcdef");
    EXPECT_EQ(RemoveBlocks("no blocks", "[", "]"), "");
}

TEST(BitUtilities, RotationsAndBitIndexes) {
    EXPECT_EQ(ROL(0x80000001u, 1), 0x00000003u);
    EXPECT_EQ(ROR(0x00000003u, 1), 0x80000001u);
    EXPECT_EQ(ROL(0x12345678u, 0), 0x12345678u);
    EXPECT_EQ(ROLADD(0x80000000u, 5, 1), 6u);
    EXPECT_EQ(ROLSUB(0x80000000u, 2, 1), 0xFFFFFFFFu);
    EXPECT_EQ(RORADD(1u, 1, 1), 0x80000001u);
    EXPECT_EQ(RORSUB(2u, 2, 1), 0xFFFFFFFFu);
    EXPECT_EQ(SwapBits(0x00000001u), 0x80000000u);
    EXPECT_EQ(SwapBits(0x0000000Fu), 0xF0000000u);
    EXPECT_EQ(SwapInt(0x11223344u), 0x44332211u);
    const struct {
        uint32_t v;
        int ls, ms, one;
    } bits[] = {{0, 0, 0, 0}, {1, 0, 0, 0}, {0x80, 7, 7, 7}, {0x90, 4, 7, 0}, {0x80000000u, 31, 31, 31}};
    for (const auto& b : bits) {
        EXPECT_EQ(LSBit(b.v), b.ls) << b.v;
        EXPECT_EQ(MSBit(b.v), b.ms) << b.v;
        EXPECT_EQ(OneBit(b.v), b.one) << b.v;
    }
    const uint8_t x[] = {1, 2, 200}, y[] = {1, 2, 100}, z[] = {1, 3, 0};
    EXPECT_EQ(MemCompare(x, x, 3), 0);
    EXPECT_EQ(MemCompare(x, y, 3), 100);
    EXPECT_EQ(MemCompare(x, z, 3), -1);
    uint8_t out[3];
    XORBuffers(x, y, 3, out);
    EXPECT_EQ(out[2], 200 ^ 100);
    EXPECT_EQ(CPUType(), 4);
    EXPECT_GT(PerfFreq(), 0);
    for (const auto& [f, text] : std::vector<std::pair<std::function<void()>, std::string>>{
             {[] { RndXORBuffer(1, nullptr, 0); }, "Not implemented 11"},
             {[] { RndTimeSeed(); }, "Not implemented 12"},
             {[] { CRC16(0, nullptr, 0); }, "Not implemented 13"},
             {[] { GetTestVector(); }, "Not implemented 14"},
             {[] { SwapIntBuf(nullptr, nullptr, 0); }, "Not implemented 8"},
         })
        EXPECT_EQ(raisedText(f), text);
}
