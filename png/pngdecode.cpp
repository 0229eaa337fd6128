// The image data: the bitmap that holds it, inflating across IDAT chunks,
// reversing the row filters, Adam7, and the converters into the bitmap.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <istream>
#include <new>

#include "png/pngimage.h"
#include "png/pngio.h"
#include "png/pngrows.h"

namespace png {

// ------------------------------------------------------------ the bitmap

namespace {

// The fixed table palette images start with before their PLTE arrives: a
// 6x6x6 colour cube, then a grey ramp.
const TPalette& halftonePalette() {
    static const TPalette pal = [] {
        TPalette p(256);
        int i = 0;
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b, ++i)
                    p[size_t(i)] = {uint8_t(r * 51), uint8_t(g * 51), uint8_t(b * 51), 0};
        for (int k = 0; i < 256; ++i, ++k) {
            const uint8_t v = uint8_t(k * 255 / 39);
            p[size_t(i)] = {v, v, v, 0};
        }
        return p;
    }();
    return pal;
}

}  // namespace

TChunkIHDR::TChunkIHDR(TPNGObject* owner) : TChunk(owner) { TakeNameFromClass(); }
TChunkIHDR::~TChunkIHDR() = default;

void TChunkIHDR::FreeImageData() {
    ImageData.clear();
    ExtraImageData.clear();
    ImageAlpha.clear();
    ExtraImageAlpha.clear();
    Palette.clear();
    HasPalette = false;
}

void TChunkIHDR::PrepareImageData() {
    BitmapInfo = TBitmapInfo();
    FreeImageData();
    const uint8_t ct = IHDRData.ColorType, depth = IHDRData.BitDepth;
    // A preview holds every step-th pixel of every step-th row.
    const uint32_t step = owner_ ? owner_->DecodeStep() : 1;
    const uint32_t w = Stepped(IHDRData.Width, step), h = Stepped(IHDRData.Height, step);
    BitmapInfo.biBitCount = DibBitCount(ct, depth);
    HasPalette = ct == COLOR_GRAYSCALE || ct == COLOR_PALETTE || ct == COLOR_GRAYSCALEALPHA;
    BitmapInfo.biWidth = static_cast<int>(w);
    BitmapInfo.biHeight = static_cast<int>(h);
    BytesPerRow = DibRowBytes(BitmapInfo.biBitCount, w);
    const bool alpha = ct == COLOR_GRAYSCALEALPHA || ct == COLOR_RGBALPHA;
    const uint64_t pixels = uint64_t(w) * h, rowBytes = uint64_t(BytesPerRow) * h;
    if (owner_) CheckBudget(*owner_, ct, depth, w, h);
    if (alpha) AllocatePlane(ImageAlpha, pixels);
    if (alpha && depth == 16) AllocatePlane(ExtraImageAlpha, pixels);
    if (depth == 16) AllocatePlane(ExtraImageData, rowBytes);
    AllocatePlane(ImageData, rowBytes);
    if (HasPalette && BitmapInfo.biBitCount > 0) {
        TPalette pal = ct == COLOR_PALETTE ? halftonePalette() : CreateGrayscalePalette(depth);
        pal.resize(size_t(1) << BitmapInfo.biBitCount);
        Palette = pal;
        PaletteToDIB(pal);
        BitmapInfo.biClrUsed = static_cast<int>(pal.size());
    }
}

TPalette TChunkIHDR::CreateGrayscalePalette(int depth) const {
    // Two-bit grey is held in four bits, so its ramp has sixteen steps. The
    // ramp holds the samples' own levels: gamma is for drawing.
    const int bits = depth == 16 ? 8 : depth == 2 ? 4 : depth;
    const int n = 1 << bits;
    TPalette p(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const uint8_t v = uint8_t((i * 255 + (n - 1) / 2) / (n - 1));
        p[size_t(i)] = {v, v, v, 0};
    }
    return p;
}

void TChunkIHDR::PaletteToDIB(const TPalette& palette) {
    // Entries past the palette are black, so stray indices draw black.
    std::fill(std::begin(BitmapInfo.bmiColors), std::end(BitmapInfo.bmiColors), TRGBQuad());
    const size_t n = std::min<size_t>(palette.size(), 256);
    for (size_t i = 0; i < n; ++i)
        BitmapInfo.bmiColors[i] = {palette[i].peBlue, palette[i].peGreen, palette[i].peRed, 0};
    BitmapInfo.biClrUsed = static_cast<int>(n);
}

