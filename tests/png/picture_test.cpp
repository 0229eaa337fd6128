// The picture over the windowing library: drawing the three transparency
// modes into an image canvas, the registry, bitmaps, clipboard, resources.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>

#include <sstream>

#include "platform/ui/dialogs.h"
#include "png/pngpicture.h"
#include "png_test_util.h"

using namespace png;
using namespace pngtest;

namespace {

// A canvas whose every pixel differs, so a blend that ignores the target shows.
struct Surface {
    QImage image{10, 9, QImage::Format_RGB32};
    ui::TCanvas canvas;
    Surface() {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 25, y * 28, 200 - x * 7 - y * 5));
        canvas.AttachImage(&image);
    }
    QRgb before(int x, int y) const { return qRgb(x * 25, y * 28, 200 - x * 7 - y * 5); }
};

int blend(int a, int s, int d) { return (a * s + (255 - a) * d + 255) / 256; }

QRgb blendOver(int a, int r, int g, int b, QRgb d) {
    return qRgb(blend(a, r, qRed(d)), blend(a, g, qGreen(d)), blend(a, b, qBlue(d)));
}

// Draws at (1, 2) at the given scale and checks every pixel of the surface
// against Expected(source x, source y, pixel before).
template <class F>
void expectDrawn(TPNGPicture& pic, int scale, F expected) {
    Surface s;
    const int w = pic.GetWidth() * scale, h = pic.GetHeight() * scale;
    pic.Draw(s.canvas, ui::Rect(1, 2, 1 + w, 2 + h));
    for (int y = 0; y < s.image.height(); ++y)
        for (int x = 0; x < s.image.width(); ++x) {
            const bool inside = x >= 1 && x < 1 + w && y >= 2 && y < 2 + h;
            const QRgb want = inside ? expected((x - 1) / scale, (y - 2) / scale, s.before(x, y)) : s.before(x, y);
            ASSERT_EQ(s.image.pixel(x, y) & 0xFFFFFF, want & 0xFFFFFF)
                << "scale " << scale << " at " << x << "," << y;
        }
}

}  // namespace

TEST(PngDraw, AlphaBlendsByTheRuleAtOneAndTwoTimes) {
    TPNGPicture pic;
    pic.Png.AssignPNG(TPNGObject(COLOR_RGBALPHA, 8, 3, 2));
    const int alphas[6] = {0, 128, 255, 64, 1, 254};
    for (int i = 0; i < 6; ++i) {
        pic.Png.SetPixels(i % 3, i / 3, ui::RGB(40 * i, 250 - 30 * i, 17 * i));
        pic.Png.GetAlphaScanline(i / 3)[i % 3] = uint8_t(alphas[i]);
    }
    ASSERT_EQ(pic.Png.GetTransparencyMode(), ptmPartial);
    for (int scale : {1, 2})
        expectDrawn(pic, scale, [&](int sx, int sy, QRgb d) {
            const int i = sy * 3 + sx;
            return blendOver(alphas[i], 40 * i, 250 - 30 * i, 17 * i, d);
        });
}

TEST(PngDraw, GreyAlphaBlendsTheSampleEvenWhenOpaque) {
    TPNGPicture pic;
    pic.Png.AssignPNG(TPNGObject(COLOR_GRAYSCALEALPHA, 8, 2, 2));
    const int alphas[4] = {255, 0, 100, 200};
    for (int i = 0; i < 4; ++i) {
        pic.Png.GetScanline(i / 2)[i % 2] = uint8_t(60 * i + 10);
        pic.Png.GetAlphaScanline(i / 2)[i % 2] = uint8_t(alphas[i]);
    }
    for (int scale : {1, 2})
        expectDrawn(pic, scale, [&](int sx, int sy, QRgb d) {
            const int i = sy * 2 + sx, g = 60 * i + 10;
            return blendOver(alphas[i], g, g, g, d);
        });
}

