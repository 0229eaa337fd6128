#include "png/pngio.h"

#include <algorithm>
#include <istream>
#include <new>
#include <ostream>

#include "png/pngimage.h"
#include "png/pngrows.h"

namespace png {

bool ReadExact(std::istream& s, void* buffer, size_t n) {
    return ReadSome(s, static_cast<uint8_t*>(buffer), n) == n;
}

size_t ReadSome(std::istream& s, uint8_t* buffer, size_t n) {
    if (n == 0 || !s) return 0;
    s.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(n));
    return static_cast<size_t>(s.gcount());
}

bool ReadBE32(std::istream& s, uint32_t& value) {
    uint8_t b[4];
    if (!ReadExact(s, b, 4)) return false;
    value = BE32(b);
    return true;
}

size_t ReadUpTo(std::istream& s, std::vector<uint8_t>& out, uint64_t n) {
    constexpr size_t kPiece = 1 << 16;
    const size_t start = out.size();
    uint64_t left = n;
    while (left > 0) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(left, kPiece));
        const size_t at = out.size();
        out.resize(at + want);
        const size_t got = ReadSome(s, out.data() + at, want);
        out.resize(at + got);
        left -= got;
        if (got < want) break;
    }
    return out.size() - start;
}

bool Skip(std::istream& s, uint64_t n) {
    uint8_t buf[4096];
    while (n > 0) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(n, sizeof buf));
        if (ReadSome(s, buf, want) != want) return false;
        n -= want;
    }
    return true;
}

uint64_t BytesLeft(std::istream& s) {
    const std::istream::pos_type at = s.tellg();
    if (at == std::istream::pos_type(-1)) return UINT64_MAX;
    s.seekg(0, std::ios::end);
    const std::istream::pos_type end = s.tellg();
    s.seekg(at);
    if (end == std::istream::pos_type(-1) || !s || end < at) {
        s.clear();
        s.seekg(at);
        return UINT64_MAX;
    }
    return static_cast<uint64_t>(end - at);
}

uLong CrcOf(uLong crc, const uint8_t* p, size_t n) {
    while (n > 0) {
        const uInt piece = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
        crc = crc32(crc, p, piece);
        p += piece;
        n -= piece;
    }
    return crc;
}

void WriteChunk(std::ostream& s, const std::string& type, const uint8_t* data, size_t n) {
    uint8_t head[8];
    PutBE32(head, static_cast<uint32_t>(n));
    std::copy(type.begin(), type.begin() + 4, head + 4);
    uLong crc = crc32(0, head + 4, 4);
    crc = CrcOf(crc, data, n);
    uint8_t tail[4];
    PutBE32(tail, static_cast<uint32_t>(crc));
    s.write(reinterpret_cast<const char*>(head), 8);
    if (n) s.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(n));
    s.write(reinterpret_cast<const char*>(tail), 4);
}

size_t BytesForPixels(uint8_t colorType, uint8_t depth, uint64_t n) {
    switch (colorType) {
        case COLOR_GRAYSCALE:
        case COLOR_PALETTE: return static_cast<size_t>((n * depth + 7) / 8);
        case COLOR_RGB: return static_cast<size_t>(n * depth * 3 / 8);
        case COLOR_GRAYSCALEALPHA: return static_cast<size_t>(n * depth * 2 / 8);
        case COLOR_RGBALPHA: return static_cast<size_t>(n * depth * 4 / 8);
        default: return 0;
    }
}

uint64_t FilteredImageBytes(const TIHDRData& h) {
    const bool interlaced = h.InterlaceMethod == imAdam7;
    uint64_t total = 0;
    for (int p = 0; p < (interlaced ? 7 : 1); ++p) {
        const TAdamPass& pass = interlaced ? kAdam7[p] : kWholeImage;
        const uint32_t w = PassWidth(h.Width, pass), rows = PassHeight(h.Height, pass);
        if (w > 0) total += uint64_t(rows) * (1 + BytesForPixels(h.ColorType, h.BitDepth, w));
    }
    return total;
}

int PixelOffset(uint8_t colorType, uint8_t depth) {
    switch (colorType) {
        case COLOR_GRAYSCALE: return depth == 16 ? 2 : 1;
        case COLOR_PALETTE: return 1;
        case COLOR_RGB: return depth * 3 / 8;
        case COLOR_GRAYSCALEALPHA: return depth / 4;
        case COLOR_RGBALPHA: return depth / 2;
        default: return 0;
    }
}

bool ValidColorDepth(uint8_t colorType, uint8_t depth) {
    switch (colorType) {
        case COLOR_GRAYSCALE: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case COLOR_PALETTE: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        case COLOR_RGB:
        case COLOR_GRAYSCALEALPHA:
        case COLOR_RGBALPHA: return depth == 8 || depth == 16;
        default: return false;
    }
}

int DibBitCount(uint8_t colorType, uint8_t depth) {
    switch (colorType) {
        case COLOR_GRAYSCALE:
        case COLOR_PALETTE: return depth == 2 ? 4 : depth == 16 ? 8 : depth;
        case COLOR_GRAYSCALEALPHA: return 8;
        case COLOR_RGB:
        case COLOR_RGBALPHA: return 24;
        default: return 0;
    }
}

void CheckBudget(const TPNGObject& png, uint8_t colorType, uint8_t depth, uint64_t width, uint64_t height) {
    const uint64_t pixels = width * height;
    const bool alpha = colorType == COLOR_GRAYSCALEALPHA || colorType == COLOR_RGBALPHA;
    // A 16-bit image keeps its low bytes in planes of their own.
    const uint64_t planes = depth == 16 ? 2 : 1;
    const uint64_t bytes = planes * (DibRowBytes(DibBitCount(colorType, depth), width) * height + (alpha ? pixels : 0));
    if (pixels > png.MaxPixels || bytes > png.MaxBytes) throw EPNGOutMemory(LoadResString(EPNGOutMemoryText));
}

void AllocatePlane(TPlane& plane, uint64_t bytes) {
    try {
        TPlane fresh;
        fresh.resize(static_cast<size_t>(bytes));
        plane.swap(fresh);
    } catch (const std::bad_alloc&) {
        throw EPNGOutMemory(LoadResString(EPNGOutMemoryText));
    }
}

bool InflateText(const uint8_t* data, size_t n, std::string& out) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(std::min<size_t>(n, 0xFFFFFFFFu));
    uint8_t window[256];
    int r = Z_OK;
    bool ok = false;
    for (;;) {
        z.next_out = window;
        z.avail_out = sizeof window;
        r = inflate(&z, Z_NO_FLUSH);
        out.append(reinterpret_cast<char*>(window), sizeof window - z.avail_out);
        if (r == Z_STREAM_END) { ok = true; break; }
        // A dictionary request or no progress with the input spent ends it.
        if (r != Z_OK || out.size() > kMaxTextSize) break;
    }
    inflateEnd(&z);
    if (!ok || out.size() > kMaxTextSize) out.clear();
    return ok && out.size() <= kMaxTextSize;
}

bool DeflateText(const std::string& text, int level, std::string& out) {
    z_stream z{};
    if (deflateInit(&z, level) != Z_OK) return false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    uint8_t window[256];
    int r;
    do {
        z.next_out = window;
        z.avail_out = sizeof window;
        r = deflate(&z, Z_FINISH);
        out.append(reinterpret_cast<char*>(window), sizeof window - z.avail_out);
    } while (r == Z_OK);
    deflateEnd(&z);
    return r == Z_STREAM_END;
}

}  // namespace png
