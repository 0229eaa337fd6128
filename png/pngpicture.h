#pragma once
// The PNG picture as the windowing library sees it: registered for the
// "png" extension, drawn with its transparency onto a canvas, exchanged
// with bitmaps, the clipboard and the program's resources. The image itself
// is the codec's TPNGObject.
#include <string>

#include "platform/ui/graphics.h"
#include "png/pngimage.h"

namespace png {

class TPNGPicture : public ui::TGraphic {
public:
    static constexpr const char* StaticClassName = "TPNGPicture";
    TPNGPicture() = default;
    const char* ClassName() const override { return StaticClassName; }

    TPNGObject Png;

    bool GetEmpty() const override { return Png.GetEmpty(); }
    int GetWidth() const override { return Png.GetWidth(); }
    int GetHeight() const override { return Png.GetHeight(); }
    void SetWidth(int value) override;
    void SetHeight(int value) override;
    bool GetTransparent() const override { return Png.GetTransparent(); }

    void LoadFromStream(std::istream& stream) override;
    // Every step-th pixel of every step-th row, for the picture dialogs.
    void LoadPreviewFromStream(std::istream& stream, int size) override;
    void SaveToStream(std::ostream& stream) override;

    // Stretched to Rect, by the image's transparency mode.
    void Draw(ui::TCanvas& canvas, const ui::TRect& rect) override { Paint(canvas, rect); }
    void Paint(ui::TCanvas& canvas, const ui::TRect& rect) const;
    void DrawPartialTrans(ui::TCanvas& canvas, const ui::TRect& rect) const;
    // At Point, sized by the image's physical resolution against the screen's.
    void DrawUsingPixelInformation(ui::TCanvas& canvas, const ui::TPoint& point);
    // The drawn size for a screen of that many pixels per inch.
    ui::TPoint PhysicalSize(double dpiX, double dpiY) const;

    void Assign(const ui::TGraphic& source) override;
    void AssignTo(ui::TGraphic& dest) const override;
    // Takes a bitmap's pixels: fewer than 16 bits a pixel become a palette
    // image, more an 8-bit colour image.
    void AssignHandle(const ui::TBitmap& bitmap, bool transparent, ui::TColor color);

    // Through the system clipboard's image.
    void SaveToClipboardFormat() const;
    void LoadFromClipboardFormat();
    // The program's resources by name (":/" names of Qt's resource system)
    // or number (its decimal name).
    void LoadFromResourceName(const std::string& name);
    void LoadFromResourceID(int id);
};

// Registers the picture for "png" with the picture-format registry. Runs at
// start-up for any program that links the picture; repeated calls are free.
void RegisterPictureFormat();

}  // namespace png
