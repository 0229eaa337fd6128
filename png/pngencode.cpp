// Writing the image data: rows gathered back from the bitmap, filtered with
// a per-row filter choice, deflated and cut into IDAT chunks of the maximum
// IDAT size.
#include <zlib.h>

#include <cstring>
#include <ostream>

#include "png/pngimage.h"
#include "png/pngio.h"
#include "png/pngrows.h"

namespace png {

namespace {

class IdatWriter {
public:
    // Filtered rows deflate better with the filtered strategy, which
    // prefers literals over short matches.
    IdatWriter(std::ostream& s, int level, bool filtered, size_t windowSize) : s_(s), window_(windowSize) {
        ok_ = deflateInit2(&z_, level, Z_DEFLATED, 15, 8, filtered ? Z_FILTERED : Z_DEFAULT_STRATEGY) == Z_OK;
        reset();
    }
    ~IdatWriter() { deflateEnd(&z_); }
    IdatWriter(const IdatWriter&) = delete;
    IdatWriter& operator=(const IdatWriter&) = delete;

    void Write(const uint8_t* data, size_t n) {
        if (!ok_) return;
        z_.next_in = const_cast<Bytef*>(data);
        z_.avail_in = static_cast<uInt>(n);
        while (z_.avail_in > 0) {
            if (deflate(&z_, Z_NO_FLUSH) == Z_STREAM_ERROR) { ok_ = false; return; }
            if (z_.avail_out == 0) emit();
        }
    }

    // Only the last chunk may be shorter than the window.
    void Finish() {
        if (!ok_) return;
        int r;
        do {
            r = deflate(&z_, Z_FINISH);
            if (z_.avail_out == 0) emit();
        } while (r == Z_OK);
        if (z_.avail_out < window_.size()) emit();
    }

private:
    void emit() {
        WriteChunk(s_, "IDAT", window_.data(), window_.size() - z_.avail_out);
        reset();
    }
    void reset() {
        z_.next_out = window_.data();
        z_.avail_out = static_cast<uInt>(window_.size());
    }

