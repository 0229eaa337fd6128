// Writing: every suite image saved and read back by pngcheck, Python's png
// module and our own decoder; the filter choice, IDAT cutting and texts.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include "png/pngimage.h"
#include "png_test_util.h"

using namespace png;
using namespace pngtest;
namespace fs = std::filesystem;

namespace {

struct Chunk {
    std::string Type, Data;
};

std::vector<Chunk> chunksOf(const std::string& file) {
    std::vector<Chunk> out;
    size_t at = 8;
    while (at + 12 <= file.size()) {
        const auto* p = reinterpret_cast<const uint8_t*>(file.data() + at);
        const size_t n = size_t(p[0]) << 24 | size_t(p[1]) << 16 | size_t(p[2]) << 8 | p[3];
        out.push_back({file.substr(at + 4, 4), file.substr(at + 8, n)});
        at += 12 + n;
    }
    return out;
}

// The filter byte of every row of a non-interlaced image.
std::vector<int> filterBytes(const std::string& file, size_t rowBytes, int rows) {
    std::string packed;
    for (const auto& c : chunksOf(file))
        if (c.Type == "IDAT") packed += c.Data;
    std::string raw((rowBytes + 1) * rows, '\0');
    uLongf n = raw.size();
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &n, reinterpret_cast<const Bytef*>(packed.data()),
                         packed.size()),
              Z_OK);
    std::vector<int> out;
    for (int y = 0; y < rows; ++y) out.push_back(uint8_t(raw[y * (rowBytes + 1)]));
    return out;
}

// The base names of the files pngcheck passes, of one run over them all.
std::set<std::string> passingPngcheck(const std::vector<std::string>& paths) {
    std::string command = "pngcheck";
    for (const auto& p : paths) command += " " + p;
    std::string log;
    RunCommand(command, &log);
    std::set<std::string> ok;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("OK: ", 0) == 0) ok.insert(fs::path(line.substr(4, line.find(' ', 4) - 4)).stem().string());
    return ok;
}

// A colour image of noise, which deflate cannot shrink.
void fillNoise(TPNGObject& image) {
    uint32_t s = 12345;
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x) {
            s = s * 1103515245 + 12345;
            image.SetPixels(x, y, TColor(s >> 8) & 0xFFFFFF);
        }
}

}  // namespace

TEST(PngWriter, LoadAndSaveKeepsEverySampleOfTheSuite) {
    const std::string dir = ScratchDir();
    std::vector<std::string> names, originals, copies;
    for (const auto& e : fs::directory_iterator(SuiteDir()))
        if (e.path().extension() == ".png" && e.path().filename().string()[0] != 'x' && e.path().stem() != "PngSuite")
            names.push_back(e.path().stem().string());
    std::sort(names.begin(), names.end());
    for (const auto& n : names) {
        TPNGObject image;
        LoadFile(image, SuiteFile(n));
        image.SaveToFile(dir + n + ".png");
        originals.push_back(SuiteFile(n));
        copies.push_back(dir + n + ".png");
    }
    // pngcheck finds fault with an original's time stamp; the copies pass
    // wherever the originals do.
    const std::set<std::string> checked = passingPngcheck(originals), copiesChecked = passingPngcheck(copies);
    EXPECT_GE(checked.size(), names.size() - 1);
    for (const auto& n : checked) EXPECT_EQ(copiesChecked.count(n), 1u) << n;
    // libpng reads the copies sample for sample as the originals, and finds
    // nothing to warn about in them.
    const auto before = RunLibpng(originals), after = RunLibpng(copies);
    for (const auto& n : names) {
        SCOPED_TRACE(n);
        ASSERT_TRUE(after.at(n).Ok()) << after.at(n).Error;
        EXPECT_EQ(after.at(n).Warnings, std::vector<std::string>());
        EXPECT_TRUE(after.at(n).Pixels == before.at(n).Pixels);
    }
    fs::remove_all(dir);
}

