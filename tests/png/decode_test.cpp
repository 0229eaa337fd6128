// Decoding beside libpng: the PngSuite, its broken files, byte flips, and
// crafted files for the paths a well-formed file never takes.
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

std::vector<std::string> suiteFiles(bool broken) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(SuiteDir()))
        if (e.path().extension() == ".png" && e.path().stem() != "PngSuite" &&
            (e.path().filename().string()[0] == 'x') == broken)
            names.push_back(e.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A file that must not load, how it fails, and whether libpng refuses it
// too (it lets bad CRCs of ancillary chunks pass with a warning).
struct Broken {
    const char* name;
    const char* cls;
    int id;
    bool peerRefuses = true;
};

template <size_t N>
void expectBroken(const std::string& dir, const Broken (&cases)[N]) {
    std::vector<std::string> paths;
    for (const auto& c : cases) paths.push_back(dir + c.name + ".png");
    const auto peers = RunLibpng(paths);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TPNGObject image;
        const Failure f = LoadFailure(image, ReadFile(dir + c.name + ".png"));
        EXPECT_EQ(f.ClassName, c.cls);
        EXPECT_EQ(f.Id, c.id);
        EXPECT_TRUE(image.GetEmpty());
        EXPECT_EQ(!peers.at(c.name).Ok(), c.peerRefuses) << peers.at(c.name).Error;
    }
}

void expectAsPeer(const std::string& dir, const std::vector<std::string>& names) {
    std::vector<std::string> paths;
    for (const auto& n : names) paths.push_back(dir + n + ".png");
    const auto peers = RunLibpng(paths);
    for (const auto& n : names) {
        SCOPED_TRACE(n);
        TPNGObject image;
        ASSERT_NO_THROW(LoadFile(image, dir + n + ".png"));
        EXPECT_EQ(DifferenceFromPeer(image, peers.at(n)), "");
    }
}