    std::ostream& s_;
    std::vector<uint8_t> window_;
    z_stream z_{};
    bool ok_ = false;
};

// The inverse of the decoder's converters: Count pixels of image row Y at
// columns First, First + Step... into a PNG row, the samples as they are.
void gatherRow(const TPNGObject& png, const TChunkIHDR& h, int y, uint32_t first, uint32_t step, uint32_t count,
               uint8_t* raw) {
    const uint8_t* src = png.GetScanline(y);
    const uint8_t ct = h.ColorType();
    const uint8_t depth = h.BitDepth() == 2 ? 4 : h.BitDepth();
    const uint8_t* ex = depth == 16 ? png.GetExtraScanline(y) : nullptr;
    const uint8_t* a = png.GetAlphaScanline(y);
    const uint8_t* exa = png.GetExtraAlphaScanline(y);
    switch (ct) {
        case COLOR_GRAYSCALE:
        case COLOR_PALETTE:
            if (depth == 16) {
                for (uint32_t k = 0, c = first; k < count; ++k, c += step) {
                    raw[2 * k] = src[c];
                    raw[2 * k + 1] = ex[c];
                }
            } else if (step == 1) {
                std::memcpy(raw, src, (size_t(count) * depth + 7) / 8);
            } else {
                std::memset(raw, 0, (size_t(count) * depth + 7) / 8);
                for (uint32_t k = 0, c = first; k < count; ++k, c += step)
                    PutPackedSample(raw, k, depth, PackedSample(src, c, depth));
            }
            break;
        case COLOR_RGB:
        case COLOR_RGBALPHA: {
            const bool alpha = ct == COLOR_RGBALPHA;
            const size_t px = (alpha ? 4u : 3u) * (depth / 8u);
            for (uint32_t k = 0, c = first; k < count; ++k, c += step) {
                const uint8_t* s = src + 3 * size_t(c);
                uint8_t* d = raw + px * k;
                if (depth == 8) {
                    d[0] = s[2], d[1] = s[1], d[2] = s[0];
                    if (alpha) d[3] = a[c];
                } else {
                    const uint8_t* e = ex + 3 * size_t(c);
                    d[0] = s[2], d[1] = e[2], d[2] = s[1], d[3] = e[1];
                    d[4] = s[0], d[5] = e[0];
                    if (alpha) d[6] = a[c], d[7] = exa[c];
                }
            }
            break;
        }
        case COLOR_GRAYSCALEALPHA:
            for (uint32_t k = 0, c = first; k < count; ++k, c += step) {
                if (depth == 8) {
                    raw[2 * k] = src[c];
                    raw[2 * k + 1] = a[c];
                } else {
                    raw[4 * k] = src[c];
                    raw[4 * k + 1] = ex[c];
                    raw[4 * k + 2] = a[c];
                    raw[4 * k + 3] = exa[c];
                }
            }
            break;
        default: break;
    }
}

// Fills the buffers of the allowed filters, keeps the raw row as the next
// row's previous row, and picks the filter to write.
uint8_t filterToEncode(TFilters set, const uint8_t* raw, std::vector<uint8_t> (&buffers)[5], size_t n, int offset) {
    uint8_t* prior = buffers[0].data();
    for (uint8_t f = 1; f <= 4; ++f)
        if (set & FilterSet(TFilter(f))) FilterRow(f, raw, prior, buffers[f].data(), n, offset);
    std::memcpy(prior, raw, n);
    if (set == 0 || set == FilterSet(pfNone)) return 0;
    uint8_t choice = 0;
    size_t best = 0;
    for (uint8_t f = 0; f <= 4; ++f) {
        if (!(set & FilterSet(TFilter(f)))) continue;
        if (set == FilterSet(TFilter(f))) return f;
        const uint8_t* b = buffers[f].data();
        size_t score = 0;
        for (size_t k = 2; k < n; ++k) score += b[k] == b[k - 1] || b[k] == b[k - 2];
        if (score > best) {
            best = score;
            choice = f;
        }
    }
    return choice;
}

}  // namespace

bool TChunkIDAT::SaveToStream(std::ostream& stream) {
    TChunkIHDR* h = owner_->Header();
    const uint32_t width = h->Width(), height = h->Height();
    const uint8_t ct = h->ColorType();
    const uint8_t depth = h->BitDepth() == 2 ? 4 : h->BitDepth();
    const int offset = PixelOffset(ct, depth);
    const size_t maxRow = BytesForPixels(ct, depth, width);
    std::vector<uint8_t> raw(maxRow);
    std::vector<uint8_t> buffers[5];
    buffers[0].assign(maxRow, 0);
    for (int f = 1; f <= 4; ++f)
        if (owner_->Filters & FilterSet(TFilter(f))) buffers[f].assign(maxRow, 0);
    const bool filtered = (owner_->Filters & ~FilterSet(pfNone)) != 0;
    IdatWriter out(stream, owner_->CompressionLevel, filtered, static_cast<size_t>(owner_->MaxIdatSize()));
    const bool interlaced = owner_->InterlaceMethod == imAdam7;
    const TAdamPass* passes = interlaced ? kAdam7 : &kWholeImage;
    for (int p = 0; p < (interlaced ? 7 : 1); ++p) {
        const TAdamPass& pass = passes[p];
        const uint32_t pw = PassWidth(width, pass);
        const size_t rowBytes = BytesForPixels(ct, depth, pw);
        std::fill(buffers[0].begin(), buffers[0].end(), 0);
        if (rowBytes == 0) continue;
        for (uint32_t y = pass.Row; y < height; y += pass.RowStep) {
            gatherRow(*owner_, *h, static_cast<int>(y), pass.Col, pass.ColStep, pw, raw.data());
            const uint8_t f = filterToEncode(owner_->Filters, raw.data(), buffers, rowBytes, offset);
            out.Write(&f, 1);
            out.Write(f == 0 ? buffers[0].data() : buffers[f].data(), rowBytes);
        }
    }
    out.Finish();
    return true;
}

}  // namespace png
