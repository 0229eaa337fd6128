#pragma once
// Internal helpers of the codec: big-endian numbers, reading that never
// trusts a length, chunk framing, the sample layout and zlib for texts.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "png/pngimage.h"

namespace png {

inline uint32_t BE32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline void PutBE32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// All N bytes, or false.
bool ReadExact(std::istream& s, void* buffer, size_t n);
bool ReadBE32(std::istream& s, uint32_t& value);
// Appends up to N bytes to Out (in pieces, so memory follows what the
// stream really holds); returns how many were read.
size_t ReadUpTo(std::istream& s, std::vector<uint8_t>& out, uint64_t n);
// At most N bytes into Buffer; returns how many were read.
size_t ReadSome(std::istream& s, uint8_t* buffer, size_t n);
bool Skip(std::istream& s, uint64_t n);
// Bytes from the read position to the stream's end; UINT64_MAX when the
// stream cannot tell.
uint64_t BytesLeft(std::istream& s);

// zlib's CRC-32 over any length.
uLong CrcOf(uLong crc, const uint8_t* p, size_t n);
// Length, type, data and CRC.
void WriteChunk(std::ostream& s, const std::string& type, const uint8_t* data, size_t n);

// Bytes of N pixels of a PNG row, and the filter's bytes per whole pixel.
size_t BytesForPixels(uint8_t colorType, uint8_t depth, uint64_t n);
// The inflated image data: every row of every pass with its filter byte.
uint64_t FilteredImageBytes(const TIHDRData& h);
int PixelOffset(uint8_t colorType, uint8_t depth);
// The colour type and depth pairs of the PNG standard.
bool ValidColorDepth(uint8_t colorType, uint8_t depth);
// Bits per pixel of the bitmap that holds an image of that type.
int DibBitCount(uint8_t colorType, uint8_t depth);

// Raises EPNGOutMemory when the planes of an image of that type and size
// are beyond the image's budget.
void CheckBudget(const TPNGObject& png, uint8_t colorType, uint8_t depth, uint64_t width, uint64_t height);
// Sizes a zeroed plane, raising EPNGOutMemory when memory runs out.
void AllocatePlane(TPlane& plane, uint64_t bytes);

// One zlib stream through a 256-byte window; false on a zlib failure, a
// preset dictionary or an output beyond kMaxTextSize.
bool InflateText(const uint8_t* data, size_t n, std::string& out);
bool DeflateText(const std::string& text, int level, std::string& out);

}  // namespace png
