// Decodes and encodes ten 2000 x 2000 images with our codec and with libpng
// in the same run, and prints the times and the encoded sizes. Both encode
// at level 7 with the Sub filter on every row (our writer's default), then
// both with no filter; both decode the files our writer made.
//   bench_png [ROUNDS, default 3]   (the best round of each is printed)
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "png/pngimage.h"

namespace {

constexpr int kSide = 2000, kImages = 10;
using Clock = std::chrono::steady_clock;

struct Picture {
    bool alpha;
    std::vector<uint8_t> rgba;  // top-down, 3 or 4 bytes a pixel, PNG order
};

// Gradients, rings and a little noise: compressible the way photos and
// drawings are, not the way flat colour is.
Picture makePicture(int seed) {
    Picture p{seed % 5 == 4, {}};
    const int n = p.alpha ? 4 : 3;
    p.rgba.resize(size_t(kSide) * kSide * n);
    std::mt19937 rng{static_cast<uint32_t>(seed)};
    std::uniform_int_distribution<int> noise(-6, 6);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            uint8_t* px = &p.rgba[(size_t(y) * kSide + x) * n];
            const int ring = ((x - 900) * (x - 900) + (y - 1100) * (y - 1100)) / (1500 + seed * 300);
            px[0] = uint8_t(std::clamp(x * 255 / kSide + noise(rng), 0, 255));
            px[1] = uint8_t(std::clamp((ring * 7) % 256 + noise(rng), 0, 255));
            px[2] = uint8_t(std::clamp((y + seed * 97) * 255 / (kSide + seed * 97) + noise(rng), 0, 255));
            if (p.alpha) px[3] = uint8_t((x / 50 + y / 50) % 2 ? 255 : (x * 255 / kSide));
        }
    return p;
}

// Our image of the same pixels.
void fill(png::TPNGObject& image, const Picture& p) {
    const int n = p.alpha ? 4 : 3;
    for (int y = 0; y < kSide; ++y) {
        uint8_t* row = image.GetScanline(y);
        uint8_t* a = image.GetAlphaScanline(y);
        const uint8_t* src = &p.rgba[size_t(y) * kSide * n];
        for (int x = 0; x < kSide; ++x) {
            row[3 * x] = src[n * x + 2];
            row[3 * x + 1] = src[n * x + 1];
            row[3 * x + 2] = src[n * x];
            if (a) a[x] = src[n * x + 3];
        }
    }
}

std::string oursEncode(png::TPNGObject& image) {
    std::ostringstream out;
    image.SaveToStream(out);
    return out.str();
}

// Reads a buffer in place, as libpng's callback below does.
struct MemoryBuf : std::streambuf {
    explicit MemoryBuf(const std::string& s) {
        char* p = const_cast<char*>(s.data());
        setg(p, p, p + s.size());
    }
};

void oursDecode(const std::string& file) {
    MemoryBuf buf(file);
    std::istream in(&buf);
    png::TPNGObject image;
    image.LoadFromStream(in);
}

void writeBytes(png_structp p, png_bytep data, png_size_t n) {
    static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(data), n);
}
void noFlush(png_structp) {}

std::string libpngEncode(const Picture& pic, int filters) {
    std::string out;
    png_structp p = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(p);
    if (setjmp(png_jmpbuf(p))) std::abort();
    png_set_write_fn(p, &out, writeBytes, noFlush);
    png_set_IHDR(p, info, kSide, kSide, 8, pic.alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(p, 7);
    png_set_filter(p, 0, filters);
    png_write_info(p, info);
    const size_t stride = size_t(kSide) * (pic.alpha ? 4 : 3);
    for (int y = 0; y < kSide; ++y) png_write_row(p, const_cast<png_bytep>(&pic.rgba[stride * y]));
    png_write_end(p, info);
    png_destroy_write_struct(&p, &info);
    return out;
}

struct Reader {
    const std::string* data;
    size_t at;
};
void readBytes(png_structp p, png_bytep out, png_size_t n) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(p));
    if (r->at + n > r->data->size()) png_error(p, "end of data");
    std::memcpy(out, r->data->data() + r->at, n);
    r->at += n;
}

