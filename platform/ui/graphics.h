#pragma once
// Colours, fonts, canvases, pictures and the picture-format registry.
// Colours are 0x00BBGGRR (red in the low byte); system colours carry the
// high byte 0xFF and the system colour index below it.
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/rtl/exceptions.h"
#include "platform/ui/props.h"

class QImage;
class QPainter;
class QFont;

namespace ui {

RTL_EXCEPTION_CLASS(EInvalidGraphic, rtl::Exception);
RTL_EXCEPTION_CLASS(EInvalidGraphicOperation, rtl::Exception);

using TColor = int32_t;

constexpr TColor RGB(int r, int g, int b) {
    return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(TColor c) { return c & 0xFF; }
constexpr int GetGValue(TColor c) { return (c >> 8) & 0xFF; }
constexpr int GetBValue(TColor c) { return (c >> 16) & 0xFF; }

constexpr TColor clBlack = RGB(0, 0, 0), clMaroon = RGB(128, 0, 0), clGreen = RGB(0, 128, 0),
                 clOlive = RGB(128, 128, 0), clNavy = RGB(0, 0, 128), clPurple = RGB(128, 0, 128),
                 clTeal = RGB(0, 128, 128), clGray = RGB(128, 128, 128), clSilver = RGB(192, 192, 192),
                 clRed = RGB(255, 0, 0), clLime = RGB(0, 255, 0), clYellow = RGB(255, 255, 0),
                 clBlue = RGB(0, 0, 255), clFuchsia = RGB(255, 0, 255), clAqua = RGB(0, 255, 255),
                 clWhite = RGB(255, 255, 255);
constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000u);
constexpr TColor clScrollBar = clSystemColor | 0, clBackground = clSystemColor | 1,
                 clActiveCaption = clSystemColor | 2, clWindow = clSystemColor | 5,
                 clWindowText = clSystemColor | 8, clHighlight = clSystemColor | 13,
                 clHighlightText = clSystemColor | 14, clBtnFace = clSystemColor | 15,
                 clBtnShadow = clSystemColor | 16, clGrayText = clSystemColor | 17,
                 clBtnText = clSystemColor | 18, clInfoText = clSystemColor | 23,
                 clInfoBk = clSystemColor | 24;
constexpr TColor clNone = 0x1FFFFFFF, clDefault = 0x20000000;

// The RGB value of any colour (system colours in the classic scheme).
TColor ColorToRGB(TColor color);

struct TPoint {
    int X = 0, Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};
inline TPoint Point(int x, int y) { return {x, y}; }

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};
inline TRect Rect(int l, int t, int r, int b) { return {l, t, r, b}; }

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned;

// Screen resolution that font heights in pixels are reckoned against.
constexpr int kPixelsPerInch = 96;

// A font description. Size is in points; Height is the same in pixels,
// negative as the platform gives it (Height = -Size * 96 / 72).
class TFont : public rtl::TObject {
    std::string getName() const { return name_; }
    void setName(std::string v);
    int getSize() const { return size_; }
    void setSize(int v);
    int getHeight() const;
    void setHeight(int v);
    TColor getColor() const { return color_; }
    void setColor(TColor v);
    TFontStyles getStyle() const { return style_; }
    void setStyle(TFontStyles v);
    void changed();

    std::string name_ = "Tahoma";
    int size_ = 8;
    TColor color_ = clWindowText;
    TFontStyles style_ = 0;

public:
    TFont();
    TFont(const TFont&) = delete;
    const char* ClassName() const override { return "TFont"; }

    TProp<TFont, std::string, &TFont::getName, &TFont::setName> Name{this};
    TProp<TFont, int, &TFont::getSize, &TFont::setSize> Size{this};
    TProp<TFont, int, &TFont::getHeight, &TFont::setHeight> Height{this};
    TProp<TFont, TColor, &TFont::getColor, &TFont::setColor> Color{this};
    TProp<TFont, TFontStyles, &TFont::getStyle, &TFont::setStyle> Style{this};

    void Assign(const TFont& source);
    rtl::TNotifyEvent OnChange;

    // Library use: the font as Qt knows it, and back.
    QFont ToQFont() const;
    void AssignQFont(const QFont& font);
};

enum TBrushStyle { bsSolid, bsClear };

class TBrush : public rtl::TObject {
    TColor getColor() const { return color_; }
    void setColor(TColor v) { color_ = v; style_ = bsSolid; }
    TBrushStyle getStyle() const { return style_; }
    void setStyle(TBrushStyle v) { style_ = v; }
    TColor color_ = clWhite;
    TBrushStyle style_ = bsSolid;

public:
    TBrush() = default;
    TBrush(const TBrush&) = delete;
    TProp<TBrush, TColor, &TBrush::getColor, &TBrush::setColor> Color{this};
    TProp<TBrush, TBrushStyle, &TBrush::getStyle, &TBrush::setStyle> Style{this};
};

