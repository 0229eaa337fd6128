// Fuzz target: any bytes through the PNG decoder; what loads is drawn,
// blended, read pixel by pixel and written again.
#include <cstdint>
#include <cstring>
#include <sstream>
#include <streambuf>

#include "png/pngimage.h"

namespace {

// Reads the caller's bytes in place.
struct MemoryBuf : std::streambuf {
    MemoryBuf(const uint8_t* data, size_t size) {
        char* p = reinterpret_cast<char*>(const_cast<uint8_t*>(data));
        setg(p, p, p + size);
    }
};

// Keeps the run's memory small: large images are the decoder's size check's
// business, which the crafted-file tests cover.
bool smallEnough(const uint8_t* data, size_t size) {
    if (size < 24) return true;
    const uint64_t w = uint64_t(data[16]) << 24 | uint64_t(data[17]) << 16 | uint64_t(data[18]) << 8 | data[19];
    const uint64_t h = uint64_t(data[20]) << 24 | uint64_t(data[21]) << 16 | uint64_t(data[22]) << 8 | data[23];
    return w * h <= (1u << 22);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!smallEnough(data, size)) return 0;
    MemoryBuf buf(data, size);
    std::istream in(&buf);
    png::TPNGObject image;
    try {
        image.LoadFromStream(in);
    } catch (const rtl::Exception&) {
        return 0;
    }
    const int w = image.GetWidth(), h = image.GetHeight();
    try {
        (void)png::RenderImage(image, w > 64 ? 64 : w, h > 64 ? 64 : h);
        if (image.GetTransparencyMode() == png::ptmPartial) {
            std::vector<uint32_t> target(size_t(w) * size_t(h), 0xFF808080u);
            png::BlendPartial(image, target.data(), w, h);
        }
    } catch (const rtl::Exception&) {
    }
    for (int y = 0; y < h; y += 7)
        for (int x = 0; x < w; x += 5) (void)image.GetPixels(x, y);
    std::ostringstream out;
    image.SaveToStream(out);
    return 0;
}