void TPNGObject::DoSetPalette(const TPalette& palette, bool updateColors) {
    TChunkIHDR* h = HeaderPresent() ? Header() : nullptr;
    if (!h || !h->HasPalette) return;
    if (updateColors) h->PaletteToDIB(palette);
    h->Palette = palette;
}

const TPalette* TPNGObject::GetPalette() const {
    TChunkIHDR* h = HeaderPresent() ? Header() : nullptr;
    return h && h->HasPalette ? &h->Palette : nullptr;
}

// ----------------------------------------------------------- IDAT reading

namespace {

[[noreturn]] void missingParts() { throw EPNGMissingMultipleIDAT(LoadResString(EPNGMissingMultipleIDATText)); }
[[noreturn]] void endsEarly() { throw EPngUnexpectedEnd(LoadResString(EPngUnexpectedEndText)); }
[[noreturn]] void zlibFailure(const std::string& cause) {
    throw EPNGZLIBError(LoadResString(EPNGZLIBErrorText) + cause);
}

// Inflates the image data across consecutive IDAT chunks, checking each
// chunk's CRC as it is crossed. The image data is whole or the load fails.
class IdatReader {
public:
    IdatReader(std::istream& s, uint64_t firstLength) : s_(s), left_(firstLength), in_(65535) {
        crc_ = crc32(0, reinterpret_cast<const Bytef*>("IDAT"), 4);
        const int r = inflateInit(&z_);
        if (r != Z_OK) zlibFailure(ZlibErrorText(r));
    }
    ~IdatReader() { inflateEnd(&z_); }
    IdatReader(const IdatReader&) = delete;
    IdatReader& operator=(const IdatReader&) = delete;

    // Fills Count bytes; data that ends before raises.
    void Read(uint8_t* buffer, size_t count) {
        if (inflateInto(buffer, count) != count) missingParts();
    }

    // The stream must end (its Adler-32 checked) within the IDAT chunks;
    // data past the image is inflated and dropped. Then the rest of the
    // chunk goes into its CRC and the CRC is checked.
    void Finish() {
        std::vector<uint8_t> sink(65536);
        while (!ended_) inflateInto(sink.data(), sink.size());
        while (left_ > 0) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(left_, in_.size()));
            if (ReadSome(s_, in_.data(), want) != want) endsEarly();
            crc_ = crc32(crc_, in_.data(), static_cast<uInt>(want));
            left_ -= want;
        }
        checkCrc();
    }

private:
    size_t inflateInto(uint8_t* buffer, size_t count) {
        z_.next_out = buffer;
        z_.avail_out = static_cast<uInt>(count);
        while (z_.avail_out > 0 && !ended_) {
            if (z_.avail_in == 0) {
                while (left_ == 0) nextChunk();  // empty chunks are crossed
                const size_t want = static_cast<size_t>(std::min<uint64_t>(left_, in_.size()));
                if (ReadSome(s_, in_.data(), want) != want) endsEarly();
                left_ -= want;
                crc_ = crc32(crc_, in_.data(), static_cast<uInt>(want));
                z_.next_in = in_.data();
                z_.avail_in = static_cast<uInt>(want);
            }
            const int r = inflate(&z_, Z_NO_FLUSH);
            if (r == Z_STREAM_END) ended_ = true;
            else if (r != Z_OK) zlibFailure(ZlibErrorText(r));
        }
        return count - z_.avail_out;
    }
    void checkCrc() {
        uint32_t stored = 0;
        if (!ReadBE32(s_, stored)) endsEarly();
        if (stored != crc_) throw EPngInvalidCRC(LoadResString(EPngInvalidCRCText));
    }
    // The data goes on in the next chunk, which must be an IDAT.
    void nextChunk() {
        checkCrc();
        uint32_t length = 0;
        char type[4] = {};
        if (!ReadBE32(s_, length) || !ReadExact(s_, type, 4)) endsEarly();
        if (std::memcmp(type, "IDAT", 4) != 0) missingParts();
        crc_ = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
        left_ = length;
    }

    std::istream& s_;
    uint64_t left_;
    std::vector<uint8_t> in_;
    z_stream z_{};
    uLong crc_;
    bool ended_ = false;
};

