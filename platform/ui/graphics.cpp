#include "platform/ui/graphics.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <iterator>
#include <mutex>
#include <sstream>

#include "platform/rtl/fileio.h"
#include "platform/rtl/sysutils.h"
#include "platform/ui/textmap.h"

namespace ui {

using detail::Q;
using detail::S;

namespace {

// The classic scheme's system colours, by index.
constexpr std::array<TColor, 31> kSystemColors = {
    RGB(212, 208, 200), RGB(58, 110, 165), RGB(10, 36, 106),  RGB(128, 128, 128), RGB(212, 208, 200),
    RGB(255, 255, 255), RGB(0, 0, 0),      RGB(0, 0, 0),      RGB(0, 0, 0),       RGB(255, 255, 255),
    RGB(212, 208, 200), RGB(212, 208, 200), RGB(128, 128, 128), RGB(10, 36, 106),  RGB(255, 255, 255),
    RGB(212, 208, 200), RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),      RGB(212, 208, 200),
    RGB(255, 255, 255), RGB(64, 64, 64),   RGB(212, 208, 200), RGB(0, 0, 0),      RGB(255, 255, 225),
    RGB(181, 181, 181), RGB(0, 0, 128),    RGB(166, 202, 240), RGB(192, 192, 192), RGB(49, 106, 197),
    RGB(236, 233, 216)};

QColor qcolor(TColor c) {
    const TColor rgb = ColorToRGB(c);
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

TColor fromQRgb(QRgb p) { return RGB(qRed(p), qGreen(p), qBlue(p)); }

int checkedDimension(int v, const char* what) {
    if (v < 0 || v > 65535) throw EInvalidGraphicOperation(std::string("Invalid bitmap ") + what + " " + rtl::IntToStr(v));
    return v;
}

QImage::Format qformat(TPixelFormat f) {
    switch (f) {
        case pf1bit: return QImage::Format_Mono;
        case pf8bit: return QImage::Format_Indexed8;
        case pf32bit: return QImage::Format_ARGB32;
        default: return QImage::Format_BGR888;
    }
}

std::string readAll(std::istream& stream) {
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

std::string lowerExt(const std::string& fileName) {
    std::string ext = rtl::ExtractFileExt(fileName);
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    return rtl::LowerCase(ext);
}

// One row of a device-independent bitmap as 0xAARRGGBB pixels.
void dibRow(const TDibHeader& h, const uint8_t* row, QRgb* out) {
    auto palette = [&](unsigned i) -> QRgb {
        return i < h.Colors.size() ? (0xFF000000u | h.Colors[i]) : 0xFF000000u;
    };
    for (int x = 0; x < h.Width; ++x) {
        switch (h.BitCount) {
            case 1: out[x] = palette((row[x >> 3] >> (7 - (x & 7))) & 1); break;
            case 4: out[x] = palette((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15); break;
            case 8: out[x] = palette(row[x]); break;
            case 24: out[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]); break;
            default: out[x] = qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]); break;
        }
    }
}

}  // namespace

TColor ColorToRGB(TColor color) {
    if ((color & clSystemColor) == clSystemColor) {
        const size_t i = static_cast<size_t>(color & 0xFF);
        return i < kSystemColors.size() ? kSystemColors[i] : clBlack;
    }
    return color & 0x00FFFFFF;
}

// ---------------------------------------------------------------- TFont

TFont::TFont() = default;

void TFont::changed() {
    if (OnChange) OnChange(this);
}

void TFont::setName(std::string v) {
    if (v == name_) return;
    name_ = std::move(v);
    changed();
}

void TFont::setSize(int v) {
    if (v == size_) return;
    size_ = v;
    changed();
}

int TFont::getHeight() const { return -static_cast<int>(std::lround(size_ * double(kPixelsPerInch) / 72.0)); }

void TFont::setHeight(int v) {
    setSize(static_cast<int>(std::lround(std::abs(v) * 72.0 / kPixelsPerInch)));
}

