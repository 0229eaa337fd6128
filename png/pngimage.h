#pragma once
// The PNG picture's codec: the chunk list, reading, decoding into a
// bottom-up device-independent bitmap, encoding, and the editing side
// (placement, blank images, pixels, resizing, transparency). No Qt in here:
// drawing and the exchange with the windowing library live in pngpicture.h.
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/exceptions.h"

namespace png {

// The unit's exceptions; all derive directly from Exception and carry a text
// of the string table below.
RTL_EXCEPTION_CLASS(EPNGOutMemory, rtl::Exception);
RTL_EXCEPTION_CLASS(EPngError, rtl::Exception);
RTL_EXCEPTION_CLASS(EPngUnexpectedEnd, rtl::Exception);
RTL_EXCEPTION_CLASS(EPngInvalidCRC, rtl::Exception);
RTL_EXCEPTION_CLASS(EPngInvalidIHDR, rtl::Exception);
RTL_EXCEPTION_CLASS(EPNGMissingMultipleIDAT, rtl::Exception);
RTL_EXCEPTION_CLASS(EPNGZLIBError, rtl::Exception);
RTL_EXCEPTION_CLASS(EPNGInvalidPalette, rtl::Exception);
RTL_EXCEPTION_CLASS(EPNGInvalidFileHeader, rtl::Exception);
RTL_EXCEPTION_CLASS(EPNGIHDRNotFirst, rtl::Exception);
RTL_EXCEPTION_CLASS(EPNGNotExists, rtl::Exception);
RTL_EXCEPTION_CLASS(EPNGSizeExceeds, rtl::Exception);
RTL_EXCEPTION_CLASS(EPNGMissingPalette, rtl::Exception);
RTL_EXCEPTION_CLASS(EPNGUnknownCriticalChunk, rtl::Exception);
RTL_EXCEPTION_CLASS(EPNGUnknownCompression, rtl::Exception);
RTL_EXCEPTION_CLASS(EPNGUnknownInterlace, rtl::Exception);
RTL_EXCEPTION_CLASS(EPNGNoImageData, rtl::Exception);
RTL_EXCEPTION_CLASS(EPNGCouldNotLoadResource, rtl::Exception);
RTL_EXCEPTION_CLASS(EPNGCannotChangeTransparent, rtl::Exception);
RTL_EXCEPTION_CLASS(EPNGHeaderNotPresent, rtl::Exception);
RTL_EXCEPTION_CLASS(EPNGInvalidNewSize, rtl::Exception);
RTL_EXCEPTION_CLASS(EPNGInvalidSpec, rtl::Exception);

// Message ids of the string table.
enum : int {
    EPNGInvalidNewSizeText = 65193,
    EPNGInvalidSpecText = 65194,
    EPngErrorAssignText = 65184,
    EPngUnexpectedEndText = 65185,
    EPNGNoImageDataText = 65186,
    EPNGAddExistentText = 65187,
    EPNGAddInvalidText = 65188,
    EPNGCouldNotLoadResourceText = 65189,
    EPNGOutMemoryText = 65190,
    EPNGCannotChangeTransparentText = 65191,
    EPNGHeaderNotPresentText = 65192,
    EPngInvalidCRCText = 65202,
    EPngInvalidIHDRText = 65203,
    EPNGMissingMultipleIDATText = 65204,
    EPNGZLIBErrorText = 65205,
    EPNGInvalidPaletteText = 65206,
    EPNGInvalidFileHeaderText = 65207,
    EPNGIHDRNotFirstText = 65208,
    EPNGNotExistsText = 65209,
    EPNGSizeExceedsText = 65210,
    EPngUnknownPalEntryText = 65211,
    EPNGMissingPaletteText = 65212,
    EPNGUnknownCriticalChunkText = 65213,
    EPNGUnknownCompressionText = 65214,
    EPNGUnknownInterlaceText = 65215,
};
// The text of a message id; empty for an unknown id.
std::string LoadResString(int id);
// The zlib result text for codes -6..2.
std::string ZlibErrorText(int code);

const char* GetLibraryVersion();

// Colours as the windowing library keeps them: 0x00BBGGRR.
using TColor = int32_t;

enum TPNGTransparencyMode { ptmNone, ptmBit, ptmPartial };
enum TInterlaceMethod { imNone = 0, imAdam7 = 1 };
enum TFilter { pfNone, pfSub, pfUp, pfAverage, pfPaeth };
using TFilters = unsigned;  // bit (1 << TFilter)
constexpr TFilters FilterSet(TFilter f) { return 1u << f; }
enum TUnitType { utUnknown, utMeter };
using TCompressionLevel = int;

enum : uint8_t {
    COLOR_GRAYSCALE = 0,
    COLOR_RGB = 2,
    COLOR_PALETTE = 3,
    COLOR_GRAYSCALEALPHA = 4,
    COLOR_RGBALPHA = 6,
};

struct TRGBQuad {
    uint8_t rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
};
struct TPaletteEntry {
    uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
};
// A logical palette: what a palette handle stands for.
using TPalette = std::vector<TPaletteEntry>;

// The bitmap information of the image's bitmap section.
struct TBitmapInfo {
    int biWidth = 0;
    int biHeight = 0;  // positive: rows bottom-up
    int biBitCount = 0;
    int biClrUsed = 0;
    TRGBQuad bmiColors[256];
};

// A plane of pixels: its memory comes zeroed from the system (fresh pages
// are zero already), so a new image costs no pass of its own before the
// decoder writes it.
template <class T>
struct TZeroedAllocator {
    using value_type = T;
    TZeroedAllocator() = default;
    template <class U>
    TZeroedAllocator(const TZeroedAllocator<U>&) {}
    T* allocate(size_t n) {
        if (void* p = std::calloc(n, sizeof(T))) return static_cast<T*>(p);
        throw std::bad_alloc();
    }
    void deallocate(T* p, size_t) { std::free(p); }
    // Elements made without a value keep the zero calloc gave them.
    template <class U>
    void construct(U*) {}
    template <class U, class... A>
    void construct(U* p, A&&... a) {
        ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
    }
    friend bool operator==(const TZeroedAllocator&, const TZeroedAllocator&) { return true; }
};
using TPlane = std::vector<uint8_t, TZeroedAllocator<uint8_t>>;

struct TIHDRData {
    uint32_t Width = 0, Height = 0;
    uint8_t BitDepth = 0, ColorType = 0, CompressionMethod = 0, FilterMethod = 0, InterlaceMethod = 0;
};

class TPNGObject;
class TChunkIHDR;

class TChunk {
public:
    explicit TChunk(TPNGObject* owner);
    virtual ~TChunk();
    TChunk(const TChunk&) = delete;
    TChunk& operator=(const TChunk&) = delete;