// Each decode makes a new image, as ours does.
void libpngDecode(const std::string& file) {
    std::vector<uint8_t> rows;
    Reader r{&file, 0};
    png_structp p = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(p);
    if (setjmp(png_jmpbuf(p))) std::abort();
    png_set_read_fn(p, &r, readBytes);
    png_read_info(p, info);
    const size_t stride = png_get_rowbytes(p, info);
    rows.reserve(stride * png_get_image_height(p, info));
    rows.resize(stride * png_get_image_height(p, info));
    for (png_uint_32 y = 0; y < png_get_image_height(p, info); ++y) png_read_row(p, &rows[stride * y], nullptr);
    png_read_end(p, nullptr);
    png_destroy_read_struct(&p, &info, nullptr);
}

template <class F>
double seconds(F&& f) {
    const auto t = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::vector<Picture> pictures;
    std::vector<std::unique_ptr<png::TPNGObject>> images;
    for (int i = 0; i < kImages; ++i) {
        pictures.push_back(makePicture(i));
        images.push_back(std::make_unique<png::TPNGObject>(pictures.back().alpha ? png::COLOR_RGBALPHA : png::COLOR_RGB,
                                                           8, kSide, kSide));
        fill(*images.back(), pictures.back());
    }
    std::vector<std::string> ours(kImages), theirs(kImages);
    double encOurs = 1e9, encTheirs = 1e9, decOurs = 1e9, decTheirs = 1e9;
    for (int r = 0; r < rounds; ++r) {
        encOurs = std::min(encOurs, seconds([&] {
            for (int i = 0; i < kImages; ++i) ours[size_t(i)] = oursEncode(*images[size_t(i)]);
        }));
        encTheirs = std::min(encTheirs, seconds([&] {
            for (int i = 0; i < kImages; ++i) theirs[size_t(i)] = libpngEncode(pictures[size_t(i)], PNG_FILTER_SUB);
        }));
        decOurs = std::min(decOurs, seconds([&] {
            for (int i = 0; i < kImages; ++i) oursDecode(ours[size_t(i)]);
        }));
        decTheirs = std::min(decTheirs, seconds([&] {
            for (int i = 0; i < kImages; ++i) libpngDecode(ours[size_t(i)]);
        }));
    }
    size_t sizeOurs = 0, sizeTheirs = 0, plainOurs = 0, plainTheirs = 0;
    for (int i = 0; i < kImages; ++i) {
        sizeOurs += ours[size_t(i)].size(), sizeTheirs += theirs[size_t(i)].size();
        images[size_t(i)]->Filters = png::FilterSet(png::pfNone);
        plainOurs += oursEncode(*images[size_t(i)]).size();
        plainTheirs += libpngEncode(pictures[size_t(i)], PNG_FILTER_NONE).size();
    }
    std::printf("%d images of %d x %d (8 RGB, 2 RGBA), best of %d rounds\n", kImages, kSide, kSide, rounds);
    std::printf("decode   ours %7.3f s   libpng %s %7.3f s   speed ours/libpng %.2fx\n", decOurs, PNG_LIBPNG_VER_STRING,
                decTheirs, decTheirs / decOurs);
    std::printf("encode   ours %7.3f s   libpng %7.3f s   speed ours/libpng %.2fx   (level 7, Sub on every row)\n",
                encOurs, encTheirs, encTheirs / encOurs);
    std::printf("size     ours %10zu bytes   libpng %10zu bytes   ratio %.3f   (level 7, Sub on every row)\n",
                sizeOurs, sizeTheirs, double(sizeOurs) / double(sizeTheirs));
    std::printf("size     ours %10zu bytes   libpng %10zu bytes   ratio %.3f   (level 7, no filter)\n", plainOurs,
                plainTheirs, double(plainOurs) / double(plainTheirs));
    return 0;
}
