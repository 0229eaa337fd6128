#pragma once
// Shared by the PNG tests: a scratch folder, running the peers (libpng
// through libpng_samples, pngcheck), reading files, and an image's pixels in
// the form the peer gives them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

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

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
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
inline std::string SuiteDir() { return std::string(PNG_TEST_DIR) + "/../data/pngsuite/"; }
inline std::string SuiteFile(const std::string& name) { return SuiteDir() + name + ".png"; }

inline void LoadFile(png::TPNGObject& image, const std::string& path) {
    std::istringstream in(ReadFile(path));
    image.LoadFromStream(in);
}

inline std::string Saved(png::TPNGObject& image) {
    std::ostringstream out;
    image.SaveToStream(out);
    return out.str();
}

// What libpng made of a file: refused with its error, or every pixel as red,
// green, blue and alpha of 16 bits (palettes, transparent colours and narrow
// greys expanded), top row first.
struct Peer {
    std::string Error;  // empty when the file loaded
    std::vector<std::string> Warnings;
    uint32_t Width = 0, Height = 0;
    std::vector<uint16_t> Pixels;
    bool Ok() const { return Error.empty(); }
};

// Runs libpng over Paths (whose base names differ); by base name.
inline std::map<std::string, Peer> RunLibpng(const std::vector<std::string>& paths) {
    std::map<std::string, Peer> out;
    const std::string dir = ScratchDir();
    std::string command = std::string(LIBPNG_SAMPLES) + " " + dir;
    for (const auto& p : paths) command += " " + p;
    std::string log;
    EXPECT_EQ(RunCommand(command, &log), 0) << log;
    for (const auto& p : paths) {
        const std::string name = std::filesystem::path(p).stem().string();
        const std::string file = ReadFile(dir + name + ".libpng");
        Peer& peer = out[name];
        size_t at = 0;
        for (;;) {
            const size_t nl = file.find('\n', at);
            if (nl == std::string::npos) {
                peer.Error = "no answer from libpng";
                break;
            }
            const std::string line = file.substr(at, nl - at);
            at = nl + 1;
            if (line.rfind("warning: ", 0) == 0) {
                peer.Warnings.push_back(line.substr(9));
            } else if (line.rfind("error: ", 0) == 0) {
                peer.Error = line.substr(7);
                break;
            } else {
                std::sscanf(line.c_str(), "ok %u %u", &peer.Width, &peer.Height);
                const auto* b = reinterpret_cast<const uint8_t*>(file.data() + at);
                peer.Pixels.resize((file.size() - at) / 2);
                for (size_t i = 0; i < peer.Pixels.size(); ++i) peer.Pixels[i] = uint16_t(b[2 * i] << 8 | b[2 * i + 1]);
                break;
            }
        }
    }
    std::filesystem::remove_all(dir);
    return out;
}

inline Peer RunLibpng(const std::string& path) {
    return RunLibpng(std::vector<std::string>{path}).begin()->second;
}

// The image's pixels as libpng expands them: its samples (palette entries
// for indices, grey levels spread over 16 bits) and alpha planes; without
// an alpha plane the alpha the drawing gives.
inline std::vector<uint16_t> Expanded(const png::TPNGObject& image) {
    const int w = image.GetWidth(), h = image.GetHeight();
    const png::TChunkIHDR& hdr = *image.Header();
    const std::vector<uint32_t> drawn = png::PartialSource(image, w, h);
    const png::TChunkPLTE* plte = image.Chunks.FindChunk<png::TChunkPLTE>();
    const int bits = hdr.BitmapInfo.biBitCount;
    std::vector<uint16_t> out;
    out.reserve(size_t(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = image.GetScanline(y);
        const uint8_t* ex = image.GetExtraScanline(y);
        const uint8_t* a = image.GetAlphaScanline(y);
        const uint8_t* exa = image.GetExtraAlphaScanline(y);
        auto wide = [](const uint8_t* high, const uint8_t* low, size_t i) {
            return uint16_t(low ? high[i] << 8 | low[i] : high[i] * 257);
        };
        for (int x = 0; x < w; ++x) {
            uint16_t r, g, b;
            if (bits == 24) {
                r = wide(row, ex, 3 * x + 2), g = wide(row, ex, 3 * x + 1), b = wide(row, ex, 3 * x);
            } else {
                const int index = bits == 8 ? row[x] : (row[x * bits / 8] >> (8 - bits - bits * (x % (8 / bits)))) &
                                                            ((1 << bits) - 1);
                if (hdr.ColorType() == png::COLOR_PALETTE) {
                    const png::TPaletteEntry e = plte && index < plte->Count ? hdr.Palette[size_t(index)]
                                                                             : png::TPaletteEntry();
                    r = uint16_t(e.peRed * 257), g = uint16_t(e.peGreen * 257), b = uint16_t(e.peBlue * 257);
                } else {
                    r = g = b = ex ? wide(row, ex, size_t(x)) : uint16_t(hdr.BitmapInfo.bmiColors[index].rgbRed * 257);
                }
            }
            const uint16_t alpha = a ? wide(a, exa, size_t(x)) : uint16_t((drawn[size_t(y) * w + x] >> 24) * 257);
            out.insert(out.end(), {r, g, b, alpha});
        }
    }
    return out;
}

// Where the image differs from what libpng made of the same file, in its
// samples or in what the drawing shows (the samples' high bytes through the
// gamma table, the alpha's high byte); empty when nowhere.
inline std::string DifferenceFromPeer(const png::TPNGObject& image, const Peer& peer) {
    if (!peer.Ok()) return "libpng refused it: " + peer.Error;
    const int w = image.GetWidth(), h = image.GetHeight();
    if (uint32_t(w) != peer.Width || uint32_t(h) != peer.Height)
        return "size " + std::to_string(w) + "x" + std::to_string(h) + ", libpng " + std::to_string(peer.Width) + "x" +
               std::to_string(peer.Height);
    const std::vector<uint16_t> ours = Expanded(image);
    const std::vector<uint32_t> drawn = png::PartialSource(image, w, h);
    const uint8_t* gamma = image.GammaTable;
    static const char* const channels[] = {"red", "green", "blue", "alpha"};
    for (size_t i = 0; i < ours.size(); ++i) {
        const std::string where = "pixel (" + std::to_string(i / 4 % w) + "," + std::to_string(i / 4 / w) + ") ";
        if (ours[i] != peer.Pixels[i])
            return where + channels[i % 4] + " sample " + std::to_string(ours[i]) + ", libpng " +
                   std::to_string(peer.Pixels[i]);
        if (i % 4 == 3) {
            const uint16_t* p = &peer.Pixels[i - 3];
            const uint32_t want = uint32_t(p[3] >> 8) << 24 | uint32_t(gamma[p[0] >> 8]) << 16 |
                                  uint32_t(gamma[p[1] >> 8]) << 8 | gamma[p[2] >> 8];
            char got[32];
            std::snprintf(got, sizeof got, "%08X instead of %08X", drawn[i / 4], want);
            if (drawn[i / 4] != want) return where + "drawn " + got;
        }
    }
    return "";
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

inline Failure LoadFailure(png::TPNGObject& image, const std::string& bytes) {
    std::istringstream in(bytes);
    try {
        image.LoadFromStream(in);
    } catch (const rtl::Exception& e) {
        return {e.ClassName(), IdOf(e.Message)};
    }
    return {"(none)", 0};
}

}  // namespace pngtest