    // The class's name; the chunk type is its text after "TChunk".
    virtual const char* ClassName() const { return "TChunk"; }
    virtual void Assign(const TChunk& source);
    virtual bool LoadFromStream(std::istream& stream, const std::string& type, uint32_t size);
    virtual bool SaveToStream(std::ostream& stream);

    void ResizeData(uint32_t n);
    int GetIndex() const;
    TChunkIHDR* GetHeader() const;
    const std::string& GetChunkName() const { return name_; }
    void SetChunkName(const std::string& name) { name_ = name; }
    bool SaveData(std::ostream& stream);

    uint8_t* Data() { return data_.data(); }
    const uint8_t* Data() const { return data_.data(); }
    uint32_t DataSize() const { return dataSize_; }
    TPNGObject* Owner() const { return owner_; }

protected:
    // Takes the type from the class name when that part has four letters.
    void TakeNameFromClass();

    std::vector<uint8_t> data_;  // one byte longer than the data
    uint32_t dataSize_ = 0;
    TPNGObject* owner_;
    std::string name_;
};

class TChunkIEND : public TChunk {
public:
    explicit TChunkIEND(TPNGObject* owner) : TChunk(owner) { TakeNameFromClass(); }
    static constexpr const char* Type = "IEND";
    const char* ClassName() const override { return "TChunkIEND"; }
    bool LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) override;
};

