// Colours, fonts, bitmaps and drawing raw pixel rows.
#include <gtest/gtest.h>

#include <QFont>
#include <sstream>

#include "platform/ui/graphics.h"
#include "tests/support/plants.h"

using namespace ui;

namespace {

std::unique_ptr<TBitmap> canvasOf(int w, int h, TColor fill) {
    auto b = std::make_unique<TBitmap>();
    b->PixelFormat = pf32bit;
    b->SetSize(w, h);
    b->Canvas()->Brush->Color = fill;
    b->Canvas()->FillRect(Rect(0, 0, w, h));
    return b;
}

TEST(Graphics, SystemColoursHaveFixedValues) {
    EXPECT_EQ(ColorToRGB(clBtnFace), RGB(212, 208, 200));
    EXPECT_EQ(ColorToRGB(clWindow), clWhite);
    EXPECT_EQ(ColorToRGB(clWindowText), clBlack);
    EXPECT_EQ(ColorToRGB(RGB(1, 2, 3)), RGB(1, 2, 3));
    EXPECT_EQ(GetBValue(RGB(10, 20, 30)), 30);
}

TEST(Graphics, FontHeightsAreNegativePixels) {
    TFont f;
    int changes = 0;
    f.OnChange = [&](rtl::TObject*) { ++changes; };
    struct Case {
        int size, height;
    } cases[] = {{8, -11}, {9, -12}, {12, -16}, {7, -9}};
    for (const Case& c : cases) {
        f.Size = c.size;
        EXPECT_EQ(f.Height, c.height);
        f.Height = c.height;
        EXPECT_EQ(f.Size, c.size);
    }
    f.Style = fsBold | fsItalic;
    EXPECT_TRUE(f.ToQFont().bold());
    // Sizes 9, 12 and 7 and the style changed it; 8 and the heights of the
    // same sizes did not.
    EXPECT_EQ(changes, 4);
}

TEST(Graphics, ScanLinesHoldBlueGreenRed) {
    TBitmap b;
    b.PixelFormat = pf24bit;
    b.SetSize(3, 2);
    b.Canvas()->Brush->Color = RGB(200, 100, 50);
    b.Canvas()->FillRect(Rect(0, 0, 3, 2));
    const uint8_t* row = b.ScanLine(1);
    EXPECT_EQ(row[0], 50);
    EXPECT_EQ(row[1], 100);
    EXPECT_EQ(row[2], 200);
    b.ScanLine(0)[3 * 2 + 2] = 0;  // pixel (2, 0) loses its red
    EXPECT_EQ(b.Canvas()->GetPixel(2, 0), RGB(0, 100, 50));
    EXPECT_THROW(b.ScanLine(2), EInvalidGraphicOperation);
    EXPECT_THROW(b.SetSize(70000, 1), EInvalidGraphicOperation);
}

TEST(Graphics, DeviceIndependentRowsOfEveryDepth) {
    TDibHeader h;
    h.Width = 2;
    h.Height = 2;  // bottom-up: the first stored row is the lowest
    h.Colors = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF};
    struct Case {
        int bits;
        std::vector<uint8_t> rows;  // each padded to 4 bytes
    } cases[] = {
        {8, {0, 1, 0, 0, 2, 3, 0, 0}},
        {4, {0x01, 0, 0, 0, 0x23, 0, 0, 0}},
        {1, {0x40, 0, 0, 0, 0x80, 0, 0, 0}},
        {24, {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0}},
    };
    for (Case& c : cases) {
        h.BitCount = c.bits;
        auto b = canvasOf(2, 2, clBlack);
        b->Canvas()->StretchDIBits(Rect(0, 0, 2, 2), h, c.rows.data());
        // Top row = second stored row.
        if (c.bits == 1) {
            EXPECT_EQ(b->Canvas()->GetPixel(0, 0), RGB(0, 255, 0)) << c.bits;
            EXPECT_EQ(b->Canvas()->GetPixel(1, 1), RGB(0, 255, 0)) << c.bits;
            EXPECT_EQ(b->Canvas()->GetPixel(0, 1), RGB(255, 0, 0)) << c.bits;
            continue;
        }
        EXPECT_EQ(b->Canvas()->GetPixel(0, 0), RGB(0, 0, 255)) << c.bits;
        EXPECT_EQ(b->Canvas()->GetPixel(1, 0), clWhite) << c.bits;
        EXPECT_EQ(b->Canvas()->GetPixel(0, 1), RGB(255, 0, 0)) << c.bits;
        EXPECT_EQ(b->Canvas()->GetPixel(1, 1), RGB(0, 255, 0)) << c.bits;
    }
}