void TFont::setColor(TColor v) {
    if (v == color_) return;
    color_ = v;
    changed();
}

void TFont::setStyle(TFontStyles v) {
    if (v == style_) return;
    style_ = v;
    changed();
}

void TFont::Assign(const TFont& source) {
    if (&source == this) return;
    name_ = source.name_;
    size_ = source.size_;
    color_ = source.color_;
    style_ = source.style_;
    changed();
}

QFont TFont::ToQFont() const {
    QFont f(Q(name_));
    if (size_ > 0) f.setPointSize(size_);
    f.setBold(style_ & fsBold);
    f.setItalic(style_ & fsItalic);
    f.setUnderline(style_ & fsUnderline);
    f.setStrikeOut(style_ & fsStrikeOut);
    return f;
}

void TFont::AssignQFont(const QFont& font) {
    name_ = S(font.family());
    size_ = font.pointSize() > 0 ? font.pointSize() : static_cast<int>(std::lround(font.pixelSize() * 72.0 / kPixelsPerInch));
    style_ = (font.bold() ? fsBold : 0u) | (font.italic() ? fsItalic : 0u) | (font.underline() ? fsUnderline : 0u) |
             (font.strikeOut() ? fsStrikeOut : 0u);
    changed();
}

// -------------------------------------------------------------- TCanvas

TCanvas::TCanvas() = default;
TCanvas::~TCanvas() = default;

void TCanvas::AttachImage(QImage* image) {
    image_ = image;
    painter_ = nullptr;
}

void TCanvas::AttachPainter(QPainter* painter) {
    painter_ = painter;
    image_ = nullptr;
}

void TCanvas::Detach() {
    image_ = nullptr;
    painter_ = nullptr;
}

template <class F>
void TCanvas::paint(F&& f) {
    if (painter_) {
        painter_->save();
        f(*painter_);
        painter_->restore();
    } else if (image_ && !image_->isNull()) {
        if (image_->format() == QImage::Format_Indexed8 || image_->format() == QImage::Format_Mono)
            throw EInvalidGraphicOperation("Cannot draw on a bitmap with a colour table");
        QPainter p(image_);
        f(p);
    }
}

int TCanvas::TextWidth(const std::string& text) const {
    return QFontMetrics(font_.ToQFont()).horizontalAdvance(Q(text));
}

int TCanvas::TextHeight(const std::string& text) const {
    return QFontMetrics(font_.ToQFont()).boundingRect(Q(text)).height();
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
    paint([&](QPainter& p) {
        p.setFont(font_.ToQFont());
        const QFontMetrics m(p.font());
        const QRect r(x, y, m.horizontalAdvance(Q(text)), m.height());
        if (brush_.Style() == bsSolid) p.fillRect(r, qcolor(brush_.Color));
        p.setPen(qcolor(font_.Color));
        p.drawText(r, Qt::AlignLeft | Qt::AlignTop, Q(text));
    });
}

void TCanvas::FillRect(const TRect& r) {
    paint([&](QPainter& p) { p.fillRect(QRect(r.Left, r.Top, r.Width(), r.Height()), qcolor(brush_.Color)); });
}

void TCanvas::Rectangle(const TRect& r) {
    paint([&](QPainter& p) {
        p.setPen(QPen(qcolor(pen_.Color), pen_.Width));
        if (brush_.Style() == bsSolid) p.setBrush(qcolor(brush_.Color));
        else p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1));
    });
}

void TCanvas::MoveTo(int x, int y) { penPos_ = {x, y}; }

void TCanvas::LineTo(int x, int y) {
    paint([&](QPainter& p) {
        p.setPen(QPen(qcolor(pen_.Color), pen_.Width));
        p.drawLine(penPos_.X, penPos_.Y, x, y);
    });
    penPos_ = {x, y};
}

TColor TCanvas::GetPixel(int x, int y) const {
    if (!image_ || !image_->valid(x, y)) return clNone;
    return fromQRgb(image_->pixel(x, y));
}

