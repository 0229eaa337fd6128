// The editing side: chunk placement, blank images, pixels, resizing,
// transparency operations and copying.
#include <gtest/gtest.h>

#include <sstream>

#include "png/pngimage.h"
#include "png_test_util.h"

using namespace png;
using namespace pngtest;

namespace {

std::vector<std::string> typesOf(const TPNGObject& image) {
    std::vector<std::string> t;
    for (int i = 0; i < image.Chunks.Count(); ++i) t.push_back(image.Chunks[i]->GetChunkName());
    return t;
}

template <class E, class F>
int idOfThrown(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return IdOf(e.Message);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "other exception: " << e.what();
        return -1;
    }
    return 0;
}

}  // namespace

TEST(PngPlacement, NewChunksGoWhereTheirKindBelongs) {
    using V = std::vector<std::string>;
    TPNGObject palette;
    LoadFile(palette, SuiteFile("basn3p08"));  // IHDR gAMA PLTE IDAT IEND
    ASSERT_EQ(typesOf(palette), (V{"IHDR", "gAMA", "PLTE", "IDAT", "IEND"}));
    palette.Chunks.Add<TChunktRNS>();
    palette.Chunks.Add<TChunktEXt>();
    palette.Chunks.Add<TChunkpHYs>();
    palette.Chunks.Add<TChunktIME>();
    EXPECT_EQ(typesOf(palette), (V{"IHDR", "pHYs", "gAMA", "PLTE", "tRNS", "IDAT", "tEXt", "tIME", "IEND"}));

    TPNGObject colour;
    LoadFile(colour, SuiteFile("basn2c08"));
    colour.Chunks.Add<TChunktRNS>();
    EXPECT_EQ(typesOf(colour), (V{"IHDR", "gAMA", "tRNS", "IDAT", "IEND"}));
}

TEST(PngPlacement, CriticalAndRepeatedChunksAndBrokenListsAreRefused) {
    TPNGObject image;
    LoadFile(image, SuiteFile("basn3p08"));
    image.Chunks.Add<TChunktRNS>();
    EXPECT_EQ(idOfThrown<EPngError>([&] { image.Chunks.Add<TChunktRNS>(); }), 65187);
    EXPECT_EQ(idOfThrown<EPngError>([&] { image.Chunks.Add<TChunkgAMA>(); }), 65187);
    EXPECT_EQ(idOfThrown<EPngError>([&] { image.Chunks.Add<TChunkIHDR>(); }), 65187);
    EXPECT_EQ(idOfThrown<EPngError>([&] { image.Chunks.Add<TChunkIDAT>(); }), 65187);
    EXPECT_EQ(idOfThrown<EPngError>([&] { image.Chunks.Add<TChunkPLTE>(); }), 65187);
    EXPECT_EQ(idOfThrown<EPngError>([&] { image.Chunks.Add<TChunkIEND>(); }), 65187);
    TPNGObject empty;
    EXPECT_EQ(idOfThrown<EPngError>([&] { empty.Chunks.Add<TChunktEXt>(); }), 65188);
    EXPECT_EQ(idOfThrown<EPNGHeaderNotPresent>([&] { empty.Header(); }), 65192);
    EXPECT_EQ(empty.GetWidth(), 0);
}

TEST(PngBlank, OnlyThePairsOfTheStandardAreMade) {
    const struct {
        uint8_t type, depth;
        bool ok;
        int bits;
    } cases[] = {
        {COLOR_GRAYSCALE, 1, true, 1},     {COLOR_GRAYSCALE, 2, true, 4},   {COLOR_GRAYSCALE, 4, true, 4},
        {COLOR_GRAYSCALE, 8, true, 8},     {COLOR_GRAYSCALE, 16, true, 8},  {COLOR_GRAYSCALE, 3, false, 0},
        {COLOR_RGB, 8, true, 24},          {COLOR_RGB, 16, true, 24},       {COLOR_RGB, 4, false, 0},
        {COLOR_PALETTE, 1, true, 1},       {COLOR_PALETTE, 2, true, 4},     {COLOR_PALETTE, 4, true, 4},
        {COLOR_PALETTE, 8, true, 8},       {COLOR_PALETTE, 16, false, 0},   {COLOR_GRAYSCALEALPHA, 8, true, 8},
        {COLOR_GRAYSCALEALPHA, 16, true, 8}, {COLOR_GRAYSCALEALPHA, 4, false, 0}, {COLOR_RGBALPHA, 8, true, 24},
        {COLOR_RGBALPHA, 16, true, 24},    {COLOR_RGBALPHA, 1, false, 0},   {1, 8, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + "/" + std::to_string(c.depth));
        if (!c.ok) {
            const int id = idOfThrown<EPNGInvalidSpec>([&] { TPNGObject image(c.type, c.depth, 3, 2); });
            EXPECT_EQ(id, 65194);
            continue;
        }
        TPNGObject image(c.type, c.depth, 3, 2);
        using V = std::vector<std::string>;
        const V expected = c.type == COLOR_PALETTE ? V{"IHDR", "PLTE", "IDAT", "IEND"} : V{"IHDR", "IDAT", "IEND"};
        EXPECT_EQ(typesOf(image), expected);
        EXPECT_EQ(image.Header()->BitmapInfo.biBitCount, c.bits);
        EXPECT_EQ(image.Header()->BitDepth(), c.depth == 2 ? 4 : c.depth);
        EXPECT_FALSE(image.BeingCreated);
        // A blank image is a valid file.
        TPNGObject back;
        std::istringstream in(Saved(image));
        EXPECT_NO_THROW(back.LoadFromStream(in));
        EXPECT_EQ(back.GetPixels(2, 1), image.GetPixels(2, 1));
    }
}