TEST(Graphics, PartialTransparencyBlendsOverTheSurface) {
    auto b = canvasOf(2, 1, clWhite);
    const uint32_t pixels[] = {0x80FF0000, 0x00000000};  // half red, fully clear
    b->Canvas()->DrawARGB(Rect(0, 0, 2, 1), 2, 1, pixels);
    const TColor blended = b->Canvas()->GetPixel(0, 0);
    EXPECT_EQ(GetRValue(blended), 255);
    EXPECT_NEAR(GetGValue(blended), 127, 2);
    EXPECT_EQ(b->Canvas()->GetPixel(1, 0), clWhite);
}

TEST(Graphics, BitmapsRoundTripThroughStreamsAndAssign) {
    auto b = canvasOf(5, 4, RGB(10, 200, 30));
    std::stringstream bmp;
    b->SaveToStream(bmp);
    EXPECT_EQ(bmp.str().substr(0, 2), "BM");
    TBitmap copy;
    copy.LoadFromStream(bmp);
    EXPECT_EQ(copy.GetWidth(), 5);
    EXPECT_EQ(copy.Canvas()->GetPixel(4, 3), RGB(10, 200, 30));
    TJPEGImage jpeg;
    jpeg.Assign(copy);
    EXPECT_EQ(jpeg.Height, 4);
    std::stringstream junk("not a picture");
    EXPECT_THROW(copy.LoadFromStream(junk), EInvalidGraphic);
    EXPECT_THROW(copy.LoadFromFile("/nonexistent/x.bmp"), rtl::EInOutError);
}

// A picture is loaded only from a regular file (a link to one is followed),
// and saved never through a link nor into a pipe; a new one follows the umask.
TEST(Graphics, PictureFilesRefusePipesAndLinksWhereTheyAreWritten) {
    std::stringstream bmp;
    canvasOf(3, 2, RGB(10, 200, 30))->SaveToStream(bmp);
    testsupport::TPlantBed bed(bmp.str());
    const auto told = [](const char* lead) {
        return [lead](const std::string& n, const std::string& reason) {
            return std::string(lead) + " \"" + n + "\". " + reason;
        };
    };
    const std::vector<testsupport::TFileUse> savers = {
        {"save", [](const std::string& n) { canvasOf(3, 2, clRed)->SaveToFile(n); }, told("Cannot create file")},
    };
    testsupport::ExpectNoWritesThroughPlants(bed, savers, "picture.bmp");
    const auto expectVictim = [](const TBitmap& b) {
        if (b.GetWidth() != 3) throw std::runtime_error("not the victim");
    };
    const std::vector<testsupport::TFileUse> loaders = {
        {"load",
         [&](const std::string& n) {
             TBitmap b;
             b.LoadFromFile(n);
             expectVictim(b);
         },
         told("Cannot open file")},
        {"preview",
         [&](const std::string& n) {
             TBitmap b;
             b.LoadPreviewFromFile(n, 2);
             expectVictim(b);
         },
         told("Cannot open file")},
    };
    testsupport::ExpectReadsOfRegularFilesOnly(bed, loaders, "picture.bmp");
    const auto save = [](const std::string& n) { canvasOf(3, 2, RGB(10, 200, 30))->SaveToFile(n); };
    testsupport::ExpectModes(bed, {{"new picture", -1, save, 0644, bmp.str()}});
}

TEST(Graphics, TransparentBitmapsLeaveTheirKeyColourOut) {
    auto sprite = canvasOf(2, 1, clFuchsia);
    sprite->Canvas()->SetPixel(0, 0, clNavy);
    sprite->Transparent = true;
    sprite->TransparentColor = clFuchsia;
    auto target = canvasOf(2, 1, clWhite);
    target->Canvas()->Draw(0, 0, *sprite);
    EXPECT_EQ(target->Canvas()->GetPixel(0, 0), clNavy);
    EXPECT_EQ(target->Canvas()->GetPixel(1, 0), clWhite);
}

}  // namespace