void TCanvas::SetPixel(int x, int y, TColor color) {
    if (image_ && image_->valid(x, y) && image_->format() != QImage::Format_Indexed8 &&
        image_->format() != QImage::Format_Mono) {
        image_->setPixel(x, y, qcolor(color).rgb());
        return;
    }
    paint([&](QPainter& p) {
        p.setPen(qcolor(color));
        p.drawPoint(x, y);
    });
}

void TCanvas::Draw(int x, int y, TGraphic& graphic) {
    graphic.Draw(*this, Rect(x, y, x + graphic.GetWidth(), y + graphic.GetHeight()));
}

void TCanvas::StretchDraw(const TRect& rect, TGraphic& graphic) { graphic.Draw(*this, rect); }

void TCanvas::StretchDIBits(const TRect& dest, const TDibHeader& h, const uint8_t* bits) {
    if (!bits || h.Width <= 0 || h.Height == 0) return;
    static const std::array<int, 5> kDepths = {1, 4, 8, 24, 32};
    if (std::find(kDepths.begin(), kDepths.end(), h.BitCount) == kDepths.end())
        throw EInvalidGraphicOperation("Unsupported bit count " + rtl::IntToStr(h.BitCount));
    const int rows = std::abs(h.Height);
    const size_t stride = ((static_cast<size_t>(h.BitCount) * h.Width + 31) / 32) * 4;
    QImage img(h.Width, rows, QImage::Format_ARGB32);
    for (int y = 0; y < rows; ++y) {
        const int stored = h.Height > 0 ? rows - 1 - y : y;
        dibRow(h, bits + stride * stored, reinterpret_cast<QRgb*>(img.scanLine(y)));
    }
    paint([&](QPainter& p) { p.drawImage(QRect(dest.Left, dest.Top, dest.Width(), dest.Height()), img); });
}

void TCanvas::DrawARGB(const TRect& dest, int width, int height, const uint32_t* pixels) {
    if (!pixels || width <= 0 || height <= 0) return;
    QImage img(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        std::memcpy(img.scanLine(y), pixels + static_cast<size_t>(y) * width, static_cast<size_t>(width) * 4);
    paint([&](QPainter& p) {
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        p.drawImage(QRect(dest.Left, dest.Top, dest.Width(), dest.Height()), img);
    });
}

// ------------------------------------------------------------- TGraphic

TGraphic::TGraphic() = default;

void TGraphic::Changed() {
    if (OnChange) OnChange(this);
}

void TGraphic::SetWidth(int) {
    throw EInvalidGraphicOperation(std::string("Cannot change the size of a ") + ClassName());
}

void TGraphic::SetHeight(int value) { SetWidth(value); }

void TGraphic::SetTransparent(bool value) {
    if (value == transparent_) return;
    transparent_ = value;
    Changed();
}

namespace {

// Only a regular file is loaded: a pipe would hold the window for ever.
void openForLoading(const rtl::TFileReadStream& in, const std::string& fileName) {
    if (!in.IsOpen()) throw rtl::EInOutError("Cannot open file \"" + fileName + "\". " + in.Failure().Text());
}

}  // namespace

void TGraphic::LoadFromFile(const std::string& fileName) {
    rtl::TFileReadStream in(fileName);
    openForLoading(in, fileName);
    LoadFromStream(in);
}

void TGraphic::LoadPreviewFromStream(std::istream& stream, int) { LoadFromStream(stream); }

void TGraphic::LoadPreviewFromFile(const std::string& fileName, int size) {
    rtl::TFileReadStream in(fileName);
    openForLoading(in, fileName);
    LoadPreviewFromStream(in, size);
}

void TGraphic::SaveToFile(const std::string& fileName) {
    // A new picture's mode is left to the umask.
    rtl::TFileReplaceStream out(fileName, 0666);
    if (!out.IsOpen()) throw rtl::EInOutError("Cannot create file \"" + fileName + "\". " + out.Failure().Text());
    SaveToStream(out);
    if (!out.Commit()) throw rtl::EInOutError("Cannot write file \"" + fileName + "\". " + out.Failure().Text());
}

void TGraphic::Assign(const TGraphic& source) {
    if (&source == this) return;
    if (std::strcmp(source.ClassName(), ClassName()) == 0) {
        std::stringstream s;
        const_cast<TGraphic&>(source).SaveToStream(s);
        s.seekg(0);
        LoadFromStream(s);
        SetTransparent(source.GetTransparent());
        return;
    }
    source.AssignTo(*this);
}

void TGraphic::AssignTo(TGraphic& dest) const {
    throw EInvalidGraphicOperation(std::string("Cannot assign a ") + ClassName() + " to a " + dest.ClassName());
}

// ------------------------------------------------------- TRasterGraphic

TRasterGraphic::TRasterGraphic(const char* format) : image_(std::make_unique<QImage>()), format_(format) {}
TRasterGraphic::~TRasterGraphic() = default;

bool TRasterGraphic::GetEmpty() const { return image_->isNull(); }
int TRasterGraphic::GetWidth() const { return image_->width(); }
int TRasterGraphic::GetHeight() const { return image_->height(); }

void TRasterGraphic::SetImage(const QImage& image) {
    *image_ = image;
    Changed();
}

void TRasterGraphic::LoadFromStream(std::istream& stream) {
    QByteArray data = QByteArray::fromStdString(readAll(stream));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format_);
    reader.setDecideFormatFromContent(true);
    QImage img = reader.read();
    if (img.isNull()) throw EInvalidGraphic(std::string("Cannot read the picture: ") + S(reader.errorString()));
    SetImage(img);
}