std::vector<std::string> typesOf(const TPNGObject& image) {
    std::vector<std::string> t;
    for (int i = 0; i < image.Chunks.Count(); ++i) t.push_back(image.Chunks[i]->GetChunkName());
    return t;
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

TEST(PngSuite, EveryImageDecodesAndDrawsAsLibpngDecodesIt) {
    const auto names = suiteFiles(false);
    ASSERT_GT(names.size(), 150u) << "suite files missing in " << SuiteDir();
    expectAsPeer(SuiteDir(), names);
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
    expectBroken(SuiteDir(), cases);
}

// Every single-bit flip of a file that libpng refuses is refused here, and a
// flip both accept shows the same pixels. The first file has one IDAT chunk
// a byte; the second is interlaced with a palette; the third holds tRNS.
TEST(PngSuite, EveryByteFlipLibpngRefusesIsRefused) {
    for (const char* name : {"oi9n2c16", "basi3p02", "tbgn3p08"}) {
        SCOPED_TRACE(name);
        const std::string dir = ScratchDir(), original = ReadFile(SuiteFile(name));
        std::vector<std::string> paths;
        for (size_t i = 8; i < original.size(); ++i) {
            std::string flipped = original;
            flipped[i] = char(flipped[i] ^ (1 << (i % 8)));
            paths.push_back(dir + "f" + std::to_string(i) + ".png");
            WriteFile(paths.back(), flipped);
        }
        const auto peers = RunLibpng(paths);
        int refused = 0;
        for (size_t i = 8; i < original.size(); ++i) {
            const Peer& peer = peers.at("f" + std::to_string(i));
            TPNGObject image;
            const Failure f = LoadFailure(image, ReadFile(dir + "f" + std::to_string(i) + ".png"));
            if (!peer.Ok()) {
                ++refused;
                EXPECT_NE(f.ClassName, "(none)") << "byte " << i << " flipped loads; libpng: " << peer.Error;
            } else if (f.ClassName == "(none)") {
                EXPECT_EQ(DifferenceFromPeer(image, peer), "") << "byte " << i;
            }
        }
        EXPECT_GT(refused, 0);
        fs::remove_all(dir);
    }
}

TEST(PngSuite, TwoBitGreyWhiteIsWhiteAndHeldInFourBits) {
    TPNGObject image;
    LoadFile(image, SuiteFile("basn0g02"));
    EXPECT_EQ(image.Header()->BitmapInfo.biBitCount, 4);
    // The last column of the first row is the brightest sample, 3.
    const uint32_t right = RenderImage(image, image.GetWidth(), 1)[size_t(image.GetWidth() - 1)];
    EXPECT_EQ(right, 0xFFFFFFFFu);
}

TEST_F(Crafted, LoadableFilesDecodeAsLibpngDecodesThem) {
    expectAsPeer(dir_, {"base", "split_idat", "trailer_alone", "idat_tail", "idat_after_end", "idat_later",
                        "too_much_data", "ancillary", "iend_data", "palette_past", "palette_alpha", "palette_twins",
                        "rgb16_key", "grey16_key", "grey2_key", "rgb_key_gamma", "grey_alpha_gamma"});
}

TEST_F(Crafted, ChunksOutOfPlaceRepeatedOrMalformedAreLeftOut) {
    const struct {
        const char* name;
        const char* type;
        int kept;
    } cases[] = {
        {"trns_before_plte", "tRNS", 0}, {"trns_after_idat", "tRNS", 0}, {"trns_longer_than_plte", "tRNS", 0},
        {"trns_257", "tRNS", 0},         {"trns_empty", "tRNS", 0},      {"trns_twice", "tRNS", 1},
        {"trns_rgb_len4", "tRNS", 0},    {"trns_grey_alpha", "tRNS", 0}, {"plte_in_grey", "PLTE", 0},
        {"plte_after_idat", "PLTE", 0},  {"gama_twice", "gAMA", 1},      {"gama_after_plte", "gAMA", 0},
        {"gama_len3", "gAMA", 0},        {"idat_after_end", "IDAT", 1},  {"iend_data", "IEND", 1},
    };
    std::vector<std::string> names;
    for (const auto& c : cases) names.push_back(c.name);
    expectAsPeer(dir_, names);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TPNGObject image;
        LoadFile(image, path(c.name));
        const auto types = typesOf(image);
        EXPECT_EQ(std::count(types.begin(), types.end(), c.type), c.kept);
        // What is kept is written back as a file libpng reads without a
        // warning, showing the same.
        const std::string copy = dir_ + "copy-" + c.name + ".png";
        WriteFile(copy, Saved(image));
        const Peer saved = RunLibpng(copy);
        EXPECT_EQ(saved.Warnings, std::vector<std::string>());
        EXPECT_TRUE(saved.Pixels == RunLibpng(path(c.name)).Pixels);
    }
    // The first tRNS holds, not the second.
    TPNGObject twice;
    LoadFile(twice, path("trns_twice"));
    EXPECT_EQ(twice.Chunks.FindChunk<TChunktRNS>()->PaletteValues[0], 0x80);
}

TEST_F(Crafted, TransparencyKeysOnTheIndexOrTheWholeSample) {
    const struct {
        const char* name;
        std::vector<uint32_t> alphas;  // drawn, per pixel of the first row
        TPNGTransparencyMode mode;
    } cases[] = {
        // Red at 128 beside opaque black: each entry by its own alpha.
        {"palette_alpha", {128, 255, 255, 128}, ptmPartial},
        // Two entries of one colour: only the transparent index hides.
        {"palette_twins", {255, 0, 255}, ptmBit},
        // 0x12FF is not the key 0x1234, though its high byte is.
        {"rgb16_key", {0, 255, 255}, ptmBit},
        {"grey16_key", {0, 255, 255}, ptmBit},
        {"grey2_key", {255, 255, 0, 255}, ptmBit},
        // 254 shows as 255 through the gamma table, but only 255 is the key.
        {"rgb_key_gamma", {255, 0}, ptmBit},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TPNGObject image;
        LoadFile(image, path(c.name));
        EXPECT_EQ(image.GetTransparencyMode(), c.mode);
        const std::vector<uint32_t> drawn = PartialSource(image, image.GetWidth(), 1);
        std::vector<uint32_t> alphas;
        for (uint32_t p : drawn) alphas.push_back(p >> 24);
        EXPECT_EQ(alphas, c.alphas);
    }
    TPNGObject gamma;
    LoadFile(gamma, path("rgb_key_gamma"));
    EXPECT_EQ(PartialSource(gamma, 2, 1)[0], 0xFFFFFFFFu);  // 254 shown as 255, opaque
    // Grey with alpha goes through the same table as every colour.
    TPNGObject grey;
    LoadFile(grey, path("grey_alpha_gamma"));
    const std::vector<uint32_t> shown = PartialSource(grey, 4, 1);
    EXPECT_EQ(shown[0] & 0xFF, grey.GammaTable[10]);
    EXPECT_NE(grey.GammaTable[10], 10);
    EXPECT_EQ(grey.GetPixels(2, 0), TColor(grey.GammaTable[200]) * 0x010101);
}