class TPen : public rtl::TObject {
    TColor getColor() const { return color_; }
    void setColor(TColor v) { color_ = v; }
    int getWidth() const { return width_; }
    void setWidth(int v) { width_ = v < 1 ? 1 : v; }
    TColor color_ = clBlack;
    int width_ = 1;

public:
    TPen() = default;
    TPen(const TPen&) = delete;
    TProp<TPen, TColor, &TPen::getColor, &TPen::setColor> Color{this};
    TProp<TPen, int, &TPen::getWidth, &TPen::setWidth> Width{this};
};

class TGraphic;

// A device-independent bitmap header for drawing raw pixel rows: Height
// positive means the rows are stored bottom-up; BitCount 1, 4, 8 (colour
// table of 0x00RRGGBB entries), 24 (blue, green, red) or 32 (blue, green,
// red, unused). Rows are padded to 4 bytes.
struct TDibHeader {
    int Width = 0;
    int Height = 0;
    int BitCount = 24;
    std::vector<uint32_t> Colors;
};

// Drawing on a surface. A canvas with no surface (a list view's custom-draw
// canvas, a control's measuring canvas) keeps its brush, pen and font so
// their settings can be read back; its drawing calls do nothing.
class TCanvas : public rtl::TObject {
public:
    TCanvas();
    ~TCanvas() override;
    TCanvas(const TCanvas&) = delete;
    const char* ClassName() const override { return "TCanvas"; }

    TPart<TFont> Font{&font_};
    TPart<TBrush> Brush{&brush_};
    TPart<TPen> Pen{&pen_};

    int TextWidth(const std::string& text) const;
    int TextHeight(const std::string& text) const;
    void TextOut(int x, int y, const std::string& text);
    void FillRect(const TRect& rect);
    void Rectangle(const TRect& rect);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    TColor GetPixel(int x, int y) const;
    void SetPixel(int x, int y, TColor color);
    void Draw(int x, int y, TGraphic& graphic);
    void StretchDraw(const TRect& rect, TGraphic& graphic);
    // Raw pixel rows, stretched to Dest, drawn opaque.
    void StretchDIBits(const TRect& dest, const TDibHeader& header, const uint8_t* bits);
    // Top-down 0xAARRGGBB pixels (not premultiplied), stretched to Dest and
    // blended over what the surface holds.
    void DrawARGB(const TRect& dest, int width, int height, const uint32_t* pixels);

    bool HasSurface() const { return image_ != nullptr || painter_ != nullptr; }

    // Library use: draw into an image, or through a painter that a paint
    // event holds.
    void AttachImage(QImage* image);
    void AttachPainter(QPainter* painter);
    void Detach();

private:
    template <class F>
    void paint(F&& f);

    TFont font_;
    TBrush brush_;
    TPen pen_;
    QImage* image_ = nullptr;
    QPainter* painter_ = nullptr;
    TPoint penPos_;
};

// A picture of some format. Subclasses read and write their own streams
// and draw themselves stretched to a rectangle.
class TGraphic : public rtl::TObject {
public:
    virtual bool GetEmpty() const = 0;
    virtual int GetWidth() const = 0;
    virtual int GetHeight() const = 0;
    virtual void SetWidth(int value);
    virtual void SetHeight(int value);
    virtual bool GetTransparent() const { return transparent_; }
    virtual void SetTransparent(bool value);

    TGraphic();
    TGraphic(const TGraphic&) = delete;
    const char* ClassName() const override { return "TGraphic"; }

    TReadProp<TGraphic, bool, &TGraphic::GetEmpty> Empty{this};
    TProp<TGraphic, int, &TGraphic::GetWidth, &TGraphic::SetWidth> Width{this};
    TProp<TGraphic, int, &TGraphic::GetHeight, &TGraphic::SetHeight> Height{this};
    TProp<TGraphic, bool, &TGraphic::GetTransparent, &TGraphic::SetTransparent> Transparent{this};

    virtual void LoadFromStream(std::istream& stream) = 0;
    virtual void SaveToStream(std::ostream& stream) = 0;
    // Files are opened read-only for loading; errors raise EInOutError.
    virtual void LoadFromFile(const std::string& fileName);
    // What a preview of at least Size pixels on its longer side needs: a
    // format that can decode fewer pixels does, the others load it whole.
    virtual void LoadPreviewFromStream(std::istream& stream, int size);
    void LoadPreviewFromFile(const std::string& fileName, int size);
    virtual void SaveToFile(const std::string& fileName);
    virtual void Draw(TCanvas& canvas, const TRect& rect) = 0;
    // Takes the picture of Source; the base copies through a stream of
    // Source's own format and raises EInvalidGraphicOperation when the
    // formats differ and neither side knows the other.
    virtual void Assign(const TGraphic& source);
    virtual void AssignTo(TGraphic& dest) const;