TEST(PngDraw, PaletteTransparencyBlendsAndIndicesPastThePaletteAreBlack) {
    TPNGPicture pic;
    LoadFile(pic.Png, SuiteFile("basn3p08"));  // 32 x 32, 256 entries
    pic.Png.Resize(2, 2);
    pic.Png.CreateAlpha();
    TChunktRNS* trns = pic.Png.Chunks.FindChunk<TChunktRNS>();
    const uint8_t idx[4] = {3, 4, 5, 250};
    trns->PaletteValues[3] = 0;
    trns->PaletteValues[4] = 90;
    trns->PaletteValues[250] = 180;
    for (int i = 0; i < 4; ++i) pic.Png.GetScanline(i / 2)[i % 2] = idx[i];
    pic.Png.Chunks.FindChunk<TChunkPLTE>()->Count = 200;  // 250 lies past it
    ASSERT_EQ(pic.Png.GetTransparencyMode(), ptmPartial);
    // The entries show through the file's gamma.
    const TRGBQuad* table = pic.Png.Header()->BitmapInfo.bmiColors;
    const uint8_t* g = pic.Png.GammaTable;
    ASSERT_NE(g[100], 100);
    for (int scale : {1, 2})
        expectDrawn(pic, scale, [&](int sx, int sy, QRgb d) {
            const int i = idx[sy * 2 + sx];
            const TRGBQuad q = i < 200 ? table[i] : TRGBQuad();
            return blendOver(trns->PaletteValues[i], g[q.rgbRed], g[q.rgbGreen], g[q.rgbBlue], d);
        });
    // Without its palette the image cannot be drawn.
    pic.Png.Chunks.RemoveChunk(pic.Png.Chunks.FindChunk<TChunkPLTE>());
    Surface s;
    EXPECT_THROW(pic.Draw(s.canvas, ui::Rect(0, 0, 2, 2)), EPNGMissingPalette);
}

// Red at alpha 128, opaque black and blue past the tRNS entries: each
// entry is drawn by its own alpha (one entry below 255 is no transparent
// colour unless it is 0).
TEST(PngDraw, PaletteEntriesAreDrawnByTheirOwnAlpha) {
    TPNGPicture pic;
    pic.LoadFromFile(std::string(PNG_TEST_DIR) + "/../data/png/palette-alpha.png");
    ASSERT_EQ(pic.Png.GetTransparencyMode(), ptmPartial);
    const QRgb bands[3] = {qRgb(255, 0, 0), qRgb(0, 0, 0), qRgb(0, 0, 255)};
    const int alphas[3] = {128, 255, 255};
    for (int scale : {1, 2}) {
        QImage image(240 * scale, 160 * scale, QImage::Format_RGB32);
        image.fill(qRgb(250, 250, 200));
        ui::TCanvas canvas;
        canvas.AttachImage(&image);
        pic.Draw(canvas, ui::Rect(0, 0, 120 * scale, 80 * scale));
        for (int x = 0; x < 120 * scale; x += 7)
            for (int y : {0, 80 * scale - 1}) {
                const int band = x / scale * 3 / 120;
                const QRgb c = bands[band];
                ASSERT_EQ(image.pixel(x, y), blendOver(alphas[band], qRed(c), qGreen(c), qBlue(c), qRgb(250, 250, 200)))
                    << "scale " << scale << " at " << x << "," << y;
            }
    }
}

// The picture dialogs' preview of the same file, over their white.
TEST(PngDraw, PictureDialogPreviewShowsEachEntrysAlpha) {
    const std::unique_ptr<ui::TBitmap> preview =
        ui::TOpenPictureDialog::Preview(std::string(PNG_TEST_DIR) + "/../data/png/palette-alpha.png", 160);
    ASSERT_EQ(preview->GetWidth(), 120);
    ASSERT_EQ(preview->GetHeight(), 80);
    const QImage& image = preview->Image();
    EXPECT_EQ(image.pixel(10, 40) & 0xFFFFFF, qRgb(255, 127, 127) & 0xFFFFFF);
    EXPECT_EQ(image.pixel(60, 40) & 0xFFFFFF, 0u);
    EXPECT_EQ(image.pixel(110, 40) & 0xFFFFFF, qRgb(0, 0, 255) & 0xFFFFFF);
}

TEST(PngDraw, TransparentColourShowsTheBackgroundAtOneAndTwoTimes) {
    TPNGPicture pic;
    pic.Png.AssignPNG(TPNGObject(COLOR_RGB, 8, 3, 2));
    const ui::TColor key = ui::RGB(9, 99, 199);
    const ui::TColor colours[6] = {key, ui::RGB(1, 2, 3), ui::RGB(250, 0, 0), ui::RGB(9, 99, 198), key, 0};
    for (int i = 0; i < 6; ++i) pic.Png.SetPixels(i % 3, i / 3, colours[i]);
    pic.Png.SetTransparentColor(key);
    ASSERT_EQ(pic.Png.GetTransparencyMode(), ptmBit);
    for (int scale : {1, 2})
        expectDrawn(pic, scale, [&](int sx, int sy, QRgb d) {
            const ui::TColor c = colours[sy * 3 + sx];
            return c == key ? d : qRgb(ui::GetRValue(c), ui::GetGValue(c), ui::GetBValue(c));
        });
}