// A two-bit sample as the four-bit entry that holds it.
inline uint8_t nibbleOf2(uint8_t colorType, unsigned s) {
    return static_cast<uint8_t>(colorType == COLOR_GRAYSCALE ? s * 5 : s);
}

// Where the pixels of a decoded row go: Count pixels to image row Y at
// columns First, First + Step...
struct Placement {
    int Y;
    uint32_t First, Step, Count;
};

// Colour samples, three or four a pixel of one or two bytes each, into the
// blue-green-red image row (high bytes), the extra row (low bytes) and the
// alpha rows, as the file holds them.
template <int Channels, int Bytes>
void colourPixels(const TPNGObject& png, const uint8_t* src, const Placement& at) {
    uint8_t* dst = png.GetScanline(at.Y);
    uint8_t* ex = Bytes == 2 ? png.GetExtraScanline(at.Y) : nullptr;
    uint8_t* a = Channels == 4 ? png.GetAlphaScanline(at.Y) : nullptr;
    uint8_t* exa = Channels == 4 && Bytes == 2 ? png.GetExtraAlphaScanline(at.Y) : nullptr;
    for (uint32_t k = 0, c = at.First; k < at.Count; ++k, c += at.Step) {
        const uint8_t* s = src + size_t(Channels * Bytes) * k;
        uint8_t* d = dst + 3 * size_t(c);
        d[0] = s[2 * Bytes], d[1] = s[Bytes], d[2] = s[0];
        if constexpr (Bytes == 2) {
            uint8_t* e = ex + 3 * size_t(c);
            e[0] = s[5], e[1] = s[3], e[2] = s[1];
            if constexpr (Channels == 4) exa[c] = s[7];
        }
        if constexpr (Channels == 4) a[c] = s[3 * Bytes];
    }
}

// Converts the pixels of a filtered-back PNG row into the image.
void convertRow(const TPNGObject& png, const TChunkIHDR& h, const uint8_t* src, const Placement& at) {
    uint8_t* dst = png.GetScanline(at.Y);
    const uint8_t ct = h.ColorType(), depth = h.BitDepth();
    switch (ct) {
        case COLOR_GRAYSCALE:
        case COLOR_PALETTE:
            if (depth == 16) {  // grey only
                uint8_t* ex = png.GetExtraScanline(at.Y);
                for (uint32_t k = 0, c = at.First; k < at.Count; ++k, c += at.Step) {
                    dst[c] = src[2 * k];
                    ex[c] = src[2 * k + 1];
                }
            } else if (depth == 8) {
                if (at.Step == 1) std::memcpy(dst + at.First, src, at.Count);
                else
                    for (uint32_t k = 0, c = at.First; k < at.Count; ++k, c += at.Step) dst[c] = src[k];
            } else if (depth == 2) {
                for (uint32_t k = 0, c = at.First; k < at.Count; ++k, c += at.Step)
                    PutPackedSample(dst, c, 4, nibbleOf2(ct, PackedSample(src, k, 2)));
            } else if (at.Step == 1 && at.First == 0) {
                std::memcpy(dst, src, (size_t(at.Count) * depth + 7) / 8);
            } else {
                for (uint32_t k = 0, c = at.First; k < at.Count; ++k, c += at.Step)
                    PutPackedSample(dst, c, depth, PackedSample(src, k, depth));
            }
            break;
        case COLOR_RGB:
            if (depth == 16) colourPixels<3, 2>(png, src, at);
            else colourPixels<3, 1>(png, src, at);
            break;
        case COLOR_RGBALPHA:
            if (depth == 16) colourPixels<4, 2>(png, src, at);
            else colourPixels<4, 1>(png, src, at);
            break;
        case COLOR_GRAYSCALEALPHA: {
            uint8_t* a = png.GetAlphaScanline(at.Y);
            if (depth == 8) {
                for (uint32_t k = 0, c = at.First; k < at.Count; ++k, c += at.Step) {
                    dst[c] = src[2 * k];
                    a[c] = src[2 * k + 1];
                }
            } else {
                uint8_t* ex = png.GetExtraScanline(at.Y);
                uint8_t* exa = png.GetExtraAlphaScanline(at.Y);
                for (uint32_t k = 0, c = at.First; k < at.Count; ++k, c += at.Step) {
                    dst[c] = src[4 * k];
                    ex[c] = src[4 * k + 1];
                    a[c] = src[4 * k + 2];
                    exa[c] = src[4 * k + 3];
                }
            }
            break;
        }
        default: break;
    }
}

