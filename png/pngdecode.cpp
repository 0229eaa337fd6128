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
    Palette.clear();
    HasPalette = false;
}

void TChunkIHDR::PrepareImageData() {
    BitmapInfo = TBitmapInfo();
    FreeImageData();
    const uint8_t ct = IHDRData.ColorType, depth = IHDRData.BitDepth;
    BitmapInfo.biBitCount = DibBitCount(ct, depth);
    HasPalette = ct == COLOR_GRAYSCALE || ct == COLOR_PALETTE || ct == COLOR_GRAYSCALEALPHA;
    BitmapInfo.biWidth = static_cast<int>(IHDRData.Width);
    BitmapInfo.biHeight = static_cast<int>(IHDRData.Height);
    BytesPerRow = DibRowBytes(BitmapInfo.biBitCount, IHDRData.Width);
    const uint64_t h = IHDRData.Height;
    if (ct == COLOR_GRAYSCALEALPHA || ct == COLOR_RGBALPHA) AllocatePlane(ImageAlpha, uint64_t(IHDRData.Width) * h);
    if (depth == 16) AllocatePlane(ExtraImageData, uint64_t(BytesPerRow) * h);
    AllocatePlane(ImageData, uint64_t(BytesPerRow) * h);
    if (HasPalette && BitmapInfo.biBitCount > 0) {
        TPalette pal = ct == COLOR_PALETTE ? halftonePalette() : CreateGrayscalePalette(depth);
        pal.resize(size_t(1) << BitmapInfo.biBitCount);
        Palette = pal;
        PaletteToDIB(pal);
        BitmapInfo.biClrUsed = static_cast<int>(pal.size());
    }
}