TEST(PngDraw, OpaqueImagesAreCopiedAtOneAndTwoTimes) {
    TPNGPicture pic;
    LoadFile(pic.Png, SuiteFile("basn3p02"));
    pic.Png.Resize(4, 3);
    ASSERT_EQ(pic.Png.GetTransparencyMode(), ptmNone);
    for (int scale : {1, 2})
        expectDrawn(pic, scale, [&](int sx, int sy, QRgb) {
            const ui::TColor c = pic.Png.GetPixels(sx, sy);
            return qRgb(ui::GetRValue(c), ui::GetGValue(c), ui::GetBValue(c));
        });
}

TEST(PngDraw, EmptyAndReversedRectangles) {
    TPNGPicture pic;
    pic.Png.AssignPNG(TPNGObject(COLOR_RGBALPHA, 8, 2, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            pic.Png.SetPixels(x, y, ui::clWhite);
            pic.Png.GetAlphaScanline(y)[x] = 255;
        }
    Surface zero;
    pic.Draw(zero.canvas, ui::Rect(3, 3, 3, 5));
    for (int y = 0; y < zero.image.height(); ++y)
        for (int x = 0; x < zero.image.width(); ++x) ASSERT_EQ(zero.image.pixel(x, y), zero.before(x, y));
    Surface reversed, forward;
    pic.Draw(reversed.canvas, ui::Rect(5, 6, 1, 2));
    pic.Draw(forward.canvas, ui::Rect(1, 2, 5, 6));
    EXPECT_TRUE(reversed.image == forward.image);
    EXPECT_EQ(forward.image.pixel(2, 3), qRgb(255, 255, 255));
    TPNGPicture empty;
    Surface untouched;
    empty.Draw(untouched.canvas, ui::Rect(0, 0, 4, 4));
    EXPECT_EQ(untouched.image.pixel(0, 0), untouched.before(0, 0));
}

TEST(PngDraw, PhysicalSizeFollowsTheResolutionAndIgnoresZero) {
    TPNGPicture pic;
    pic.Png.AssignPNG(TPNGObject(COLOR_RGB, 8, 40, 20));
    EXPECT_EQ(pic.PhysicalSize(96, 96), (ui::TPoint{40, 20}));
    TChunkpHYs* p = pic.Png.GetPixelInformation();
    p->PPUnitX = 7559;  // about 192 dots per inch
    p->PPUnitY = 3780;
    EXPECT_EQ(pic.PhysicalSize(192, 96), (ui::TPoint{40, 19}));
    EXPECT_EQ(pic.PhysicalSize(96, 96), (ui::TPoint{20, 19}));
    p->PPUnitX = 0;
    EXPECT_EQ(pic.PhysicalSize(96, 96), (ui::TPoint{40, 20}));
}

TEST(PngPictureFormat, RegisteredForPngFiles) {
    EXPECT_EQ(ui::TPicture::FindGraphicClass("png"), ui::GraphicClassOf<TPNGPicture>());
    EXPECT_NE(ui::TPicture::GraphicFilter().find("Portable Network Graphics (*.png)"), std::string::npos);
    ui::TPicture picture;
    picture.LoadFromFile(SuiteFile("basn6a08"));
    ASSERT_NE(dynamic_cast<TPNGPicture*>(picture.Graphic()), nullptr);
    EXPECT_EQ(picture.Width(), 32);
    EXPECT_TRUE(picture.Graphic()->GetTransparent());
}

TEST(PngPictureFormat, PreviewsAreDecodedScaledDown) {
    ui::TPicture picture;
    picture.LoadFromFile(SuiteFile("basn2c08"), 8);
    auto* png = dynamic_cast<TPNGPicture*>(picture.Graphic());
    ASSERT_NE(png, nullptr);
    EXPECT_TRUE(png->Png.IsPreview());
    EXPECT_EQ(picture.Width(), 8);
    picture.LoadFromFile(SuiteFile("basn2c08"));
    EXPECT_FALSE(dynamic_cast<TPNGPicture*>(picture.Graphic())->Png.IsPreview());
    EXPECT_EQ(picture.Width(), 32);
}

TEST(PngBitmaps, AssignToABitmapKeepsTheDepthAndColours) {
    const struct {
        const char* name;
        ui::TPixelFormat format;
    } cases[] = {{"basn3p01", ui::pf1bit}, {"basn3p04", ui::pf8bit}, {"basn3p08", ui::pf8bit},
                 {"basn2c08", ui::pf24bit}, {"basn0g08", ui::pf24bit}, {"basn6a08", ui::pf24bit}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TPNGPicture pic;
        LoadFile(pic.Png, SuiteFile(c.name));
        ui::TBitmap bitmap;
        bitmap.Assign(pic);
        EXPECT_EQ(bitmap.PixelFormat(), c.format);
        ASSERT_EQ(bitmap.GetWidth(), 32);
        if (pic.Png.GetTransparencyMode() == ptmPartial) continue;  // drawn over white
        for (int y = 0; y < 32; y += 5)
            for (int x = 0; x < 32; x += 3) {
                const ui::TColor want = pic.Png.GetPixels(x, y);
                const QRgb got = bitmap.Image().pixel(x, y);
                ASSERT_EQ(ui::RGB(qRed(got), qGreen(got), qBlue(got)), want) << x << "," << y;
            }
    }
    TPNGPicture keyed;
    LoadFile(keyed.Png, SuiteFile("tbrn2c08"));
    ui::TBitmap bitmap;
    keyed.AssignTo(bitmap);
    EXPECT_TRUE(bitmap.GetTransparent());
    EXPECT_EQ(bitmap.TransparentColor(), keyed.Png.GetTransparentColor());
}

TEST(PngBitmaps, ABitmapBecomesAnImageThatSaves) {
    for (ui::TPixelFormat format : {ui::pf24bit, ui::pf8bit, ui::pf1bit}) {
        QImage img(5, 3, QImage::Format_RGB888);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) img.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        ui::TBitmap bitmap;
        bitmap.SetImage(img);
        bitmap.PixelFormat = format;
        TPNGPicture pic;
        pic.Assign(bitmap);
        EXPECT_EQ(pic.Png.Header()->ColorType(), format == ui::pf24bit ? COLOR_RGB : COLOR_PALETTE);
        std::stringstream file;
        pic.SaveToStream(file);
        TPNGPicture back;
        back.LoadFromStream(file);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                ASSERT_EQ(back.Png.GetPixels(x, y), (x + y) % 2 ? 0xFFFFFF : 0) << format << " " << x << "," << y;
    }
    QImage img(2, 1, QImage::Format_RGB888);
    img.setPixel(0, 0, qRgb(10, 20, 30));
    img.setPixel(1, 0, qRgb(1, 2, 3));
    ui::TBitmap keyed;
    keyed.SetImage(img);
    keyed.Transparent = true;
    keyed.TransparentColor = ui::RGB(10, 20, 30);
    TPNGPicture pic;
    pic.Assign(keyed);
    EXPECT_EQ(pic.Png.GetTransparencyMode(), ptmBit);
    EXPECT_EQ(pic.Png.GetTransparentColor(), ui::RGB(10, 20, 30));
}

TEST(PngExchange, ClipboardCarriesThePixels) {
    TPNGPicture pic;
    LoadFile(pic.Png, SuiteFile("basn2c08"));
    pic.SaveToClipboardFormat();
    TPNGPicture back;
    back.LoadFromClipboardFormat();
    ASSERT_EQ(back.GetWidth(), 32);
    for (int y = 0; y < 32; y += 7)
        for (int x = 0; x < 32; x += 5) ASSERT_EQ(back.Png.GetPixels(x, y), pic.Png.GetPixels(x, y)) << x << "," << y;
}

TEST(PngExchange, ResourcesByNameAndNumber) {
    TPNGPicture pic;
    pic.LoadFromResourceID(7);
    EXPECT_EQ(pic.GetWidth(), 32);
    pic.LoadFromResourceName("pngtest/tiny");
    EXPECT_EQ(pic.GetWidth(), 32);
    try {
        pic.LoadFromResourceName("no such picture");
        ADD_FAILURE() << "loaded";
    } catch (const EPNGCouldNotLoadResource& e) {
        EXPECT_EQ(IdOf(e.Message), 65189);
    }
}