TEST(PngPixels, SetThenGetAcrossTypesAndOutsideIsIgnored) {
    const struct {
        uint8_t type, depth;
        TColor set, got;
    } cases[] = {
        {COLOR_RGB, 8, 0x123456, 0x123456},
        {COLOR_RGBALPHA, 8, 0x654321, 0x654321},
        {COLOR_GRAYSCALE, 8, 0x7F7F7F, 0x7F7F7F},
        {COLOR_GRAYSCALE, 1, 0xF0F0F0, 0xFFFFFF},
        {COLOR_GRAYSCALE, 2, 0xFFFFFF, 0xFFFFFF},
        {COLOR_GRAYSCALE, 2, 0x505050, 0x555555},
        {COLOR_GRAYSCALE, 4, 0x222222, 0x222222},
        {COLOR_GRAYSCALEALPHA, 8, 0x000040, 0x404040},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + "/" + std::to_string(c.depth));
        TPNGObject image(c.type, c.depth, 9, 3);
        image.SetPixels(5, 1, c.set);
        EXPECT_EQ(image.GetPixels(5, 1), c.got);
        EXPECT_EQ(image.GetPixels(4, 1), 0);
        image.SetPixels(9, 1, c.set);
        image.SetPixels(-1, 0, c.set);
        EXPECT_EQ(image.GetPixels(9, 1), 0);
        EXPECT_EQ(image.GetPixels(0, 3), 0);
    }
}

TEST(PngResize, PlanesStayAnchoredTopLeftAndNewAreaIsOpaqueBlack) {
    TPNGObject image(COLOR_RGBALPHA, 8, 4, 3);
    image.SetPixels(1, 0, 0x0000FF);
    image.SetPixels(3, 2, 0x00FF00);
    image.GetAlphaScanline(0)[1] = 77;
    image.GetAlphaScanline(2)[3] = 99;
    image.Resize(6, 5);
    EXPECT_EQ(image.GetWidth(), 6);
    EXPECT_EQ(image.GetHeight(), 5);
    EXPECT_EQ(image.GetPixels(1, 0), 0x0000FF);
    EXPECT_EQ(image.GetPixels(3, 2), 0x00FF00);
    EXPECT_EQ(image.GetAlphaScanline(0)[1], 77);
    EXPECT_EQ(image.GetAlphaScanline(2)[3], 99);
    for (auto [x, y] : {std::pair{5, 0}, {0, 4}, {5, 4}}) {
        EXPECT_EQ(image.GetPixels(x, y), 0) << x << "," << y;
        EXPECT_EQ(image.GetAlphaScanline(y)[x], 255) << x << "," << y;
    }
    image.Resize(2, 1);
    EXPECT_EQ(image.GetPixels(1, 0), 0x0000FF);
    EXPECT_EQ(image.GetAlphaScanline(0)[1], 77);

    TPNGObject grey;
    LoadFile(grey, SuiteFile("basn0g16"));
    const uint8_t low = grey.GetExtraScanline(1)[2];
    const TColor pixel = grey.GetPixels(2, 1);
    grey.Resize(40, 20);
    EXPECT_EQ(grey.GetExtraScanline(1)[2], low);
    EXPECT_EQ(grey.GetPixels(2, 1), pixel);

    EXPECT_EQ(idOfThrown<EPNGInvalidNewSize>([&] { image.Resize(0, 10); }), 65193);
    EXPECT_EQ(idOfThrown<EPNGInvalidNewSize>([&] { image.Resize(10, 0); }), 65193);
}