void TRasterGraphic::SaveToStream(std::ostream& stream) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format_);
    if (!writer.write(*image_)) throw EInvalidGraphic(std::string("Cannot write the picture: ") + S(writer.errorString()));
    stream.write(data.constData(), data.size());
}

void TRasterGraphic::Draw(TCanvas& canvas, const TRect& rect) {
    if (GetEmpty()) return;
    canvas.DrawARGB(rect, GetWidth(), GetHeight(),
                    reinterpret_cast<const uint32_t*>(image_->convertToFormat(QImage::Format_ARGB32).constBits()));
}

void TRasterGraphic::Assign(const TGraphic& source) {
    if (auto* raster = dynamic_cast<const TRasterGraphic*>(&source)) {
        if (raster != this) SetImage(raster->Image());
        return;
    }
    TGraphic::Assign(source);
}

// -------------------------------------------------------------- TBitmap

TBitmap::TBitmap() : TRasterGraphic("bmp") {}
TBitmap::~TBitmap() = default;

TCanvas* TBitmap::Canvas() {
    if (!canvas_) {
        canvas_ = std::make_unique<TCanvas>();
        canvas_->AttachImage(image_.get());
    }
    return canvas_.get();
}

void TBitmap::SetSize(int width, int height) {
    checkedDimension(width, "width");
    checkedDimension(height, "height");
    if (width == GetWidth() && height == GetHeight()) return;
    QImage img(width, height, qformat(pixelFormat_));
    if (img.format() == QImage::Format_Indexed8 || img.format() == QImage::Format_Mono) {
        img.setColorCount(img.format() == QImage::Format_Mono ? 2 : 256);
        for (int i = 0; i < img.colorCount(); ++i) {
            const int v = img.colorCount() == 2 ? i * 255 : i;
            img.setColor(i, qRgb(v, v, v));
        }
        img.fill(img.colorCount() - 1);
    } else {
        img.fill(Qt::white);
    }
    SetImage(img);
}

void TBitmap::setPixelFormat(TPixelFormat v) {
    if (v == pixelFormat_) return;
    pixelFormat_ = v;
    if (!GetEmpty()) SetImage(image_->convertToFormat(qformat(v)));
}

uint8_t* TBitmap::ScanLine(int y) {
    if (y < 0 || y >= GetHeight()) throw EInvalidGraphicOperation("Scan line index out of range");
    Changed();
    return image_->scanLine(y);
}

