// Writing: every suite image saved and read back by pngcheck, Python's png
// module and our own decoder; the filter choice, IDAT cutting and texts.
#include <gtest/gtest.h>
#include <zlib.h>

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

std::string saved(TPNGObject& image) {
    std::ostringstream out;
    image.SaveToStream(out);
    return out.str();
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

TEST(PngWriter, EverySuiteImageSurvivesASave) {
    const std::string dir = ScratchDir();
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(suiteDir()))
        if (e.path().extension() == ".png" && e.path().filename().string()[0] != 'x')
            names.push_back(e.path().stem().string());
    std::sort(names.begin(), names.end());
    std::string args;
    for (const auto& n : names) {
        SCOPED_TRACE(n);
        TPNGObject image;
        LoadFile(image, suiteDir() + n + ".png");
        image.SaveToFile(dir + n + ".png");
        // pngcheck finds fault with some originals' time stamps; the copy
        // passes wherever the original does.
        std::string log;
        if (RunCommand("pngcheck -v " + suiteDir() + n + ".png") == 0) {
            EXPECT_EQ(RunCommand("pngcheck -v " + dir + n + ".png", &log), 0) << log;
            EXPECT_NE(log.find("No errors"), std::string::npos) << log;
        }
        TPNGObject back;
        LoadFile(back, dir + n + ".png");
        const std::string want = Dump(image), got = Dump(back);
        EXPECT_TRUE(got == want) << FirstDifference(got, want, image.GetWidth());
        args += " " + dir + n + ".png";
    }
    // An independent decoder reads the saved files as the originals show.
    const std::string out = dir + "oracle/";
    fs::create_directory(out);
    std::string log;
    ASSERT_EQ(RunCommand(Python() + Script("oracle.py") + " " + out + args, &log), 0) << log;
    for (const auto& n : names) {
        SCOPED_TRACE(n);
        TPNGObject image;
        LoadFile(image, suiteDir() + n + ".png");
        const std::string want = ReadFile(out + n + ".rgba"), got = Dump(image);
        EXPECT_TRUE(got == want) << FirstDifference(got, want, image.GetWidth());
    }
    fs::remove_all(dir);
}

TEST(PngWriter, TwoBitImagesAreWrittenAsFourBit) {
    for (const char* name : {"basn3p02", "basn0g02"}) {
        TPNGObject image;
        LoadFile(image, suiteDir() + name + ".png");
        const auto chunks = chunksOf(saved(image));
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
        const std::vector<int> bytes = filterBytes(saved(image), 20, 6);
        EXPECT_EQ(bytes, std::vector<int>(6, c.expected)) << "set " << c.set;
    }
}

TEST(PngWriter, ImageDataIsCutIntoFullIdatChunks) {
    for (int maxSize : {65535, 100000}) {
        TPNGObject image(COLOR_RGB, 8, 300, 300);
        fillNoise(image);
        image.SetMaxIdatSize(maxSize);
        const std::string file = saved(image);
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
        EXPECT_TRUE(Dump(back) == Dump(image));
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
    std::istringstream in(saved(image));
    back.LoadFromStream(in);
    std::vector<std::pair<std::string, std::string>> texts;
    for (int i = 0; i < back.Chunks.Count(); ++i)
        if (auto* t = dynamic_cast<TChunktEXt*>(back.Chunks[i])) texts.emplace_back(t->Keyword, t->Text);
    EXPECT_EQ(texts, (std::vector<std::pair<std::string, std::string>>{
                         {"Title", "plain"}, {"Comment", "packed words"}, {"Empty", " "}}));
}

TEST(PngWriter, SixteenBitSamplesKeepTheirLowBytes) {
    TPNGObject image;
    LoadFile(image, suiteDir() + "basn0g16.png");
    TPNGObject copy;
    copy.AssignPNG(image);
    for (TPNGObject* source : {&image, &copy}) {
        TPNGObject back;
        std::istringstream in(saved(*source));
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
