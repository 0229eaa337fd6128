// The peer decoder for the PNG tests: reads each file with libpng, every
// pixel expanded to red, green, blue and alpha of 16 bits (palette entries,
// transparent colours and narrow greys expanded as libpng expands them), and
// writes OUTDIR/NAME.libpng:
//   "warning: TEXT" lines for what libpng warned about, then
//   "ok WIDTH HEIGHT" and WIDTH x HEIGHT x 8 bytes, big-endian, top row first
//   (no pixels for an image above 64 MB, which is read only for the verdict),
//   or "error: TEXT" when libpng refused the file.
//   libpng_samples OUTDIR FILE...
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Run {
    std::string log;
};

void onError(png_structp p, png_const_charp message) {
    static_cast<Run*>(png_get_error_ptr(p))->log += std::string("error: ") + message + "\n";
    png_longjmp(p, 1);
}

void onWarning(png_structp p, png_const_charp message) {
    static_cast<Run*>(png_get_error_ptr(p))->log += std::string("warning: ") + message + "\n";
}

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// Decodes one file; the log and, on success, the pixels.
bool decode(const std::string& path, Run& run, png_uint_32& w, png_uint_32& h, std::vector<png_byte>& pixels) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        run.log += "error: cannot open\n";
        return false;
    }
    png_structp p = png_create_read_struct(PNG_LIBPNG_VER_STRING, &run, onError, onWarning);
    png_infop info = png_create_info_struct(p);
    std::vector<png_bytep> rows;
    bool ok = false;
    if (setjmp(png_jmpbuf(p)) == 0) {
        png_init_io(p, f);
        png_read_info(p, info);
        png_set_expand(p);
        png_set_expand_16(p);
        png_set_gray_to_rgb(p);
        png_set_add_alpha(p, 0xFFFF, PNG_FILLER_AFTER);
        png_set_interlace_handling(p);
        png_read_update_info(p, info);
        w = png_get_image_width(p, info);
        h = png_get_image_height(p, info);
        const bool keep = uint64_t(w) * h * 8 <= (uint64_t(64) << 20);
        pixels.assign(keep ? size_t(w) * h * 8 : size_t(w) * 8, 0);
        rows.resize(h);
        for (png_uint_32 y = 0; y < h; ++y) rows[y] = pixels.data() + (keep ? size_t(y) * w * 8 : 0);
        png_read_image(p, rows.data());
        if (!keep) pixels.clear();
        png_read_end(p, nullptr);
        ok = true;
    }
    png_destroy_read_struct(&p, &info, nullptr);
    std::fclose(f);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: libpng_samples OUTDIR FILE...\n");
        return 2;
    }
    const std::string out = argv[1];
    for (int i = 2; i < argc; ++i) {
        Run run;
        png_uint_32 w = 0, h = 0;
        std::vector<png_byte> pixels;
        const bool ok = decode(argv[i], run, w, h, pixels);
        FILE* o = std::fopen((out + "/" + baseName(argv[i]) + ".libpng").c_str(), "wb");
        if (!o) return 1;
        std::fputs(run.log.c_str(), o);
        if (ok) {
            std::fprintf(o, "ok %u %u\n", unsigned(w), unsigned(h));
            std::fwrite(pixels.data(), 1, pixels.size(), o);
        }
        std::fclose(o);
    }
    return 0;
}
