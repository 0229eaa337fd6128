// Decoding: the PngSuite against an independent decoder, the suite's broken
// files, and crafted files for the paths a well-formed file never takes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "png/pngimage.h"
#include "png_test_util.h"

using namespace png;
using namespace pngtest;
namespace fs = std::filesystem;

namespace {

std::string suiteDir() { return std::string(PNG_TEST_DIR) + "/../data/pngsuite/"; }

std::vector<std::string> suiteFiles(bool broken) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(suiteDir()))
        if (e.path().extension() == ".png" && (e.path().filename().string()[0] == 'x') == broken)
            names.push_back(e.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

Failure loadFailure(const std::string& path) {
    TPNGObject image;
    try {
        LoadFile(image, path);
    } catch (const rtl::Exception& e) {
        return {e.ClassName(), IdOf(e.Message)};
    }
    return {"(none)", 0};
}

// A file that must not load, and how it fails.
struct Broken {
    const char* name;
    const char* cls;
    int id;
};

template <size_t N>
void expectBroken(const std::string& dir, const Broken (&cases)[N]) {
    for (const auto& c : cases) {
        const Failure f = loadFailure(dir + c.name + ".png");
        EXPECT_EQ(f.ClassName, c.cls) << c.name;
        EXPECT_EQ(f.Id, c.id) << c.name;
    }
}

class Crafted : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = ScratchDir();
        ASSERT_EQ(RunCommand(Python() + Script("craft.py") + " " + dir_), 0);
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }
    static std::string path(const std::string& name) { return dir_ + name + ".png"; }
    static std::string dir_;
};
std::string Crafted::dir_;

}  // namespace

TEST(PngSuite, EveryImageShowsTheOraclesPixels) {
    const std::string out = ScratchDir();
    const auto names = suiteFiles(false);
    ASSERT_FALSE(names.empty()) << "no suite files in " << suiteDir();
    std::string args;
    for (const auto& n : names) args += " " + suiteDir() + n + ".png";
    std::string log;
    ASSERT_EQ(RunCommand(Python() + Script("oracle.py") + " " + out + args, &log), 0) << log;
    for (const auto& n : names) {
        SCOPED_TRACE(n);
        TPNGObject image;
        ASSERT_NO_THROW(LoadFile(image, suiteDir() + n + ".png"));
        const std::string want = ReadFile(out + n + ".rgba");
        const std::string got = Dump(image);
        EXPECT_TRUE(got == want) << FirstDifference(got, want, image.GetWidth());
    }
    fs::remove_all(out);
}

TEST(PngSuite, BrokenFilesRaiseTheirClass) {
    const Broken cases[] = {
        {"xc1n0g08", "EPngInvalidIHDR", 65203},  {"xc9n2c08", "EPngInvalidIHDR", 65203},
        {"xcrn0g04", "EPNGInvalidFileHeader", 65207}, {"xcsn0g01", "EPngInvalidCRC", 65202},
        {"xd0n2c08", "EPngInvalidIHDR", 65203},  {"xd3n2c08", "EPngInvalidIHDR", 65203},
        {"xd9n2c08", "EPngInvalidIHDR", 65203},  {"xdtn0g01", "EPNGNoImageData", 65186},
        {"xhdn0g08", "EPngInvalidCRC", 65202},   {"xlfn0g04", "EPNGInvalidFileHeader", 65207},
        {"xs1n0g01", "EPNGInvalidFileHeader", 65207}, {"xs2n0g01", "EPNGInvalidFileHeader", 65207},
        {"xs4n0g01", "EPNGInvalidFileHeader", 65207}, {"xs7n0g01", "EPNGInvalidFileHeader", 65207},
    };
    EXPECT_EQ(std::size(cases), suiteFiles(true).size()) << "a broken suite file without an expectation";
    expectBroken(suiteDir(), cases);
}

TEST(PngSuite, TwoBitGreyWhiteIsWhiteAndHeldInFourBits) {
    TPNGObject image;
    LoadFile(image, suiteDir() + "basn0g02.png");
    EXPECT_EQ(image.Header()->BitmapInfo.biBitCount, 4);
    // The last column of the first row is the brightest sample, 3.
    const uint32_t right = RenderImage(image, image.GetWidth(), 1, false)[size_t(image.GetWidth() - 1)];
    const uint8_t g = image.GammaTable[255];
    EXPECT_EQ(right & 0xFFFFFF, uint32_t(g) << 16 | uint32_t(g) << 8 | g);
}

TEST_F(Crafted, LoadableFilesGiveTheirPixels) {
    for (const char* name : {"base", "split_idat", "trailer_alone", "idat_tail", "ancillary", "filter7",
                             "short_stream", "palette_past"}) {
        SCOPED_TRACE(name);
        TPNGObject image;
        ASSERT_NO_THROW(LoadFile(image, path(name)));
        const std::string want = ReadFile(dir_ + name + ".rgba");
        const std::string got = Dump(image);
        EXPECT_TRUE(got == want) << FirstDifference(got, want, image.GetWidth());
    }
}

