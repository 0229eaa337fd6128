// Fuzz target: any bytes through the PNG decoder, whole and as a preview;
// what loads is drawn, blended, read pixel by pixel and written again, and
// what fails must leave nothing to write.
#include <cstdint>
#include <cstdlib>
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

void exercise(const uint8_t* data, size_t size, int previewSize) {
    MemoryBuf buf(data, size);
    std::istream in(&buf);
    png::TPNGObject image;
    // Keeps the run's memory small; the budget refuses larger images before
    // anything is allocated.
    image.MaxPixels = 1 << 22;
    image.MaxBytes = 64 << 20;
    try {
        if (previewSize) image.LoadPreview(in, previewSize);
        else image.LoadFromStream(in);
    } catch (const rtl::Exception&) {
        if (!image.GetEmpty()) std::abort();
        std::ostringstream out;
        try {
            image.SaveToStream(out);
        } catch (const rtl::Exception&) {
            return;
        }
        std::abort();  // a failed load left something to save
    }
    const int w = image.GetWidth(), h = image.GetHeight();
    try {
        (void)png::RenderImage(image, w > 64 ? 64 : w, h > 64 ? 64 : h);
        if (image.GetTransparencyMode() != png::ptmNone) {
            std::vector<uint32_t> target(size_t(w) * size_t(h), 0xFF808080u);
            png::BlendPartial(image, target.data(), w, h);
        }
    } catch (const rtl::Exception&) {
    }
    for (int y = 0; y < h; y += 7)
        for (int x = 0; x < w; x += 5) (void)image.GetPixels(x, y);
    if (image.IsPreview()) return;
    std::ostringstream out;
    image.SaveToStream(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    exercise(data, size, 0);
    exercise(data, size, 7);
    return 0;
}