// A preview keeps the pixels at columns that are multiples of Step: of the
// pass's pixels (Col, Col + ColStep...) those are I0, I0 + Di...; they are
// packed into Out and placed at column (Col + I0 * ColStep) / Step on.
// False when the pass has none of them.
bool pickPixels(const TChunkIHDR& h, const TAdamPass& pass, uint32_t step, uint32_t passWidth, const uint8_t* src,
                std::vector<uint8_t>& out, Placement& at) {
    uint32_t i0 = 0;
    while (i0 < passWidth && i0 < step && (pass.Col + i0 * pass.ColStep) % step != 0) ++i0;
    if (i0 >= passWidth || i0 >= step) return false;
    const uint32_t di = pass.ColStep >= step ? 1 : step / pass.ColStep;
    at.First = (pass.Col + i0 * pass.ColStep) / step;
    at.Step = di * pass.ColStep / step;
    at.Count = (passWidth - i0 + di - 1) / di;
    const uint8_t depth = h.BitDepth();
    if (depth < 8) {
        std::fill(out.begin(), out.end(), 0);
        for (uint32_t k = 0; k < at.Count; ++k) PutPackedSample(out.data(), k, depth, PackedSample(src, i0 + k * di, depth));
    } else {
        const size_t bpp = static_cast<size_t>(PixelOffset(h.ColorType(), depth));
        for (uint32_t k = 0; k < at.Count; ++k) std::memcpy(out.data() + k * bpp, src + (i0 + size_t(k) * di) * bpp, bpp);
    }
    return true;
}

}  // namespace

bool TChunkIDAT::LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) {
    TChunkIHDR* h = GetHeader();
    if (!h) throw EPNGHeaderNotPresent(LoadResString(EPNGHeaderNotPresentText));
    const uint8_t ct = h->ColorType(), depth = h->BitDepth();
    if (ct == COLOR_PALETTE && !owner_->Chunks.FindChunk<TChunkPLTE>())
        throw EPNGMissingPalette(LoadResString(EPNGMissingPaletteText));
    if (h->HasPalette && ct != COLOR_PALETTE) owner_->SetPalette(h->CreateGrayscalePalette(depth));

    const uint32_t width = h->Width(), height = h->Height(), step = owner_->DecodeStep();
    const int offset = PixelOffset(ct, depth);
    IdatReader reader(stream, size);
    const bool interlaced = owner_->InterlaceMethod == imAdam7;
    const size_t maxRow = BytesForPixels(ct, depth, width);
    std::vector<uint8_t> rowA(maxRow + 1), rowB(maxRow + 1), picked(step > 1 ? maxRow : 0);
    for (int p = 0; p < (interlaced ? 7 : 1); ++p) {
        const TAdamPass& pass = interlaced ? kAdam7[p] : kWholeImage;
        const uint32_t pw = PassWidth(width, pass);
        const size_t rowBytes = BytesForPixels(ct, depth, pw);
        if (rowBytes == 0 || pass.Row >= height) continue;
        std::fill(rowA.begin(), rowA.end(), 0);
        uint8_t* prior = rowA.data();
        uint8_t* cur = rowB.data();
        for (uint32_t y = pass.Row; y < height; y += pass.RowStep) {
            reader.Read(cur, rowBytes + 1);
            if (cur[0] > 4) zlibFailure("unknown row filter (" + std::to_string(cur[0]) + ")");
            UnfilterRow(cur[0], cur + 1, prior + 1, rowBytes, offset);
            Placement at{static_cast<int>(y / step), pass.Col, pass.ColStep, pw};
            if (step == 1) convertRow(*owner_, *h, cur + 1, at);
            else if (y % step == 0 && pickPixels(*h, pass, step, pw, cur + 1, picked, at))
                convertRow(*owner_, *h, picked.data(), at);
            std::swap(prior, cur);
        }
    }
    reader.Finish();
    // A preview's header tells the size it holds.
    h->IHDRData.Width = static_cast<uint32_t>(h->BitmapInfo.biWidth);
    h->IHDRData.Height = static_cast<uint32_t>(h->BitmapInfo.biHeight);
    return true;
}

}  // namespace png
