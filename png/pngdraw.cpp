// The drawing rules over plain pixel buffers: stretching, the transparent
// colour's mask and the partial-transparency blend.
#include <algorithm>

#include "png/pngimage.h"

namespace png {

namespace {

inline uint32_t opaque(uint8_t r, uint8_t g, uint8_t b) { return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | b; }

// The index held by pixel X of a bitmap row of BitCount 1, 4 or 8.
inline int indexAt(const uint8_t* row, int x, int bitCount) {
    switch (bitCount) {
        case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 4: return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
        default: return row[x];
    }
}

// The colour a pixel shows, as 0xFFRRGGBB.
inline uint32_t shownColour(const TChunkIHDR& h, const uint8_t* row, int x) {
    if (h.BitmapInfo.biBitCount == 24) {
        const uint8_t* p = row + 3 * size_t(x);
        return opaque(p[2], p[1], p[0]);
    }
    const TRGBQuad& q = h.BitmapInfo.bmiColors[indexAt(row, x, h.BitmapInfo.biBitCount)];
    return opaque(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

inline uint8_t blend(int a, int s, int d) { return uint8_t((a * s + (255 - a) * d + 255) >> 8); }

inline void blendPixel(uint32_t& d, int a, uint8_t r, uint8_t g, uint8_t b) {
    d = 0xFF000000u | uint32_t(blend(a, r, (d >> 16) & 0xFF)) << 16 | uint32_t(blend(a, g, (d >> 8) & 0xFF)) << 8 |
        blend(a, b, d & 0xFF);
}

void checkArea(int w, int h) {
    if (uint64_t(w) * uint64_t(h) * 4 > kMaxImageBytes) throw EPNGOutMemory(LoadResString(EPNGOutMemoryText));
}

}  // namespace

std::vector<int> StretchMap(int size, int count) {
    std::vector<int> map(size_t(std::max(count, 0)));
    const double factor = double(count) / size;
    for (int i = 0; i < count; ++i) map[size_t(i)] = count == size ? i : std::min(int(i / factor), size - 1);
    return map;
}

std::vector<uint32_t> RenderImage(const TPNGObject& image, int w, int h, bool masked) {
    checkArea(w, h);
    const TChunkIHDR& hdr = *image.Header();
    const std::vector<int> cols = StretchMap(image.GetWidth(), w), rows = StretchMap(image.GetHeight(), h);
    uint32_t key = 0;
    if (masked) {
        const TColor c = image.GetTransparentColor();
        key = opaque(uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16));
    }
    std::vector<uint32_t> out(size_t(w) * size_t(h));
    for (int j = 0; j < h; ++j) {
        const uint8_t* row = image.GetScanline(rows[size_t(j)]);
        uint32_t* d = out.data() + size_t(j) * size_t(w);
        for (int i = 0; i < w; ++i) {
            const uint32_t c = shownColour(hdr, row, cols[size_t(i)]);
            d[i] = masked && c == key ? 0 : c;
        }
    }
    return out;
}

std::vector<uint32_t> PartialSource(const TPNGObject& image, int w, int h) {
    checkArea(w, h);
    const TChunkIHDR& hdr = *image.Header();
    const std::vector<int> cols = StretchMap(image.GetWidth(), w), rows = StretchMap(image.GetHeight(), h);
    const uint8_t ct = hdr.ColorType();
    const TChunkPLTE* plte = nullptr;
    const TChunktRNS* trns = image.Chunks.FindChunk<TChunktRNS>();
    if (ct == COLOR_PALETTE) {
        plte = image.Chunks.FindChunk<TChunkPLTE>();
        if (!plte) throw EPNGMissingPalette(LoadResString(EPNGMissingPaletteText));
    }
    std::vector<uint32_t> out(size_t(w) * size_t(h));
    for (int j = 0; j < h; ++j) {
        const int sy = rows[size_t(j)];
        const uint8_t* row = image.GetScanline(sy);
        const uint8_t* alpha = image.GetAlphaScanline(sy);
        uint32_t* d = out.data() + size_t(j) * size_t(w);
        for (int i = 0; i < w; ++i) {
            const int sx = cols[size_t(i)];
            uint32_t a = 255, rgb;
            if (ct == COLOR_RGBALPHA) {
                const uint8_t* p = row + 3 * size_t(sx);
                a = alpha[sx];
                rgb = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
            } else if (ct == COLOR_GRAYSCALEALPHA) {
                // The sample itself, not its colour-table entry.
                a = alpha[sx];
                rgb = uint32_t(row[sx]) * 0x010101u;
            } else if (ct == COLOR_PALETTE) {
                const int index = indexAt(row, sx, hdr.BitmapInfo.biBitCount);
                if (trns) a = trns->PaletteValues[index];
                // An index past the palette draws black.
                rgb = index < plte->Count ? plte->GetPaletteItem(index) : 0;
            } else {
                rgb = shownColour(hdr, row, sx) & 0xFFFFFF;
            }
            d[i] = a << 24 | rgb;
        }
    }
    return out;
}

void BlendPartial(const TPNGObject& image, uint32_t* target, int w, int h) {
    const std::vector<uint32_t> source = PartialSource(image, w, h);
    for (size_t i = 0; i < source.size(); ++i) {
        const uint32_t s = source[i];
        // At alpha 0 and 255 the rule leaves the target or copies the colour.
        blendPixel(target[i], int(s >> 24), uint8_t(s >> 16), uint8_t(s >> 8), uint8_t(s));
    }
}

}  // namespace png