TEST_F(Crafted, BrokenFilesRaiseTheirClassAndMessage) {
    const Broken cases[] = {
        {"sig_only", "EPngUnexpectedEnd", 65185},
        {"cut_after_ihdr", "EPngUnexpectedEnd", 65185},
        {"cut_in_idat", "EPngUnexpectedEnd", 65185},
        {"cut_in_crc", "EPngUnexpectedEnd", 65185},
        {"no_iend", "EPngUnexpectedEnd", 65185},
        {"huge_length", "EPngUnexpectedEnd", 65185},
        {"bad_crc_text", "EPngInvalidCRC", 65202, false},
        {"bad_crc_chrm", "EPngInvalidCRC", 65202, false},
        {"bad_crc_idat", "EPngInvalidCRC", 65202},
        {"bad_crc_split", "EPngInvalidCRC", 65202},
        {"bad_crc_after_end", "EPngInvalidCRC", 65202},
        {"width65536", "EPNGSizeExceeds", 65210},
        {"width0", "EPngInvalidIHDR", 65203},
        {"rgb_depth1", "EPngInvalidIHDR", 65203},
        {"palette16", "EPngInvalidIHDR", 65203},
        {"short_ihdr", "EPngInvalidIHDR", 65203},
        {"long_ihdr", "EPngInvalidIHDR", 65203},
        {"ihdr_twice", "EPngInvalidIHDR", 65203},
        {"filter_method1", "EPngInvalidIHDR", 65203},
        {"compression1", "EPNGUnknownCompression", 65214},
        {"interlace2", "EPNGUnknownInterlace", 65215},
        {"ihdr_second", "EPNGIHDRNotFirst", 65208},
        {"no_idat", "EPNGNoImageData", 65186},
        {"critical_unknown", "EPNGUnknownCriticalChunk", 65213},
        {"plte_len4", "EPNGInvalidPalette", 65206},
        {"plte_empty", "EPNGInvalidPalette", 65206},
        {"plte_twice", "EPNGInvalidPalette", 65206},
        {"no_plte", "EPNGMissingPalette", 65212},
        {"idat_then_text", "EPNGMissingMultipleIDAT", 65204},
        {"short_stream", "EPNGMissingMultipleIDAT", 65204},
        {"no_check_value", "EPNGMissingMultipleIDAT", 65204},
        {"no_stream_end", "EPNGMissingMultipleIDAT", 65204},
        {"tiny_huge", "EPNGMissingMultipleIDAT", 65204},
        {"bad_check_value", "EPNGZLIBError", 65205},
        {"preset_dict", "EPNGZLIBError", 65205},
        {"bad_deflate", "EPNGZLIBError", 65205},
        {"filter5", "EPNGZLIBError", 65205},
    };
    expectBroken(dir_, cases);
}