TColor TBitmap::getTransparentColor() const {
    if (transparentColor_ != clDefault || GetEmpty()) return transparentColor_;
    return fromQRgb(image_->pixel(0, GetHeight() - 1));
}

void TBitmap::Draw(TCanvas& canvas, const TRect& rect) {
    if (GetEmpty()) return;
    QImage img = image_->convertToFormat(QImage::Format_ARGB32);
    if (GetTransparent()) {
        const QRgb key = qcolor(getTransparentColor()).rgb() & 0x00FFFFFF;
        for (int y = 0; y < img.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < img.width(); ++x)
                if ((row[x] & 0x00FFFFFF) == key) row[x] = 0;
        }
    }
    canvas.DrawARGB(rect, img.width(), img.height(), reinterpret_cast<const uint32_t*>(img.constBits()));
}

// ------------------------------------------------------------- TPicture

namespace {

struct Registry {
    std::mutex lock;
    std::vector<TPicture::TFileFormat> formats;
};

Registry& registry() {
    static Registry* r = [] {
        auto* reg = new Registry;  // lives as long as the process: later units unregister at their end
        reg->formats = {{"bmp", "Bitmaps", GraphicClassOf<TBitmap>()},
                        {"jpg", "JPEG Image File", GraphicClassOf<TJPEGImage>()},
                        {"jpeg", "JPEG Image File", GraphicClassOf<TJPEGImage>()},
                        {"ico", "Icons", GraphicClassOf<TIcon>()}};
        return reg;
    }();
    return *r;
}

std::string bareExt(const std::string& extension) {
    std::string e = rtl::LowerCase(extension);
    if (!e.empty() && e[0] == '.') e.erase(0, 1);
    return e;
}

}  // namespace

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description,
                                  TGraphicClass graphicClass) {
    if (!graphicClass) throw EInvalidGraphic("No graphic class to register for ." + extension);
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    const std::string ext = bareExt(extension);
    std::erase_if(r.formats, [&](const TFileFormat& f) { return f.Extension == ext; });
    r.formats.push_back({ext, description, graphicClass});
}

void TPicture::UnregisterGraphicClass(TGraphicClass graphicClass) {
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    std::erase_if(r.formats, [&](const TFileFormat& f) { return f.GraphicClass == graphicClass; });
}

TGraphicClass TPicture::FindGraphicClass(const std::string& extension) {
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    const std::string ext = bareExt(extension);
    for (const TFileFormat& f : r.formats)
        if (f.Extension == ext) return f.GraphicClass;
    return nullptr;
}

std::vector<TPicture::TFileFormat> TPicture::FileFormats() {
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    return r.formats;
}

std::string TPicture::GraphicFilter(TGraphicClass graphicClass) {
    std::string all, each;
    for (const TFileFormat& f : FileFormats()) {
        if (graphicClass && f.GraphicClass != graphicClass) continue;
        const std::string mask = "*." + f.Extension;
        all += (all.empty() ? "" : ";") + mask;
        each += "|" + f.Description + " (" + mask + ")|" + mask;
    }
    if (graphicClass) return each.empty() ? std::string() : each.substr(1);
    return "All (" + all + ")|" + all + each;
}

void TPicture::LoadFromFile(const std::string& fileName, int previewSize) {
    const std::string ext = lowerExt(fileName);
    TGraphicClass cls = FindGraphicClass(ext);
    if (!cls) throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
    std::unique_ptr<TGraphic> g = cls->Create();
    if (previewSize > 0) g->LoadPreviewFromFile(fileName, previewSize);
    else g->LoadFromFile(fileName);
    graphic_ = std::move(g);
}

void TPicture::SaveToFile(const std::string& fileName) {
    if (graphic_) graphic_->SaveToFile(fileName);
}

int TPicture::Width() const { return graphic_ ? graphic_->GetWidth() : 0; }
int TPicture::Height() const { return graphic_ ? graphic_->GetHeight() : 0; }

}  // namespace ui