TEST(PngWriter, ChunksLeftBlankAreNotWrittenInvalid) {
    for (uint8_t type : {COLOR_RGB, COLOR_PALETTE, COLOR_GRAYSCALE}) {
        SCOPED_TRACE(int(type));
        TPNGObject image(type, 8, 4, 3);
        image.Chunks.Add<TChunktIME>();
        image.Chunks.Add<TChunktRNS>();
        const std::string dir = ScratchDir();
        WriteFile(dir + "blank.png", Saved(image));
        std::string log;
        EXPECT_EQ(RunCommand("pngcheck -v " + dir + "blank.png", &log), 0) << log;
        const Peer peer = RunLibpng(dir + "blank.png");
        EXPECT_TRUE(peer.Ok()) << peer.Error;
        EXPECT_EQ(peer.Warnings, std::vector<std::string>());
        std::vector<std::string> types;
        for (const auto& c : chunksOf(Saved(image))) types.push_back(c.Type);
        using V = std::vector<std::string>;
        const V plain = type == COLOR_PALETTE ? V{"IHDR", "PLTE", "IDAT", "IEND"} : V{"IHDR", "IDAT", "IEND"};
        EXPECT_EQ(types, plain);
        // Once set, both are written.
        auto* time = image.Chunks.FindChunk<TChunktIME>();
        time->Year = 2024, time->Month = 2, time->Day = 29, time->Hour = 23, time->Minute = 59, time->Second = 60;
        image.SetTransparentColor(image.GetPixels(0, 0));
        types.clear();
        for (const auto& c : chunksOf(Saved(image))) types.push_back(c.Type);
        EXPECT_EQ(std::count(types.begin(), types.end(), "tIME"), 1);
        EXPECT_EQ(std::count(types.begin(), types.end(), "tRNS"), 1);
        fs::remove_all(dir);
    }
}

// CreateAlpha gives a palette image a table for every index of its depth;
// the file gets no more entries than its palette has.
TEST(PngWriter, APaletteTableIsWrittenNoLongerThanThePalette) {
    TPNGObject image;
    LoadFile(image, std::string(PNG_TEST_DIR) + "/../data/png/palette-alpha.png");  // three entries
    image.RemoveTransparency();
    image.CreateAlpha();
    image.Chunks.FindChunk<TChunktRNS>()->PaletteValues[1] = 60;
    const std::string dir = ScratchDir();
    WriteFile(dir + "alpha.png", Saved(image));
    const Peer peer = RunLibpng(dir + "alpha.png");
    ASSERT_TRUE(peer.Ok()) << peer.Error;
    EXPECT_EQ(peer.Warnings, std::vector<std::string>());
    // The black band (entry 1) at alpha 60, the others opaque.
    EXPECT_EQ(peer.Pixels[3], 0xFFFF);
    EXPECT_EQ(peer.Pixels[60 * 4 + 3], 60 * 257);
    EXPECT_EQ(peer.Pixels[110 * 4 + 3], 0xFFFF);
    fs::remove_all(dir);
}

TEST(PngWriter, FilteredRowsAreDeflatedWithTheFilteredStrategy) {
    // A gradient with a little noise, as photos are: short matches abound.
    TPNGObject image(COLOR_RGB, 8, 120, 90);
    uint32_t seed = 7;
    for (int y = 0; y < 90; ++y)
        for (int i = 0; i < 360; ++i) {
            seed = seed * 1103515245 + 12345;
            image.GetScanline(y)[i] = uint8_t(i * 2 + y + int(seed >> 16) % 7);
        }
    for (TFilters set : {FilterSet(pfSub), FilterSet(pfNone)}) {
        image.Filters = set;
        std::string packed;
        for (const auto& c : chunksOf(Saved(image)))
            if (c.Type == "IDAT") packed += c.Data;
        std::string raw(91 * 361, '\0');
        uLongf n = raw.size();
        ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &n, reinterpret_cast<const Bytef*>(packed.data()),
                             packed.size()),
                  Z_OK);
        // The same rows through zlib at the same level with the strategy
        // that suits them give the same bytes.
        z_stream z{};
        ASSERT_EQ(deflateInit2(&z, 7, Z_DEFLATED, 15, 8, set == FilterSet(pfNone) ? Z_DEFAULT_STRATEGY : Z_FILTERED),
                  Z_OK);
        std::string again(deflateBound(&z, n), '\0');
        z.next_in = reinterpret_cast<Bytef*>(raw.data());
        z.avail_in = uInt(n);
        z.next_out = reinterpret_cast<Bytef*>(again.data());
        z.avail_out = uInt(again.size());
        ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
        again.resize(z.total_out);
        deflateEnd(&z);
        EXPECT_TRUE(again == packed) << "set " << set;
    }
}

TEST(PngWriter, TwoBitImagesAreWrittenAsFourBit) {
    for (const char* name : {"basn3p02", "basn0g02"}) {
        TPNGObject image;
        LoadFile(image, SuiteFile(name));
        const auto chunks = chunksOf(Saved(image));
        ASSERT_EQ(chunks.front().Type, "IHDR");
        EXPECT_EQ(chunks.front().Data[8], 4) << name;
    }
}

