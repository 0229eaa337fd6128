#include "png/pngpicture.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>

#include <cstring>
#include <sstream>

namespace png {

namespace {

ui::TRect ordered(const ui::TRect& r) {
    return ui::Rect(std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
                    std::max(r.Top, r.Bottom));
}

// Our 0x00BBGGRR colours and Qt's 0xAARRGGBB pixels.
inline uint32_t argbOf(ui::TColor c) {
    return 0xFF000000u | uint32_t(ui::GetRValue(c)) << 16 | uint32_t(ui::GetGValue(c)) << 8 | ui::GetBValue(c);
}

}  // namespace

void TPNGPicture::SetWidth(int value) {
    Png.SetWidth(value);
    Changed();
}

void TPNGPicture::SetHeight(int value) {
    Png.SetHeight(value);
    Changed();
}

void TPNGPicture::LoadFromStream(std::istream& stream) {
    Png.LoadFromStream(stream);
    Changed();
}

void TPNGPicture::LoadPreviewFromStream(std::istream& stream, int size) {
    Png.LoadPreview(stream, size);
    Changed();
}

void TPNGPicture::SaveToStream(std::ostream& stream) { Png.SaveToStream(stream); }

void TPNGPicture::Paint(ui::TCanvas& canvas, const ui::TRect& rect) const {
    if (Png.GetEmpty()) return;
    // A transparent colour is alpha 0 or 255 per pixel, which the blend
    // leaves or copies exactly: one road for every transparent image.
    if (Png.GetTransparencyMode() != ptmNone) {
        DrawPartialTrans(canvas, rect);
        return;
    }
    const ui::TRect r = ordered(rect);
    if (r.Width() == 0 || r.Height() == 0) return;
    const std::vector<uint32_t> pixels = RenderImage(Png, r.Width(), r.Height());
    canvas.DrawARGB(r, r.Width(), r.Height(), pixels.data());
}

void TPNGPicture::DrawPartialTrans(ui::TCanvas& canvas, const ui::TRect& rect) const {
    const ui::TRect r = ordered(rect);
    const int w = r.Width(), h = r.Height();
    if (w == 0 || h == 0 || Png.GetEmpty()) return;
    // Blend exactly over what an image-backed canvas holds; where it cannot
    // be read (a widget's painter, or outside the surface) Qt blends.
    std::vector<uint32_t> target(size_t(w) * size_t(h));
    std::vector<bool> unread(target.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const ui::TColor c = canvas.GetPixel(r.Left + x, r.Top + y);
            const size_t i = size_t(y) * size_t(w) + size_t(x);
            unread[i] = c == ui::clNone;
            target[i] = unread[i] ? 0 : argbOf(c);
        }
    const std::vector<uint32_t> source = PartialSource(Png, w, h);
    BlendPixels(source.data(), target.data(), source.size());
    for (size_t i = 0; i < target.size(); ++i)
        if (unread[i]) target[i] = source[i];
    canvas.DrawARGB(r, w, h, target.data());
}

ui::TPoint TPNGPicture::PhysicalSize(double dpiX, double dpiY) const {
    ui::TPoint size{GetWidth(), GetHeight()};
    const TChunkpHYs* p = Png.Chunks.FindChunk<TChunkpHYs>();
    // A resolution of zero says nothing; the image's own size stands.
    if (!p || p->PPUnitX == 0 || p->PPUnitY == 0 || dpiX <= 0 || dpiY <= 0) return size;
    const double screenX = dpiX / 0.0254, screenY = dpiY / 0.0254;
    size.X = int(GetWidth() / (p->PPUnitX / screenX));
    size.Y = int(GetHeight() / (p->PPUnitY / screenY));
    return size;
}

void TPNGPicture::DrawUsingPixelInformation(ui::TCanvas& canvas, const ui::TPoint& point) {
    double dpiX = 96, dpiY = 96;
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        dpiX = s->logicalDotsPerInchX();
        dpiY = s->logicalDotsPerInchY();
    }
    const ui::TPoint size = PhysicalSize(dpiX, dpiY);
    Draw(canvas, ui::Rect(point.X, point.Y, point.X + size.X, point.Y + size.Y));
}

void TPNGPicture::Assign(const ui::TGraphic& source) {
    if (auto* p = dynamic_cast<const TPNGPicture*>(&source)) {
        Png.AssignPNG(p->Png);
    } else if (auto* b = dynamic_cast<const ui::TBitmap*>(&source)) {
        AssignHandle(*b, b->GetTransparent(), ui::ColorToRGB(b->TransparentColor()));
    } else {
        ui::TGraphic::Assign(source);
        return;
    }
    Changed();
}

