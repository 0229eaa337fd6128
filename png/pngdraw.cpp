// The drawing rules over plain pixel buffers: what each pixel shows (the
// file's samples through the gamma table) and how transparent it is (the
// alpha plane, each palette entry's alpha, or the transparent sample), then
// stretching and the blend.
#include <algorithm>

#include "png/pngimage.h"
#include "png/pngrows.h"

namespace png {

namespace {

inline uint32_t argb(uint32_t a, uint8_t r, uint8_t g, uint8_t b) {
    return a << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}

inline uint8_t blend(int a, int s, int d) { return uint8_t((a * s + (255 - a) * d + 255) >> 8); }

inline void blendPixel(uint32_t& d, int a, uint8_t r, uint8_t g, uint8_t b) {
    d = 0xFF000000u | uint32_t(blend(a, r, (d >> 16) & 0xFF)) << 16 | uint32_t(blend(a, g, (d >> 8) & 0xFF)) << 8 |
        blend(a, b, d & 0xFF);
}

void checkArea(int w, int h) {
    if (uint64_t(w) * uint64_t(h) * 4 > kMaxImageBytes) throw EPNGOutMemory(LoadResString(EPNGOutMemoryText));
}

// The pixels of an image as drawn: 0xAARRGGBB, colour through the gamma
// table, alpha as the file says. Transparency keys on the palette index or
// on the whole sample before gamma, never on the colour shown.
class PixelSource {
public:
    explicit PixelSource(const TPNGObject& image) : png_(image), h_(*image.Header()), gamma_(image.GammaTable) {
        const uint8_t ct = h_.ColorType(), depth = h_.BitDepth();
        const TChunktRNS* trns = image.Chunks.FindChunk<TChunktRNS>();
        if (trns && (ct == COLOR_GRAYSCALE || ct == COLOR_RGB)) {
            keyed_ = trns->DataSize() == (ct == COLOR_GRAYSCALE ? 2u : 6u);
            for (int i = 0; keyed_ && i < (ct == COLOR_GRAYSCALE ? 1 : 3); ++i)
                key_[i] = uint32_t(trns->Data()[2 * i]) << 8 | trns->Data()[2 * i + 1];
        }
        int entries = 256;
        if (ct == COLOR_PALETTE) {
            const TChunkPLTE* plte = image.Chunks.FindChunk<TChunkPLTE>();
            if (!plte) throw EPNGMissingPalette(LoadResString(EPNGMissingPaletteText));
            entries = plte->Count;
        }
        // Colour-table images: one lookup per index.
        for (int i = 0; i < 256; ++i) {
            const TRGBQuad q = i < entries ? h_.BitmapInfo.bmiColors[i] : TRGBQuad();
            uint32_t a = 255;
            if (ct == COLOR_PALETTE && trns) a = trns->PaletteValues[i];
            // Two-bit grey is held as five times its sample.
            if (ct == COLOR_GRAYSCALE && keyed_ && depth < 16 && (depth != 2 || i % 5 == 0))
                a = uint32_t(depth == 2 ? i / 5 : i) == key_[0] ? 0 : 255;
            table_[i] = argb(a, gamma_[q.rgbRed], gamma_[q.rgbGreen], gamma_[q.rgbBlue]);
        }
    }

    void Row(int y) {
        row_ = png_.GetScanline(y);
        extra_ = png_.GetExtraScanline(y);
        alpha_ = png_.GetAlphaScanline(y);
    }

    uint32_t At(int x) const {
        switch (h_.BitmapInfo.biBitCount) {
            case 1: return table_[PackedSample(row_, size_t(x), 1)];
            case 4: return table_[PackedSample(row_, size_t(x), 4)];
            case 8: {
                const uint32_t c = table_[row_[x]];
                if (alpha_) return (c & 0xFFFFFF) | uint32_t(alpha_[x]) << 24;
                if (extra_ && keyed_) return (c & 0xFFFFFF) | (sample(row_, extra_, x) == key_[0] ? 0u : 0xFF000000u);
                return c;
            }
            default: {
                const size_t at = 3 * size_t(x);
                const uint8_t* p = row_ + at;
                uint32_t a = alpha_ ? alpha_[x] : 255;
                if (keyed_ && !extra_ && p[2] == key_[0] && p[1] == key_[1] && p[0] == key_[2]) a = 0;
                if (keyed_ && extra_ && sample(row_, extra_, at + 2) == key_[0] &&
                    sample(row_, extra_, at + 1) == key_[1] && sample(row_, extra_, at) == key_[2])
                    a = 0;
                return argb(a, gamma_[p[2]], gamma_[p[1]], gamma_[p[0]]);
            }
        }
    }

private:
    static uint32_t sample(const uint8_t* high, const uint8_t* low, size_t i) { return uint32_t(high[i]) << 8 | low[i]; }

    const TPNGObject& png_;
    const TChunkIHDR& h_;
    const uint8_t* gamma_;
    bool keyed_ = false;
    uint32_t key_[3] = {};
    uint32_t table_[256];
    const uint8_t* row_ = nullptr;
    const uint8_t* extra_ = nullptr;
    const uint8_t* alpha_ = nullptr;
};

// The drawn pixels stretched to W x H.
std::vector<uint32_t> drawnPixels(const TPNGObject& image, int w, int h, uint32_t opaque) {
    checkArea(w, h);
    PixelSource source(image);
    const std::vector<int> cols = StretchMap(image.GetWidth(), w), rows = StretchMap(image.GetHeight(), h);
    std::vector<uint32_t> out(size_t(w) * size_t(h));
    for (int j = 0; j < h; ++j) {
        source.Row(rows[size_t(j)]);
        uint32_t* d = out.data() + size_t(j) * size_t(w);
        for (int i = 0; i < w; ++i) d[i] = source.At(cols[size_t(i)]) | opaque;
    }
    return out;
}

}  // namespace

std::vector<int> StretchMap(int size, int count) {
    std::vector<int> map(size_t(std::max(count, 0)));
    const double factor = double(count) / size;
    for (int i = 0; i < count; ++i) map[size_t(i)] = count == size ? i : std::min(int(i / factor), size - 1);
    return map;
}

std::vector<uint32_t> RenderImage(const TPNGObject& image, int w, int h) {
    return drawnPixels(image, w, h, 0xFF000000u);
}

std::vector<uint32_t> PartialSource(const TPNGObject& image, int w, int h) { return drawnPixels(image, w, h, 0); }

void BlendPixels(const uint32_t* source, uint32_t* target, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint32_t s = source[i];
        // At alpha 0 and 255 the rule leaves the target or copies the colour.
        blendPixel(target[i], int(s >> 24), uint8_t(s >> 16), uint8_t(s >> 8), uint8_t(s));
    }
}

void BlendPartial(const TPNGObject& image, uint32_t* target, int w, int h) {
    const std::vector<uint32_t> source = PartialSource(image, w, h);
    BlendPixels(source.data(), target, source.size());
}

TColor TPNGObject::GetPixels(int x, int y) const {
    if (!HeaderPresent() || x < 0 || y < 0 || x >= GetWidth() || y >= GetHeight()) return 0;
    PixelSource source(*this);
    source.Row(y);
    const uint32_t c = source.At(x);
    return TColor((c >> 16 & 0xFF) | (c & 0xFF00) | (c & 0xFF) << 16);
}

}  // namespace png