TEST(PngWriter, FilterChoiceFollowsTheFilterSet) {
    const struct {
        TFilters set;
        int expected;
    } cases[] = {
        {FilterSet(pfSub), 1},
        {FilterSet(pfNone), 0},
        {0, 0},
        {FilterSet(pfUp), 2},
        {FilterSet(pfAverage), 3},
        {FilterSet(pfPaeth), 4},
        // Flat rows score the same under every filter: the first one wins.
        {FilterSet(pfNone) | FilterSet(pfSub) | FilterSet(pfUp) | FilterSet(pfAverage) | FilterSet(pfPaeth), 0},
        {FilterSet(pfUp) | FilterSet(pfAverage), 2},
    };
    for (const auto& c : cases) {
        TPNGObject image(COLOR_GRAYSCALE, 8, 20, 6);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 20; ++x) image.SetPixels(x, y, 0x808080);
        image.Filters = c.set;
        const std::vector<int> bytes = filterBytes(Saved(image), 20, 6);
        EXPECT_EQ(bytes, std::vector<int>(6, c.expected)) << "set " << c.set;
    }
}

TEST(PngWriter, ImageDataIsCutIntoFullIdatChunks) {
    for (int maxSize : {65535, 100000}) {
        TPNGObject image(COLOR_RGB, 8, 300, 300);
        fillNoise(image);
        image.SetMaxIdatSize(maxSize);
        const std::string file = Saved(image);
        std::vector<size_t> sizes;
        for (const auto& c : chunksOf(file))
            if (c.Type == "IDAT") sizes.push_back(c.Data.size());
        ASSERT_GE(sizes.size(), 2u);
        for (size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], size_t(maxSize)) << i;
        EXPECT_GT(sizes.back(), 0u);
        EXPECT_LE(sizes.back(), size_t(maxSize));
        EXPECT_EQ(filterBytes(file, 900, 300), std::vector<int>(300, 1));
        TPNGObject back;
        std::istringstream in(file);
        back.LoadFromStream(in);
        EXPECT_TRUE(Expanded(back) == Expanded(image));
    }
}

TEST(PngWriter, MaxIdatSizeNeverDropsBelowTheChunkLimit) {
    TPNGObject image;
    const struct {
        int given, kept;
    } cases[] = {{1000, 65535}, {65534, 65535}, {65535, 65535}, {100000, 100000}};
    for (const auto& c : cases) {
        image.SetMaxIdatSize(c.given);
        EXPECT_EQ(image.MaxIdatSize(), c.kept) << c.given;
    }
}

TEST(PngWriter, TextsRoundTripAndAnEmptyPackedTextBecomesASpace) {
    TPNGObject image(COLOR_GRAYSCALE, 8, 2, 2);
    image.AddtEXt("Title", "plain");
    image.AddzTXt("Comment", "packed words");
    image.AddzTXt("Empty", "");
    TPNGObject back;
    std::istringstream in(Saved(image));
    back.LoadFromStream(in);
    std::vector<std::pair<std::string, std::string>> texts;
    for (int i = 0; i < back.Chunks.Count(); ++i)
        if (auto* t = dynamic_cast<TChunktEXt*>(back.Chunks[i])) texts.emplace_back(t->Keyword, t->Text);
    EXPECT_EQ(texts, (std::vector<std::pair<std::string, std::string>>{
                         {"Title", "plain"}, {"Comment", "packed words"}, {"Empty", " "}}));
}

TEST(PngWriter, SixteenBitSamplesKeepTheirLowBytes) {
    TPNGObject image;
    LoadFile(image, SuiteFile("basn0g16"));
    TPNGObject copy;
    copy.AssignPNG(image);
    for (TPNGObject* source : {&image, &copy}) {
        TPNGObject back;
        std::istringstream in(Saved(*source));
        back.LoadFromStream(in);
        bool anyLow = false;
        for (int y = 0; y < image.GetHeight(); ++y)
            for (int x = 0; x < image.GetWidth(); ++x) {
                ASSERT_EQ(back.GetExtraScanline(y)[x], image.GetExtraScanline(y)[x]) << x << "," << y;
                anyLow |= image.GetExtraScanline(y)[x] != 0;
            }
        EXPECT_TRUE(anyLow);
    }
}