TEST_F(Crafted, BrokenFilesRaiseTheirClassAndMessage) {
    const Broken cases[] = {
        {"sig_only", "EPngUnexpectedEnd", 65185},
        {"cut_after_ihdr", "EPngUnexpectedEnd", 65185},
        {"cut_in_idat", "EPngInvalidCRC", 65202},
        {"bad_crc_text", "EPngInvalidCRC", 65202},
        {"bad_crc_idat", "EPngInvalidCRC", 65202},
        {"bad_crc_split", "EPngInvalidCRC", 65202},
        {"huge_length", "EPngInvalidCRC", 65202},
        {"width65536", "EPNGSizeExceeds", 65210},
        {"width0", "EPngInvalidIHDR", 65203},
        {"huge_area", "EPNGOutMemory", 65190},
        {"rgb_depth1", "EPngInvalidIHDR", 65203},
        {"palette16", "EPngInvalidIHDR", 65203},
        {"short_ihdr", "EPngInvalidIHDR", 65203},
        {"compression1", "EPNGUnknownCompression", 65214},
        {"interlace2", "EPNGUnknownInterlace", 65215},
        {"ihdr_second", "EPNGIHDRNotFirst", 65208},
        {"no_idat", "EPNGNoImageData", 65186},
        {"critical_unknown", "EPNGUnknownCriticalChunk", 65213},
        {"plte_len4", "EPNGInvalidPalette", 65206},
        {"trns_len257", "EPNGInvalidPalette", 65206},
        {"no_plte", "EPNGMissingPalette", 65212},
        {"idat_then_text", "EPNGMissingMultipleIDAT", 65204},
        {"preset_dict", "EPNGZLIBError", 65205},
        {"bad_deflate", "EPNGZLIBError", 65205},
    };
    expectBroken(dir_, cases);
}

TEST_F(Crafted, ZlibFailuresNameTheirCause) {
    const struct {
        const char* name;
        const char* cause;
    } cases[] = {{"preset_dict", "need dictionary (2)"}, {"bad_deflate", "data error (-3)"}};
    for (const auto& c : cases) {
        TPNGObject image;
        try {
            LoadFile(image, path(c.name));
            ADD_FAILURE() << c.name << " loaded";
        } catch (const EPNGZLIBError& e) {
            EXPECT_EQ(e.Message, LoadResString(EPNGZLIBErrorText) + c.cause);
        }
    }
}

TEST_F(Crafted, AncillaryChunksAreKeptReadOrDropped) {
    TPNGObject image;
    LoadFile(image, path("ancillary"));
    std::vector<std::string> types;
    for (int i = 0; i < image.Chunks.Count(); ++i) types.push_back(image.Chunks[i]->GetChunkName());
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "abcD", "tEXt", "tEXt", "zTXt", "zTXt", "IDAT", "IEND"}));
    EXPECT_STREQ(image.Chunks[1]->ClassName(), "TChunk");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.Chunks[1]->Data()), image.Chunks[1]->DataSize()), "kept");
    auto text = [&](int i) { return dynamic_cast<TChunktEXt*>(image.Chunks[i]); };
    EXPECT_EQ(text(2)->Keyword, "Title");
    EXPECT_EQ(text(2)->Text, "Hello");
    // No zero byte: the whole data is the keyword.
    EXPECT_EQ(text(3)->Keyword, "abc");
    EXPECT_EQ(text(3)->Text, "");
    EXPECT_EQ(text(4)->Keyword, "Note");
    EXPECT_EQ(text(4)->Text, "packed text");
    // Sixty-four megabytes of zeros stay outside.
    EXPECT_EQ(text(5)->Keyword, "Bomb");
    EXPECT_EQ(text(5)->Text, "");
}

TEST_F(Crafted, WidthAtTheLimitLoads) {
    TPNGObject image;
    ASSERT_NO_THROW(LoadFile(image, path("width65535")));
    EXPECT_EQ(image.GetWidth(), 65535);
    EXPECT_EQ(image.GetPixels(65534, 0), 0xFFFFFF);
}

TEST_F(Crafted, SixteenBitTransparentGreyUsesTheHighByte) {
    TPNGObject image;
    LoadFile(image, path("grey16_trns"));
    EXPECT_EQ(image.GetTransparencyMode(), ptmBit);
    EXPECT_EQ(image.GetTransparentColor(), 0x404040);
    // The pixel holds the same sample, so the mask hides it.
    EXPECT_EQ(RenderImage(image, 1, 1, true)[0], 0u);
}

TEST(PngObject, GammaOfOneLeavesSamplesAloneAndSuiteGammaFollowsTheRule) {
    TPNGObject image;
    LoadFile(image, suiteDir() + "basn2c08.png");  // gAMA 100000
    EXPECT_EQ(image.GammaTable[0], 0);
    EXPECT_EQ(image.GammaTable[255], 255);
    EXPECT_EQ(image.GammaTable[128], 186);  // 255 * (128/255)^(1/2.2)
    std::istringstream none(ReadFile(suiteDir() + "basn2c08.png"));
    TPNGObject plain;
    plain.InitializeGamma();
    for (int i = 0; i < 256; ++i) ASSERT_EQ(plain.GammaTable[i], i);
}