TEST_F(Crafted, FailuresNameTheirCause) {
    const struct {
        const char* name;
        const char* cause;
    } cases[] = {{"preset_dict", "need dictionary (2)"},
                 {"bad_deflate", "data error (-3)"},
                 {"bad_check_value", "data error (-3)"},
                 {"filter5", "unknown row filter (5)"}};
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
    EXPECT_EQ(typesOf(image), (std::vector<std::string>{"IHDR", "abcD", "tEXt", "tEXt", "zTXt", "zTXt", "IDAT", "IEND"}));
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

TEST(PngObject, AFailedLoadLeavesNothingToSave) {
    const std::string file = ReadFile(SuiteFile("basn2c08"));
    TPNGObject image;
    LoadFile(image, SuiteFile("basn6a16"));
    ASSERT_EQ(image.GetWidth(), 32);
    // Cut at 60%: inside the image data.
    const Failure f = LoadFailure(image, file.substr(0, file.size() * 6 / 10));
    EXPECT_EQ(f.ClassName, "EPngUnexpectedEnd");
    EXPECT_TRUE(image.GetEmpty());
    EXPECT_EQ(image.GetWidth(), 0);
    std::ostringstream out;
    EXPECT_THROW(image.SaveToStream(out), EPNGHeaderNotPresent);
    EXPECT_EQ(out.str(), "");
    // Loading again makes it whole.
    LoadFile(image, SuiteFile("basn2c08"));
    EXPECT_EQ(RunLibpng(SuiteFile("basn2c08")).Pixels, Expanded(image));
}

TEST(PngObject, TheBudgetIsDecidedBeforeAnythingIsAllocated) {
    // 32 x 32 at 16 bits: colour rows of 96 bytes and an alpha byte, each
    // twice (high and low bytes), 8192 bytes in all.
    const std::string file = ReadFile(SuiteFile("basn6a16"));
    const struct {
        uint64_t pixels, bytes;
        bool loads;
    } cases[] = {{1024, 8192, true}, {1023, 1 << 20, false}, {1024, 8191, false}};
    for (const auto& c : cases) {
        TPNGObject image;
        image.MaxPixels = c.pixels;
        image.MaxBytes = c.bytes;
        const Failure f = LoadFailure(image, file);
        EXPECT_EQ(f.ClassName, c.loads ? "(none)" : "EPNGOutMemory") << c.pixels << " " << c.bytes;
        // A preview fits where the whole image does not.
        std::istringstream in(file);
        image.LoadPreview(in, 8);
        EXPECT_EQ(image.GetWidth(), 8);
    }
}

TEST(PngObject, PreviewsHoldEveryStepthPixelAndAreNeverSaved) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(SuiteDir())) {
        const std::string n = e.path().stem().string();
        if (e.path().extension() == ".png" && n[0] != 'x' && n != "PngSuite") names.push_back(n);
    }
    for (const auto& n : names) {
        SCOPED_TRACE(n);
        TPNGObject whole;
        LoadFile(whole, SuiteFile(n));
        for (int size : {5, 8, 20, 64}) {
            TPNGObject preview;
            std::istringstream in(ReadFile(SuiteFile(n)));
            preview.LoadPreview(in, size);
            const int longer = std::max(whole.GetWidth(), whole.GetHeight());
            int step = 1;
            while ((longer + 2 * step - 1) / (2 * step) >= size) step *= 2;
            ASSERT_EQ(preview.GetWidth(), (whole.GetWidth() + step - 1) / step) << size;
            ASSERT_EQ(preview.GetHeight(), (whole.GetHeight() + step - 1) / step) << size;
            EXPECT_EQ(preview.IsPreview(), step > 1);
            const auto all = PartialSource(whole, whole.GetWidth(), whole.GetHeight());
            const auto few = PartialSource(preview, preview.GetWidth(), preview.GetHeight());
            for (int y = 0; y < preview.GetHeight(); ++y)
                for (int x = 0; x < preview.GetWidth(); ++x)
                    ASSERT_EQ(few[size_t(y) * preview.GetWidth() + x], all[size_t(y * step) * whole.GetWidth() + x * step])
                        << size << " at " << x << "," << y;
            std::ostringstream out;
            if (step > 1) {
                EXPECT_THROW(preview.SaveToStream(out), EPNGHeaderNotPresent);
            }
        }
    }
}

TEST(PngObject, GammaTableFollowsTheRuleAndItsInverseComesBack) {
    TPNGObject image;
    LoadFile(image, SuiteFile("basn2c08"));  // gAMA 100000
    EXPECT_EQ(image.GammaTable[0], 0);
    EXPECT_EQ(image.GammaTable[255], 255);
    EXPECT_EQ(image.GammaTable[128], 186);  // 255 * (128/255)^(1/2.2)
    EXPECT_EQ(image.GammaTable[1], 21);
    // Every colour goes back to the sample that shows nearest to it (dark
    // colours the table skips included).
    for (int v = 0; v < 256; ++v) {
        const int back = std::abs(image.GammaTable[image.InverseTable[v]] - v);
        for (int i = 0; i < 256; ++i) ASSERT_LE(back, std::abs(image.GammaTable[i] - v)) << v;
    }
    TPNGObject plain;
    for (int i = 0; i < 256; ++i) ASSERT_EQ(plain.GammaTable[i], i);
}