class TChunkIHDR : public TChunk {
public:
    explicit TChunkIHDR(TPNGObject* owner);
    ~TChunkIHDR() override;
    static constexpr const char* Type = "IHDR";
    const char* ClassName() const override { return "TChunkIHDR"; }
    void Assign(const TChunk& source) override;
    bool LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) override;
    bool SaveToStream(std::ostream& stream) override;

    void PrepareImageData();
    void FreeImageData();
    TPalette CreateGrayscalePalette(int depth) const;
    void PaletteToDIB(const TPalette& palette);

    uint32_t Width() const { return IHDRData.Width; }
    uint32_t Height() const { return IHDRData.Height; }
    uint8_t BitDepth() const { return IHDRData.BitDepth; }
    uint8_t ColorType() const { return IHDRData.ColorType; }

    TIHDRData IHDRData;
    TBitmapInfo BitmapInfo;
    bool HasPalette = false;
    TPalette Palette;                    // the palette handle's entries
    TPlane ImageData;       // bottom-up rows of BytesPerRow
    TPlane ExtraImageData;  // low bytes at depth 16, same layout
    TPlane ImageAlpha;      // top-down, width bytes a row
    TPlane ExtraImageAlpha; // low bytes of a 16-bit alpha, same layout
    size_t BytesPerRow = 0;
};

class TChunkPLTE : public TChunk {
public:
    explicit TChunkPLTE(TPNGObject* owner) : TChunk(owner) { TakeNameFromClass(); }
    static constexpr const char* Type = "PLTE";
    const char* ClassName() const override { return "TChunkPLTE"; }
    void Assign(const TChunk& source) override;
    bool LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) override;
    bool SaveToStream(std::ostream& stream) override;
    // The colour-table entry as 0x00RRGGBB (blue in the low byte).
    uint32_t GetPaletteItem(int index) const;
    int Count = 0;
};

class TChunktRNS : public TChunk {
public:
    explicit TChunktRNS(TPNGObject* owner);
    static constexpr const char* Type = "tRNS";
    const char* ClassName() const override { return "TChunktRNS"; }
    void Assign(const TChunk& source) override;
    bool LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) override;
    bool SaveToStream(std::ostream& stream) override;
    TColor GetTransparentColor() const;
    void SetTransparentColor(TColor color);
    bool BitTransparency = false;
    uint8_t PaletteValues[256];
};

class TChunkgAMA : public TChunk {
public:
    explicit TChunkgAMA(TPNGObject* owner);
    static constexpr const char* Type = "gAMA";
    const char* ClassName() const override { return "TChunkgAMA"; }
    void Assign(const TChunk& source) override;
    bool LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) override;
    uint32_t GetValue() const;
    void SetValue(uint32_t value);
};

class TChunkIDAT : public TChunk {
public:
    explicit TChunkIDAT(TPNGObject* owner) : TChunk(owner) { TakeNameFromClass(); }
    static constexpr const char* Type = "IDAT";
    const char* ClassName() const override { return "TChunkIDAT"; }
    bool LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) override;
    bool SaveToStream(std::ostream& stream) override;
};

class TChunkpHYs : public TChunk {
public:
    explicit TChunkpHYs(TPNGObject* owner) : TChunk(owner) { TakeNameFromClass(); }
    static constexpr const char* Type = "pHYs";
    const char* ClassName() const override { return "TChunkpHYs"; }
    void Assign(const TChunk& source) override;
    bool LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) override;
    bool SaveToStream(std::ostream& stream) override;
    uint32_t PPUnitX = 0, PPUnitY = 0;
    TUnitType UnitType = utUnknown;
};

class TChunktIME : public TChunk {
public:
    explicit TChunktIME(TPNGObject* owner) : TChunk(owner) { TakeNameFromClass(); }
    static constexpr const char* Type = "tIME";
    const char* ClassName() const override { return "TChunktIME"; }
    void Assign(const TChunk& source) override;
    bool LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) override;
    bool SaveToStream(std::ostream& stream) override;
    uint16_t Year = 0;
    uint8_t Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};