void TPNGPicture::AssignTo(ui::TGraphic& dest) const {
    if (auto* p = dynamic_cast<TPNGPicture*>(&dest)) {
        p->Png.AssignPNG(Png);
        return;
    }
    auto* bitmap = dynamic_cast<ui::TBitmap*>(&dest);
    if (!bitmap || !Png.HeaderPresent()) {
        ui::TGraphic::AssignTo(dest);
        return;
    }
    const TChunkIHDR& h = *Png.Header();
    const TPNGTransparencyMode mode = Png.GetTransparencyMode();
    const int w = GetWidth(), ht = GetHeight();
    const bool rgb = h.ColorType() == COLOR_RGB || h.ColorType() == COLOR_RGBALPHA;
    if (mode == ptmPartial || rgb || (h.ColorType() == COLOR_GRAYSCALE && h.BitDepth() >= 8)) {
        bitmap->PixelFormat = ui::pf24bit;
        bitmap->SetSize(w, ht);
        Paint(*bitmap->Canvas(), ui::Rect(0, 0, w, ht));
    } else {
        // 1-bit images stay 1-bit; 2, 4 and 8-bit ones keep their indices
        // in 8 bits, the narrowest the bitmap has below 24.
        const bool mono = h.BitmapInfo.biBitCount == 1;
        QImage img(w, ht, mono ? QImage::Format_Mono : QImage::Format_Indexed8);
        const int colours = 1 << h.BitmapInfo.biBitCount;
        img.setColorCount(colours);
        const uint8_t* g = Png.GammaTable;
        for (int i = 0; i < colours; ++i) {
            const TRGBQuad& q = h.BitmapInfo.bmiColors[i];
            img.setColor(i, qRgb(g[q.rgbRed], g[q.rgbGreen], g[q.rgbBlue]));
        }
        for (int y = 0; y < ht; ++y) {
            const uint8_t* row = Png.GetScanline(y);
            uchar* out = img.scanLine(y);
            if (mono) std::memcpy(out, row, size_t((w + 7) / 8));
            else if (h.BitmapInfo.biBitCount == 4)
                for (int x = 0; x < w; ++x) out[x] = (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
            else std::memcpy(out, row, size_t(w));
        }
        bitmap->PixelFormat = mono ? ui::pf1bit : ui::pf8bit;
        bitmap->SetImage(img);
    }
    if (mode == ptmBit) {
        bitmap->TransparentColor = Png.GetTransparentColor();
        bitmap->Transparent = true;
    }
}

void TPNGPicture::AssignHandle(const ui::TBitmap& bitmap, bool transparent, ui::TColor color) {
    const QImage& src = bitmap.Image();
    Png.ClearChunks();
    if (src.isNull()) return;
    const bool indexed = src.depth() < 16;
    const QImage img = indexed ? (src.format() == QImage::Format_Mono ? src : src.convertToFormat(QImage::Format_Indexed8))
                               : src.convertToFormat(QImage::Format_RGB888);
    auto* h = static_cast<TChunkIHDR*>(Png.Chunks.Append(ChunkClassOf<TChunkIHDR>()->Create(&Png)));
    h->IHDRData.Width = uint32_t(img.width());
    h->IHDRData.Height = uint32_t(img.height());
    h->IHDRData.ColorType = indexed ? COLOR_PALETTE : COLOR_RGB;
    h->IHDRData.BitDepth = uint8_t(indexed ? img.depth() : 8);
    Png.InterlaceMethod = imNone;
    h->PrepareImageData();
    for (int y = 0; y < img.height(); ++y) {
        const uchar* in = img.constScanLine(y);
        uint8_t* out = Png.GetScanline(y);
        if (indexed) {
            std::memcpy(out, in, size_t((img.width() * img.depth() + 7) / 8));
        } else {
            for (int x = 0; x < img.width(); ++x) {
                out[3 * x] = in[3 * x + 2];
                out[3 * x + 1] = in[3 * x + 1];
                out[3 * x + 2] = in[3 * x];
            }
        }
    }
    if (indexed) {
        auto* plte = static_cast<TChunkPLTE*>(Png.Chunks.Append(ChunkClassOf<TChunkPLTE>()->Create(&Png)));
        plte->Count = 1 << img.depth();
        TPalette pal(size_t(plte->Count));
        const QVector<QRgb> table = img.colorTable();
        for (size_t i = 0; i < pal.size() && i < size_t(table.size()); ++i)
            pal[i] = {uint8_t(qRed(table[int(i)])), uint8_t(qGreen(table[int(i)])), uint8_t(qBlue(table[int(i)])), 0};
        h->PaletteToDIB(pal);
        Png.DoSetPalette(pal, false);
    }
    if (transparent) Png.Chunks.Append(ChunkClassOf<TChunktRNS>()->Create(&Png));
    Png.Chunks.Append(ChunkClassOf<TChunkIDAT>()->Create(&Png));
    Png.Chunks.Append(ChunkClassOf<TChunkIEND>()->Create(&Png));
    if (transparent) Png.Chunks.FindChunk<TChunktRNS>()->SetTransparentColor(color);
    Changed();
}

void TPNGPicture::SaveToClipboardFormat() const {
    ui::TBitmap bitmap;
    bitmap.PixelFormat = ui::pf24bit;
    bitmap.SetSize(GetWidth(), GetHeight());
    Paint(*bitmap.Canvas(), ui::Rect(0, 0, GetWidth(), GetHeight()));
    QGuiApplication::clipboard()->setImage(bitmap.Image());
}

void TPNGPicture::LoadFromClipboardFormat() {
    ui::TBitmap bitmap;
    bitmap.SetImage(QGuiApplication::clipboard()->image());
    AssignHandle(bitmap, false, 0);
}

void TPNGPicture::LoadFromResourceName(const std::string& name) {
    QFile f(QString::fromStdString(":/" + name));
    if (!f.open(QIODevice::ReadOnly)) throw EPNGCouldNotLoadResource(LoadResString(EPNGCouldNotLoadResourceText));
    const QByteArray bytes = f.readAll();
    std::istringstream in(bytes.toStdString());
    LoadFromStream(in);
}

void TPNGPicture::LoadFromResourceID(int id) { LoadFromResourceName(std::to_string(id)); }

void RegisterPictureFormat() {
    ui::TPicture::RegisterFileFormat("PNG", "Portable Network Graphics", ui::GraphicClassOf<TPNGPicture>());
}

namespace {
// Unit start: the picture is known by its extension from the first moment.
const bool registered = (RegisterPictureFormat(), true);
}  // namespace

}  // namespace png