TEST(PngTransparency, TransparentColourOperations) {
    TPNGObject rgb(COLOR_RGB, 8, 2, 2);
    EXPECT_EQ(rgb.GetTransparencyMode(), ptmNone);
    rgb.SetTransparentColor(0x336699);
    EXPECT_EQ(rgb.GetTransparencyMode(), ptmBit);
    EXPECT_EQ(rgb.GetTransparentColor(), 0x336699);
    // The colour survives a save.
    TPNGObject back;
    std::istringstream in(Saved(rgb));
    back.LoadFromStream(in);
    EXPECT_EQ(back.GetTransparentColor(), 0x336699);

    TPNGObject pal(COLOR_PALETTE, 8, 2, 2);
    const TRGBQuad q = pal.Header()->BitmapInfo.bmiColors[7];
    const TColor entry7 = TColor(q.rgbRed | q.rgbGreen << 8 | q.rgbBlue << 16);
    pal.SetTransparentColor(entry7);
    EXPECT_EQ(pal.GetTransparencyMode(), ptmBit);
    EXPECT_EQ(pal.GetTransparentColor(), entry7);
    EXPECT_EQ(pal.Chunks.FindChunk<TChunktRNS>()->DataSize(), 8u);
    pal.RemoveTransparency();
    EXPECT_EQ(pal.Chunks.FindChunk<TChunktRNS>(), nullptr);
    pal.CreateAlpha();
    EXPECT_EQ(pal.GetTransparencyMode(), ptmPartial);
    EXPECT_EQ(pal.Chunks.FindChunk<TChunktRNS>()->DataSize(), 256u);

    TPNGObject rgba(COLOR_RGBALPHA, 8, 2, 2);
    EXPECT_EQ(idOfThrown<EPNGCannotChangeTransparent>([&] { rgba.SetTransparentColor(0); }), 65191);
    rgba.RemoveTransparency();
    EXPECT_EQ(rgba.Header()->ColorType(), COLOR_RGB);
    EXPECT_EQ(rgba.GetAlphaScanline(0), nullptr);
    EXPECT_EQ(rgba.GetTransparencyMode(), ptmNone);
}

TEST(PngTransparency, CreateAlphaMakesAnOpaquePlaneAndRefusesNarrowGrey) {
    TPNGObject rgb(COLOR_RGB, 8, 3, 2);
    rgb.SetTransparentColor(0x010203);
    rgb.CreateAlpha();
    EXPECT_EQ(rgb.Header()->ColorType(), COLOR_RGBALPHA);
    EXPECT_EQ(rgb.Chunks.FindChunk<TChunktRNS>(), nullptr);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(rgb.GetAlphaScanline(y)[x], 255);
    TPNGObject grey4(COLOR_GRAYSCALE, 4, 3, 2);
    EXPECT_EQ(idOfThrown<EPNGInvalidSpec>([&] { grey4.CreateAlpha(); }), 65194);
    EXPECT_EQ(grey4.Header()->ColorType(), COLOR_GRAYSCALE);
    TPNGObject grey8(COLOR_GRAYSCALE, 8, 3, 2);
    grey8.CreateAlpha();
    // A grey + alpha image that saves and loads like any other.
    TPNGObject back;
    std::istringstream in(Saved(grey8));
    back.LoadFromStream(in);
    EXPECT_EQ(back.Header()->ColorType(), COLOR_GRAYSCALEALPHA);
    EXPECT_EQ(back.GetAlphaScanline(1)[2], 255);
}

TEST(PngPalette, EntriesPastThePaletteAreRefused) {
    TPNGObject image;
    LoadFile(image, SuiteFile("basn3p01"));  // two entries
    const TChunkPLTE* plte = image.Chunks.FindChunk<TChunkPLTE>();
    EXPECT_NO_THROW(plte->GetPaletteItem(1));
    EXPECT_EQ(idOfThrown<EPngError>([&] { plte->GetPaletteItem(2); }), 65211);
}

TEST(PngPixelInformation, AddedAfterTheHeaderInMetres) {
    TPNGObject image(COLOR_RGB, 8, 2, 2);
    EXPECT_FALSE(image.HasPixelInformation());
    TChunkpHYs* p = image.GetPixelInformation();
    EXPECT_EQ(p->UnitType, utMeter);
    EXPECT_EQ(p->GetIndex(), 1);
    EXPECT_EQ(image.GetPixelInformation(), p);
}

TEST(PngAssign, ACopySavesTheSameFile) {
    for (const char* name : {"basn3p04", "basn6a16", "basi2c08", "ctzn0g04", "tbbn3p08"}) {
        TPNGObject image;
        LoadFile(image, SuiteFile(name));
        image.CompressionLevel = 3;
        TPNGObject copy;
        copy.AssignPNG(image);
        EXPECT_EQ(copy.CompressionLevel, 3);
        EXPECT_TRUE(Saved(copy) == Saved(image)) << name;
        EXPECT_EQ(typesOf(copy), typesOf(image)) << name;
    }
    TChunkPLTE plte(nullptr);
    TChunktEXt text(nullptr);
    EXPECT_EQ(idOfThrown<EPngError>([&] { plte.Assign(text); }), 65184);
}
