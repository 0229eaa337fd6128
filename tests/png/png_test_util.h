#pragma once
// Shared by the PNG tests: a scratch folder, running the Python oracles and
// pngcheck, reading files, and the pixels of a decoded image in the oracle's
// five-byte form.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "png/pngimage.h"
#include "tests/support/shell.h"

namespace pngtest {

inline std::string ScratchDir() {
    std::string path = (std::filesystem::temp_directory_path() / "pwx-png-XXXXXX").string();
    if (!mkdtemp(path.data())) return {};
    return path + "/";
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Output and exit status of a shell command.
inline int RunCommand(const std::string& command, std::string* output = nullptr) {
    auto r = testsupport::Shell(command);
    if (output) *output = std::move(r.output);
    return r.status;
}

// Python with Debian's modules (the PATH one may not see them).
inline std::string Python() { return "/usr/bin/python3 "; }
inline std::string Script(const char* name) { return std::string(PNG_TEST_DIR) + "/" + name; }

inline void LoadFile(png::TPNGObject& image, const std::string& path) {
    std::istringstream in(ReadFile(path));
    image.LoadFromStream(in);
}

// Shown red, green, blue, the alpha plane (255 without one) and the low
// byte of 16-bit grey, per pixel, top row first.
inline std::string Dump(const png::TPNGObject& image) {
    const int w = image.GetWidth(), h = image.GetHeight();
    const std::vector<uint32_t> shown = png::RenderImage(image, w, h, false);
    const png::TChunkIHDR* hdr = image.Header();
    const bool grey16 = hdr->BitDepth() == 16 &&
                        (hdr->ColorType() == png::COLOR_GRAYSCALE || hdr->ColorType() == png::COLOR_GRAYSCALEALPHA);
    std::string out;
    out.reserve(size_t(w) * h * 5);
    for (int y = 0; y < h; ++y) {
        const uint8_t* alpha = image.GetAlphaScanline(y);
        const uint8_t* extra = grey16 ? image.GetExtraScanline(y) : nullptr;
        for (int x = 0; x < w; ++x) {
            const uint32_t c = shown[size_t(y) * w + x];
            out += char(c >> 16);
            out += char(c >> 8);
            out += char(c);
            out += char(alpha ? alpha[x] : 255);
            out += char(extra ? extra[x] : 0);
        }
    }
    return out;
}

// The first pixel at which two dumps differ, for the failure message.
inline std::string FirstDifference(const std::string& got, const std::string& want, int width) {
    if (got.size() != want.size()) return "sizes " + std::to_string(got.size()) + " and " + std::to_string(want.size());
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i] != want[i]) {
            const size_t px = i / 5;
            return "pixel (" + std::to_string(px % width) + "," + std::to_string(px / width) + ") byte " +
                   std::to_string(i % 5) + ": " + std::to_string(uint8_t(got[i])) + " instead of " +
                   std::to_string(uint8_t(want[i]));
        }
    return "none";
}

// What an exception from a load was: class name and message id.
struct Failure {
    std::string ClassName;
    int Id = 0;
};

inline int IdOf(const std::string& message) {
    for (int id = 65184; id <= 65215; ++id) {
        const std::string text = png::LoadResString(id);
        if (!text.empty() && message.compare(0, text.size(), text) == 0) return id;
    }
    return 0;
}

}  // namespace pngtest
