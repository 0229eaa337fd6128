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