class TChunktEXt : public TChunk {
public:
    explicit TChunktEXt(TPNGObject* owner) : TChunk(owner) { TakeNameFromClass(); }
    static constexpr const char* Type = "tEXt";
    const char* ClassName() const override { return "TChunktEXt"; }
    void Assign(const TChunk& source) override;
    bool LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) override;
    bool SaveToStream(std::ostream& stream) override;
    std::string Keyword, Text;
};

class TChunkzTXt : public TChunktEXt {
public:
    explicit TChunkzTXt(TPNGObject* owner) : TChunktEXt(owner) { TakeNameFromClass(); }
    static constexpr const char* Type = "zTXt";
    const char* ClassName() const override { return "TChunkzTXt"; }
    bool LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) override;
    bool SaveToStream(std::ostream& stream) override;
};

// Largest text a zTXt chunk may inflate to; a larger one stays empty.
constexpr size_t kMaxTextSize = 1 << 20;
// The default budget of one image: its pixels and the bytes of all its
// planes together.
constexpr uint64_t kMaxImagePixels = uint64_t(1) << 28;
constexpr uint64_t kMaxImageBytes = uint64_t(1) << 30;

// A registered chunk class: its type and its virtual constructor.
struct TChunkClassInfo {
    const char* Name;
    std::unique_ptr<TChunk> (*Create)(TPNGObject* owner);
};
using TChunkClass = const TChunkClassInfo*;
template <class T>
TChunkClass ChunkClassOf() {
    static const TChunkClassInfo info{T::Type, [](TPNGObject* owner) { return std::unique_ptr<TChunk>(new T(owner)); }};
    return &info;
}
void RegisterChunk(TChunkClass chunkClass);
// The class registered for a type, or nullptr (a plain TChunk).
TChunkClass FindChunkClass(const std::string& type);

// The ordered chunk list.
class TPNGList {
public:
    explicit TPNGList(TPNGObject* owner) : owner_(owner) {}
    int Count() const { return static_cast<int>(items_.size()); }
    TChunk* GetItem(int index) const;
    TChunk* operator[](int index) const { return GetItem(index); }
    template <class T>
    T* FindChunk() const {
        for (const auto& c : items_)
            if (auto* t = dynamic_cast<T*>(c.get())) return t;
        return nullptr;
    }
    template <class T>
    T* Add() {
        return static_cast<T*>(Add(ChunkClassOf<T>()));
    }
    TChunk* Add(TChunkClass chunkClass);
    void RemoveChunk(TChunk* chunk);
    void Clear() { items_.clear(); }
    // Library use: appends without the placement rules.
    TChunk* Append(std::unique_ptr<TChunk> chunk);
    int IndexOf(const TChunk* chunk) const;

private:
    void Insert(std::unique_ptr<TChunk> chunk, int index);
    TPNGObject* owner_;
    std::vector<std::unique_ptr<TChunk>> items_;
};

class TPNGObject {
public:
    TPNGObject();
    // A blank image; raises EPNGInvalidSpec for a colour type and depth the
    // PNG standard does not pair.
    TPNGObject(uint8_t colorType, uint8_t bitDepth, int width, int height);
    virtual ~TPNGObject();
    TPNGObject(const TPNGObject&) = delete;
    TPNGObject& operator=(const TPNGObject&) = delete;

    // A load that fails leaves the image empty.
    void LoadFromStream(std::istream& stream);
    void LoadFromFile(const std::string& fileName);
    // Loads every Step-th pixel of every Step-th row, Step the largest power
    // of two that keeps the longer side at Size pixels or more. The image
    // is a preview then, which is never saved.
    void LoadPreview(std::istream& stream, int size);
    // Raises EPNGHeaderNotPresent for an empty image or a preview.
    void SaveToStream(std::ostream& stream);
    void SaveToFile(const std::string& fileName);

