#pragma once
// Row geometry shared by decoding and encoding: the bitmap's row size, the
// Adam7 passes and the five row filters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace png {

// Bytes of one bitmap row, padded to four bytes.
inline size_t DibRowBytes(int bitCount, uint64_t width) {
    return static_cast<size_t>((uint64_t(bitCount) * width + 31) / 32 * 4);
}

struct TAdamPass {
    uint32_t Row, Col, RowStep, ColStep;
};
// The seven passes; a non-interlaced image is one pass of steps 1.
extern const TAdamPass kAdam7[7];
extern const TAdamPass kWholeImage;

inline uint32_t PassWidth(uint32_t width, const TAdamPass& p) {
    return width > p.Col ? (width - p.Col + p.ColStep - 1) / p.ColStep : 0;
}
inline uint32_t PassHeight(uint32_t height, const TAdamPass& p) {
    return height > p.Row ? (height - p.Row + p.RowStep - 1) / p.RowStep : 0;
}

// The step a preview of at least Size pixels on its longer side decodes
// with: a power of two, 1 for a whole image (Size 0).
inline uint32_t PreviewStep(uint32_t width, uint32_t height, int size) {
    const uint32_t longer = width > height ? width : height;
    uint32_t step = 1;
    while (size > 0 && (longer + 2 * step - 1) / (2 * step) >= uint32_t(size)) step *= 2;
    return step;
}
// Pixels of a side of N pixels decoded with Step.
inline uint32_t Stepped(uint32_t n, uint32_t step) { return (n + step - 1) / step; }

// Sample X of a row packed Bits (1, 2 or 4) to a byte, most significant
// first; and writing one, the byte's other samples kept.
inline unsigned PackedSample(const uint8_t* row, size_t x, int bits) {
    const unsigned per = 8u / unsigned(bits);
    return (row[x / per] >> (8u - unsigned(bits) * (1 + x % per))) & ((1u << bits) - 1);
}
inline void PutPackedSample(uint8_t* row, size_t x, int bits, unsigned v) {
    const unsigned per = 8u / unsigned(bits), shift = 8u - unsigned(bits) * (1 + x % per);
    const unsigned mask = ((1u << bits) - 1) << shift;
    row[x / per] = uint8_t((row[x / per] & ~mask) | ((v << shift) & mask));
}

// Prefers left, then above, then upper left on ties.
inline uint8_t PaethPredictor(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    if (pb <= pc) return static_cast<uint8_t>(b);
    return static_cast<uint8_t>(c);
}

// Reverses filter Type on N bytes of X against the previous row Prior;
// unknown types leave the row as it is.
void UnfilterRow(uint8_t type, uint8_t* x, const uint8_t* prior, size_t n, int offset);
// Applies filter Type to X into Out.
void FilterRow(uint8_t type, const uint8_t* x, const uint8_t* prior, uint8_t* out, size_t n, int offset);

}  // namespace png