    rtl::TNotifyEvent OnChange;

protected:
    void Changed();

private:
    bool transparent_ = false;
};

// What the registry keeps per class: its name and a maker.
struct TGraphicClassInfo {
    const char* Name;
    std::unique_ptr<TGraphic> (*Create)();
};
using TGraphicClass = const TGraphicClassInfo*;

template <class T>
TGraphicClass GraphicClassOf() {
    static const TGraphicClassInfo info{T::StaticClassName, [] { return std::unique_ptr<TGraphic>(new T); }};
    return &info;
}

// Raster pictures held in memory: bitmaps, JPEG and icon files.
class TRasterGraphic : public TGraphic {
public:
    ~TRasterGraphic() override;
    void LoadFromStream(std::istream& stream) override;
    void SaveToStream(std::ostream& stream) override;
    void Draw(TCanvas& canvas, const TRect& rect) override;
    void Assign(const TGraphic& source) override;
    bool GetEmpty() const override;
    int GetWidth() const override;
    int GetHeight() const override;

    // Library use.
    const QImage& Image() const { return *image_; }
    void SetImage(const QImage& image);

protected:
    explicit TRasterGraphic(const char* format);
    std::unique_ptr<QImage> image_;
    const char* format_;
};

enum TPixelFormat { pfDevice, pf1bit, pf8bit, pf24bit, pf32bit };

class TBitmap : public TRasterGraphic {
    TPixelFormat getPixelFormat() const { return pixelFormat_; }
    void setPixelFormat(TPixelFormat v);
    TColor getTransparentColor() const;
    void setTransparentColor(TColor v) { transparentColor_ = v; }

public:
    static constexpr const char* StaticClassName = "TBitmap";
    TBitmap();
    ~TBitmap() override;
    const char* ClassName() const override { return StaticClassName; }

    TCanvas* Canvas();
    TProp<TBitmap, TPixelFormat, &TBitmap::getPixelFormat, &TBitmap::setPixelFormat> PixelFormat{this};
    TProp<TBitmap, TColor, &TBitmap::getTransparentColor, &TBitmap::setTransparentColor> TransparentColor{this};
    void SetSize(int width, int height);
    void SetWidth(int value) override { SetSize(value, GetHeight()); }
    void SetHeight(int value) override { SetSize(GetWidth(), value); }
    // Row Y (0 at the top) of the pixels, in the layout of PixelFormat.
    uint8_t* ScanLine(int y);
    void Draw(TCanvas& canvas, const TRect& rect) override;

private:
    std::unique_ptr<TCanvas> canvas_;
    TPixelFormat pixelFormat_ = pfDevice;
    TColor transparentColor_ = clDefault;
};

class TJPEGImage : public TRasterGraphic {
public:
    static constexpr const char* StaticClassName = "TJPEGImage";
    TJPEGImage() : TRasterGraphic("jpg") {}
    const char* ClassName() const override { return StaticClassName; }
};

class TIcon : public TRasterGraphic {
public:
    static constexpr const char* StaticClassName = "TIcon";
    TIcon() : TRasterGraphic("ico") {}
    const char* ClassName() const override { return StaticClassName; }
};

// A picture of any registered format, chosen by file extension.
class TPicture : public rtl::TObject {
public:
    TPicture() = default;
    TPicture(const TPicture&) = delete;
    const char* ClassName() const override { return "TPicture"; }

    // Raises EInvalidGraphic "Unknown picture file extension (.ext)" for an
    // extension no class is registered for. A PreviewSize above 0 loads a
    // preview of at least that many pixels on its longer side.
    void LoadFromFile(const std::string& fileName, int previewSize = 0);
    void SaveToFile(const std::string& fileName);
    TGraphic* Graphic() const { return graphic_.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic) { graphic_ = std::move(graphic); }
    int Width() const;
    int Height() const;

    // The process-wide registry. Extensions compare without regard to case
    // and are kept without a dot; a later registration of an extension
    // replaces the earlier one.
    static void RegisterFileFormat(const std::string& extension, const std::string& description,
                                   TGraphicClass graphicClass);
    static void UnregisterGraphicClass(TGraphicClass graphicClass);
    static TGraphicClass FindGraphicClass(const std::string& extension);
    struct TFileFormat {
        std::string Extension;
        std::string Description;
        TGraphicClass GraphicClass;
    };
    static std::vector<TFileFormat> FileFormats();
    // "All (*.a;*.b)|*.a;*.b|Desc (*.a)|*.a|...", for the file dialogs;
    // with a class, only that class's formats and no "All" entry.
    static std::string GraphicFilter(TGraphicClass graphicClass = nullptr);

private:
    std::unique_ptr<TGraphic> graphic_;
};

}  // namespace ui