    void ClearChunks();
    void InitializeGamma();
    bool HeaderPresent() const;
    TChunkIHDR* Header() const;  // raises EPNGHeaderNotPresent
    int GetWidth() const;
    int GetHeight() const;
    bool GetEmpty() const { return Chunks.Count() == 0; }
    void GetPixelInfo(size_t& lineSize, int& offset) const;

    // Transparency.
    TPNGTransparencyMode GetTransparencyMode() const;
    bool GetTransparent() const { return GetTransparencyMode() != ptmNone; }
    TColor GetTransparentColor() const;
    void SetTransparentColor(TColor color);
    void RemoveTransparency();
    void CreateAlpha();
    bool HasPixelInformation() const;
    TChunkpHYs* GetPixelInformation();

    // Rows of the planes, row 0 at the top.
    uint8_t* GetScanline(int y) const;
    uint8_t* GetExtraScanline(int y) const;
    uint8_t* GetAlphaScanline(int y) const;
    uint8_t* GetExtraAlphaScanline(int y) const;  // low bytes of a 16-bit alpha
    TColor GetPixels(int x, int y) const;
    void SetPixels(int x, int y, TColor color);
    void Resize(int width, int height);
    void SetWidth(int w) { Resize(w, GetHeight()); }
    void SetHeight(int h) { Resize(GetWidth(), h); }

    const TPalette* GetPalette() const;
    void SetPalette(const TPalette& palette) { DoSetPalette(palette, true); }
    void DoSetPalette(const TPalette& palette, bool updateColors);
    void AssignPNG(const TPNGObject& source);

    void SetMaxIdatSize(int size);
    int MaxIdatSize() const { return maxIdatSize_; }
    void AddtEXt(const std::string& keyword, const std::string& text);
    void AddzTXt(const std::string& keyword, const std::string& text);

    TFilters Filters = FilterSet(pfSub);
    TCompressionLevel CompressionLevel = 7;
    TInterlaceMethod InterlaceMethod = imNone;
    TPNGList Chunks{this};
    bool BeingCreated = false;
    // The image holds the file's own samples; these map them to what the
    // screen shows and back, for drawing and for pixel access.
    uint8_t GammaTable[256];
    uint8_t InverseTable[256];
    // The budget of one image, checked before anything is allocated:
    // EPNGOutMemory beyond it.
    uint64_t MaxPixels = kMaxImagePixels;
    uint64_t MaxBytes = kMaxImageBytes;

    // Whether the image is a preview (LoadPreview kept fewer pixels).
    bool IsPreview() const { return preview_; }
    // Library use, while a load runs: the longer side a preview asks for
    // (0 for the whole image), and the step the rows are decoded with.
    int PreviewSize() const { return previewSize_; }
    uint32_t DecodeStep() const { return decodeStep_; }
    void SetDecodeStep(uint32_t step) { decodeStep_ = step; }

private:
    void load(std::istream& stream, int previewSize);
    void loadChunks(std::istream& stream);
    int maxIdatSize_ = 65535;
    int previewSize_ = 0;
    uint32_t decodeStep_ = 1;
    bool preview_ = false;
};

// ---------------------------------------------------------------- drawing
// The drawing rules over plain pixel buffers, so that the windowing side
// only reads and writes its canvas. Buffers are top-down 0xAARRGGBB.

// The source column (or row) of each of Count destination pixels when an
// image of Size pixels is stretched to Count.
std::vector<int> StretchMap(int size, int count);
// The image stretched to W x H, opaque, as plain drawing shows it.
std::vector<uint32_t> RenderImage(const TPNGObject& image, int w, int h);
// Per destination pixel, the colour and alpha (0xAARRGGBB, not
// premultiplied) the image is drawn with: the alpha plane, the alpha of
// each palette entry, or 0 where the sample is the transparent one.
std::vector<uint32_t> PartialSource(const TPNGObject& image, int w, int h);
// Blends the image's partial transparency over Target (W x H, the area the
// image is drawn over), in place.
void BlendPartial(const TPNGObject& image, uint32_t* target, int w, int h);
// Blends N pixels of PartialSource's kind over Target, in place.
void BlendPixels(const uint32_t* source, uint32_t* target, size_t n);

}  // namespace png