TPalette TChunkIHDR::CreateGrayscalePalette(int depth) const {
    // Two-bit grey is held in four bits, so its ramp has sixteen steps.
    const int bits = depth == 16 ? 8 : depth == 2 ? 4 : depth;
    const int n = 1 << bits;
    TPalette p(static_cast<size_t>(n));
    const uint8_t* g = owner_->GammaTable;
    for (int i = 0; i < n; ++i) {
        const uint8_t v = g[(i * 255 + (n - 1) / 2) / (n - 1)];
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

// Inflates the image data across consecutive IDAT chunks, checking each
// chunk's CRC as it is crossed.
class IdatReader {
public:
    IdatReader(std::istream& s, uint64_t firstLength) : s_(s), left_(firstLength), in_(65535) {
        crc_ = crc32(0, reinterpret_cast<const Bytef*>("IDAT"), 4);
        const int r = inflateInit(&z_);
        if (r != Z_OK) fail(r);
    }
    ~IdatReader() { inflateEnd(&z_); }
    IdatReader(const IdatReader&) = delete;
    IdatReader& operator=(const IdatReader&) = delete;

    // Fills Count bytes; fewer when the data ends.
    size_t Read(uint8_t* buffer, size_t count) {
        if (ended_) return 0;
        z_.next_out = buffer;
        z_.avail_out = static_cast<uInt>(count);
        while (z_.avail_out > 0) {
            while (left_ == 0 && z_.avail_in == 0) nextChunk();  // empty chunks are crossed
            if (z_.avail_in == 0) {
                const size_t want = static_cast<size_t>(std::min<uint64_t>(left_, in_.size()));
                const size_t got = ReadSome(s_, in_.data(), want);
                left_ -= got;
                crc_ = crc32(crc_, in_.data(), static_cast<uInt>(got));
                z_.next_in = in_.data();
                z_.avail_in = static_cast<uInt>(got);
                if (got == 0) { truncated_ = true; break; }
            }
            const int r = inflate(&z_, Z_NO_FLUSH);
            if (r == Z_STREAM_END) { ended_ = true; break; }
            if (r != Z_OK) fail(r);
        }
        return count - z_.avail_out;
    }

    // The rest of the current chunk goes into its CRC, then the CRC is checked.
    void Finish() {
        if (!truncated_) {
            std::vector<uint8_t> rest;
            const size_t got = ReadUpTo(s_, rest, left_);
            crc_ = CrcOf(crc_, rest.data(), got);
            left_ -= got;
        }
        checkCrc();
    }

private:
    [[noreturn]] void fail(int code) {
        throw EPNGZLIBError(LoadResString(EPNGZLIBErrorText) + ZlibErrorText(code));
    }
    void checkCrc() {
        uint32_t stored = 0;
        if (left_ != 0 || !ReadBE32(s_, stored) || stored != crc_)
            throw EPngInvalidCRC(LoadResString(EPngInvalidCRCText));
    }
    void nextChunk() {
        checkCrc();
        uint32_t length = 0;
        char type[4] = {};
        if (!ReadBE32(s_, length) || !ReadExact(s_, type, 4) || std::memcmp(type, "IDAT", 4) != 0)
            throw EPNGMissingMultipleIDAT(LoadResString(EPNGMissingMultipleIDATText));
        crc_ = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
        left_ = length;
    }

    std::istream& s_;
    uint64_t left_;
    std::vector<uint8_t> in_;
    z_stream z_{};
    uLong crc_;
    bool ended_ = false;
    bool truncated_ = false;
};

// A two-bit sample as the four-bit entry that holds it.
inline uint8_t nibbleOf2(uint8_t colorType, unsigned s) {
    return static_cast<uint8_t>(colorType == COLOR_GRAYSCALE ? s * 5 : s);
}

// Colour samples, three or four a pixel of one or two bytes each, into the
// blue-green-red image row (high bytes), the extra row (low bytes) and the
// alpha row.
template <int Channels, int Bytes, bool Identity>
void colourPixels(const uint8_t* src, uint8_t* dst, uint8_t* ex, uint8_t* a, const uint8_t* g, uint32_t first,
                  uint32_t step, uint32_t count) {
    auto map = [g](uint8_t v) { return Identity ? v : g[v]; };
    for (uint32_t k = 0, c = first; k < count; ++k, c += step) {
        const uint8_t* s = src + size_t(Channels * Bytes) * k;
        uint8_t* d = dst + 3 * size_t(c);
        d[0] = map(s[2 * Bytes]), d[1] = map(s[Bytes]), d[2] = map(s[0]);
        if constexpr (Bytes == 2) {
            uint8_t* e = ex + 3 * size_t(c);
            e[0] = map(s[5]), e[1] = map(s[3]), e[2] = map(s[1]);
        }
        if constexpr (Channels == 4) a[c] = s[3 * Bytes];
    }
}

template <int Channels, int Bytes>
void colourPixels(bool identity, const uint8_t* src, uint8_t* dst, uint8_t* ex, uint8_t* a, const uint8_t* g,
                  uint32_t first, uint32_t step, uint32_t count) {
    if (identity) colourPixels<Channels, Bytes, true>(src, dst, ex, a, g, first, step, count);
    else colourPixels<Channels, Bytes, false>(src, dst, ex, a, g, first, step, count);
}

void colourRow(const TPNGObject& png, const uint8_t* src, int y, uint32_t first, uint32_t step, uint32_t count,
               bool alpha, bool wide, bool identity) {
    uint8_t* dst = png.GetScanline(y);
    uint8_t* ex = wide ? png.GetExtraScanline(y) : nullptr;
    uint8_t* a = alpha ? png.GetAlphaScanline(y) : nullptr;
    const uint8_t* g = png.GammaTable;
    if (alpha && wide) colourPixels<4, 2>(identity, src, dst, ex, a, g, first, step, count);
    else if (alpha) colourPixels<4, 1>(identity, src, dst, ex, a, g, first, step, count);
    else if (wide) colourPixels<3, 2>(identity, src, dst, ex, a, g, first, step, count);
    else colourPixels<3, 1>(identity, src, dst, ex, a, g, first, step, count);
}

// Converts Count pixels of a filtered-back PNG row into image row Y at
// columns First, First + Step...
void convertRow(const TPNGObject& png, TChunkIHDR& h, const uint8_t* src, int y, uint32_t first, uint32_t step,
                uint32_t count, bool identity) {
    uint8_t* dst = png.GetScanline(y);
    const uint8_t ct = h.ColorType(), depth = h.BitDepth();
    switch (ct) {
        case COLOR_GRAYSCALE:
        case COLOR_PALETTE:
            if (depth == 16) {  // grey only
                uint8_t* ex = png.GetExtraScanline(y);
                for (uint32_t k = 0, c = first; k < count; ++k, c += step) {
                    dst[c] = src[2 * k];
                    ex[c] = src[2 * k + 1];
                }
            } else if (depth == 8) {
                if (step == 1) std::memcpy(dst, src, count);
                else
                    for (uint32_t k = 0, c = first; k < count; ++k, c += step) dst[c] = src[k];
            } else if (depth == 2) {
                for (uint32_t k = 0, c = first; k < count; ++k, c += step) {
                    const unsigned s = (src[k >> 2] >> (6 - 2 * (k & 3))) & 3;
                    const uint8_t v = nibbleOf2(ct, s);
                    uint8_t& b = dst[c >> 1];
                    b = (c & 1) ? uint8_t((b & 0xF0) | v) : uint8_t((b & 0x0F) | (v << 4));
                }
            } else if (step == 1) {
                std::memcpy(dst, src, (size_t(count) * depth + 7) / 8);
            } else {
                const unsigned per = 8 / depth, mask = (1u << depth) - 1;
                for (uint32_t k = 0, c = first; k < count; ++k, c += step) {
                    const unsigned s = (src[k / per] >> (8 - depth - depth * (k % per))) & mask;
                    uint8_t& b = dst[c / per];
                    const unsigned shift = 8 - depth - depth * (c % per);
                    b = uint8_t((b & ~(mask << shift)) | (s << shift));
                }
            }
            break;
        case COLOR_RGB:
        case COLOR_RGBALPHA:
            colourRow(png, src, y, first, step, count, ct == COLOR_RGBALPHA, depth == 16, identity);
            break;
        case COLOR_GRAYSCALEALPHA: {
            uint8_t* a = png.GetAlphaScanline(y);
            if (depth == 8) {
                for (uint32_t k = 0, c = first; k < count; ++k, c += step) {
                    dst[c] = src[2 * k];
                    a[c] = src[2 * k + 1];
                }
            } else {
                uint8_t* ex = png.GetExtraScanline(y);
                for (uint32_t k = 0, c = first; k < count; ++k, c += step) {
                    dst[c] = src[4 * k];
                    ex[c] = src[4 * k + 1];
                    a[c] = src[4 * k + 2];
                }
            }
            break;
        }
        default: break;
    }
}

}  // namespace

bool TChunkIDAT::LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) {
    TChunkIHDR* h = GetHeader();
    if (!h) throw EPNGHeaderNotPresent(LoadResString(EPNGHeaderNotPresentText));
    const uint8_t ct = h->ColorType();
    if (ct == COLOR_PALETTE && !owner_->Chunks.FindChunk<TChunkPLTE>())
        throw EPNGMissingPalette(LoadResString(EPNGMissingPaletteText));
    if (h->HasPalette && ct != COLOR_PALETTE) owner_->SetPalette(h->CreateGrayscalePalette(h->BitDepth()));

    const uint32_t width = h->Width(), height = h->Height();
    const int offset = PixelOffset(ct, h->BitDepth());
    IdatReader reader(stream, size);
    // Without gAMA the colours need no table: a plain byte swap is faster.
    bool identity = true;
    for (int i = 0; i < 256 && identity; ++i) identity = owner_->GammaTable[i] == i;
    const bool interlaced = owner_->InterlaceMethod == imAdam7;
    const TAdamPass* first = interlaced ? kAdam7 : &kWholeImage;
    const int passCount = interlaced ? 7 : 1;
    const size_t maxRow = BytesForPixels(ct, h->BitDepth(), width);
    std::vector<uint8_t> rowA(maxRow + 1), rowB(maxRow + 1);
    bool done = false;
    for (int p = 0; p < passCount && !done; ++p) {
        const TAdamPass& pass = first[p];
        const uint32_t pw = PassWidth(width, pass);
        const size_t rowBytes = BytesForPixels(ct, h->BitDepth(), pw);
        if (rowBytes == 0 || pass.Row >= height) continue;
        std::fill(rowA.begin(), rowA.end(), 0);
        uint8_t* prior = rowA.data();
        uint8_t* cur = rowB.data();
        for (uint32_t y = pass.Row; y < height; y += pass.RowStep) {
            if (reader.Read(cur, rowBytes + 1) != rowBytes + 1) { done = true; break; }
            UnfilterRow(cur[0], cur + 1, prior + 1, rowBytes, offset);
            convertRow(*owner_, *h, cur + 1, static_cast<int>(y), pass.Col, pass.ColStep, pw, identity);
            std::swap(prior, cur);
        }
    }
    reader.Finish();
    return true;
}

}  // namespace png
