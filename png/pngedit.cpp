// The editing side: chunk placement, blank images, pixel and row access,
// resizing, transparency and copying one image into another.
#include <algorithm>
#include <cstring>

#include "png/pngimage.h"
#include "png/pngio.h"
#include "png/pngrows.h"

namespace png {

// --------------------------------------------------------------- placement

TChunk* TPNGList::Add(TChunkClass c) {
    const bool critical = c == ChunkClassOf<TChunkIHDR>() || c == ChunkClassOf<TChunkIDAT>() ||
                          c == ChunkClassOf<TChunkPLTE>() || c == ChunkClassOf<TChunkIEND>();
    if (!owner_->BeingCreated && critical) throw EPngError(LoadResString(EPNGAddExistentText));
    auto existing = [&](TChunkClass k) {
        for (const auto& ch : items_)
            if (ch->GetChunkName() == k->Name) return true;
        return false;
    };
    const bool single = c == ChunkClassOf<TChunkgAMA>() || c == ChunkClassOf<TChunktRNS>() ||
                        c == ChunkClassOf<TChunkpHYs>();
    if (single && existing(c)) throw EPngError(LoadResString(EPNGAddExistentText));
    const int iend = IndexOf(FindChunk<TChunkIEND>());
    const int ihdr = IndexOf(FindChunk<TChunkIHDR>());
    if (!owner_->BeingCreated && (iend < 0 || ihdr < 0)) throw EPngError(LoadResString(EPNGAddInvalidText));

    std::unique_ptr<TChunk> chunk = c->Create(owner_);
    int at;
    if (c == ChunkClassOf<TChunkgAMA>() || c == ChunkClassOf<TChunkpHYs>() || c == ChunkClassOf<TChunkPLTE>()) {
        at = ihdr + 1;
    } else if (c == ChunkClassOf<TChunkIEND>()) {
        at = Count();
    } else if (c == ChunkClassOf<TChunkIHDR>()) {
        at = 0;
    } else if (c == ChunkClassOf<TChunktRNS>()) {
        const int plte = IndexOf(FindChunk<TChunkPLTE>());
        const int idat = IndexOf(FindChunk<TChunkIDAT>());
        at = plte >= 0 ? plte + 1 : idat >= 0 ? idat : ihdr + 1;
    } else {
        at = iend >= 0 ? iend : Count();
    }
    TChunk* result = chunk.get();
    Insert(std::move(chunk), at);
    return result;
}

// ------------------------------------------------------------ blank image

TPNGObject::TPNGObject(uint8_t colorType, uint8_t bitDepth, int width, int height) : TPNGObject() {
    if (!ValidColorDepth(colorType, bitDepth) || width < 1 || height < 1 || width > 65535 || height > 65535)
        throw EPNGInvalidSpec(LoadResString(EPNGInvalidSpecText));
    if (bitDepth == 2) bitDepth = 4;
    InitializeGamma();
    BeingCreated = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{BeingCreated};
    Chunks.Add<TChunkIEND>();
    TChunkIHDR* h = Chunks.Add<TChunkIHDR>();
    h->IHDRData.ColorType = colorType;
    h->IHDRData.BitDepth = bitDepth;
    h->IHDRData.Width = static_cast<uint32_t>(width);
    h->IHDRData.Height = static_cast<uint32_t>(height);
    h->PrepareImageData();
    if (h->HasPalette && colorType == COLOR_PALETTE) Chunks.Add<TChunkPLTE>()->Count = 1 << bitDepth;
    Chunks.Add<TChunkIDAT>();
}

// ------------------------------------------------------------ rows, pixels

// Rows are addressed by the bitmap's own size, which a preview's decoding
// fills before the header takes it.
uint8_t* TPNGObject::GetScanline(int y) const {
    TChunkIHDR* h = Header();
    return h->ImageData.data() + h->BytesPerRow * size_t(h->BitmapInfo.biHeight - 1 - y);
}

uint8_t* TPNGObject::GetExtraScanline(int y) const {
    TChunkIHDR* h = Header();
    if (h->ExtraImageData.empty()) return nullptr;
    return h->ExtraImageData.data() + h->BytesPerRow * size_t(h->BitmapInfo.biHeight - 1 - y);
}

uint8_t* TPNGObject::GetAlphaScanline(int y) const {
    TChunkIHDR* h = Header();
    if (h->ImageAlpha.empty()) return nullptr;
    return h->ImageAlpha.data() + size_t(h->BitmapInfo.biWidth) * size_t(y);
}

uint8_t* TPNGObject::GetExtraAlphaScanline(int y) const {
    TChunkIHDR* h = Header();
    if (h->ExtraImageAlpha.empty()) return nullptr;
    return h->ExtraImageAlpha.data() + size_t(h->BitmapInfo.biWidth) * size_t(y);
}

namespace {

inline TColor rgb(int r, int g, int b) { return TColor(r | g << 8 | b << 16); }

// Bits per stored sample of a grey or palette image (two-bit images are
// held in four bits).
int sampleBits(const TChunkIHDR& h) {
    return h.BitDepth() == 2 ? 4 : std::min<int>(h.BitDepth(), 8);
}

// The palette entry that shows nearest to a colour; two-bit grey may only
// use the entries its samples map to.
int nearestIndex(const TPNGObject& png, const TChunkIHDR& h, TColor c) {
    const int r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
    const uint8_t* gamma = png.GammaTable;
    const int step = h.ColorType() == COLOR_GRAYSCALE && h.BitDepth() == 2 ? 5 : 1;
    const int n = std::min<int>(static_cast<int>(h.Palette.size()), 1 << sampleBits(h));
    int best = 0;
    long bestDist = -1;
    for (int i = 0; i < n; i += step) {
        const TPaletteEntry& e = h.Palette[size_t(i)];
        const int dr = gamma[e.peRed] - r, dg = gamma[e.peGreen] - g, db = gamma[e.peBlue] - b;
        const long d = long(dr) * dr + long(dg) * dg + long(db) * db;
        if (bestDist < 0 || d < bestDist) {
            bestDist = d;
            best = i;
        }
    }
    return best;
}

// A shown value as the sample that shows it; at depth 16 the low byte
// repeats the high one, so that white is the whole sample's white.
inline void putSample(uint8_t* high, uint8_t* low, size_t i, uint8_t v) {
    high[i] = v;
    if (low) low[i] = v;
}

}  // namespace

void TPNGObject::SetPixels(int x, int y, TColor color) {
    if (!HeaderPresent() || x < 0 || y < 0 || x >= GetWidth() || y >= GetHeight()) return;
    TChunkIHDR* h = Header();
    uint8_t* row = GetScanline(y);
    uint8_t* low = GetExtraScanline(y);
    const uint8_t* inv = InverseTable;
    switch (h->ColorType()) {
        case COLOR_GRAYSCALE:
        case COLOR_PALETTE: {
            const int index = nearestIndex(*this, *h, color);
            if (sampleBits(*h) == 8) putSample(row, low, size_t(x), uint8_t(index));
            else PutPackedSample(row, size_t(x), sampleBits(*h), unsigned(index));
            break;
        }
        case COLOR_GRAYSCALEALPHA: putSample(row, low, size_t(x), inv[color & 0xFF]); break;
        case COLOR_RGB:
        case COLOR_RGBALPHA: {
            const size_t at = 3 * size_t(x);
            putSample(row, low, at, inv[(color >> 16) & 0xFF]);
            putSample(row, low, at + 1, inv[(color >> 8) & 0xFF]);
            putSample(row, low, at + 2, inv[color & 0xFF]);
            break;
        }
        default: break;
    }
}

// ------------------------------------------------------------------ Resize

void TPNGObject::Resize(int width, int height) {
    if (width < 1 || height < 1 || width > 65535 || height > 65535)
        throw EPNGInvalidNewSize(LoadResString(EPNGInvalidNewSizeText));
    TChunkIHDR* h = Header();
    const uint32_t oldW = h->Width(), oldH = h->Height();
    const uint32_t newW = uint32_t(width), newH = uint32_t(height);
    const size_t oldRow = h->BytesPerRow;
    const size_t newRow = DibRowBytes(h->BitmapInfo.biBitCount, newW);
    const uint32_t rows = std::min(oldH, newH);
    CheckBudget(*this, h->ColorType(), h->BitDepth(), newW, newH);
    // Every plane keeps its top-left corner where it was.
    auto moveRows = [&](TPlane& plane, size_t oldBytes, size_t newBytes, bool bottomUp, uint8_t fill) {
        TPlane fresh;
        AllocatePlane(fresh, uint64_t(newBytes) * newH);
        std::fill(fresh.begin(), fresh.end(), fill);
        for (uint32_t y = 0; y < rows; ++y) {
            const size_t from = oldBytes * (bottomUp ? oldH - 1 - y : y);
            const size_t to = newBytes * (bottomUp ? newH - 1 - y : y);
            std::memcpy(fresh.data() + to, plane.data() + from, std::min(oldBytes, newBytes));
        }
        plane.swap(fresh);
    };
    moveRows(h->ImageData, oldRow, newRow, true, 0);
    if (!h->ImageAlpha.empty()) moveRows(h->ImageAlpha, oldW, newW, false, 255);
    if (!h->ExtraImageAlpha.empty()) moveRows(h->ExtraImageAlpha, oldW, newW, false, 255);
    if (!h->ExtraImageData.empty()) moveRows(h->ExtraImageData, oldRow, newRow, true, 0);
    h->BytesPerRow = newRow;
    h->IHDRData.Width = newW;
    h->IHDRData.Height = newH;
    h->BitmapInfo.biWidth = width;
    h->BitmapInfo.biHeight = height;
}

// ------------------------------------------------------------ transparency

TPNGTransparencyMode TPNGObject::GetTransparencyMode() const {
    if (!HeaderPresent()) return ptmNone;
    const TChunktRNS* t = Chunks.FindChunk<TChunktRNS>();
    switch (Header()->ColorType()) {
        case COLOR_GRAYSCALE:
        case COLOR_RGB: return t ? ptmBit : ptmNone;
        case COLOR_PALETTE: return !t ? ptmNone : t->BitTransparency ? ptmBit : ptmPartial;
        case COLOR_GRAYSCALEALPHA:
        case COLOR_RGBALPHA: return ptmPartial;
        default: return ptmNone;
    }
}

TColor TPNGObject::GetTransparentColor() const {
    const TChunktRNS* t = Chunks.FindChunk<TChunktRNS>();
    return t ? t->GetTransparentColor() : 0;
}

void TPNGObject::SetTransparentColor(TColor color) {
    if (!HeaderPresent()) return;
    switch (Header()->ColorType()) {
        case COLOR_GRAYSCALE:
        case COLOR_RGB:
        case COLOR_PALETTE: {
            TChunktRNS* t = Chunks.FindChunk<TChunktRNS>();
            if (!t) t = Chunks.Add<TChunktRNS>();
            t->SetTransparentColor(color);
            break;
        }
        case COLOR_GRAYSCALEALPHA:
        case COLOR_RGBALPHA: throw EPNGCannotChangeTransparent(LoadResString(EPNGCannotChangeTransparentText));
        default: break;
    }
}

void TPNGObject::RemoveTransparency() {
    TChunkIHDR* h = Header();
    switch (h->ColorType()) {
        case COLOR_PALETTE:
            if (TChunktRNS* t = Chunks.FindChunk<TChunktRNS>()) Chunks.RemoveChunk(t);
            break;
        case COLOR_GRAYSCALEALPHA:
        case COLOR_RGBALPHA:
            h->IHDRData.ColorType = h->ColorType() == COLOR_GRAYSCALEALPHA ? COLOR_GRAYSCALE : COLOR_RGB;
            TPlane().swap(h->ImageAlpha);
            TPlane().swap(h->ExtraImageAlpha);
            break;
        default: break;
    }
}

void TPNGObject::CreateAlpha() {
    TChunkIHDR* h = Header();
    switch (h->ColorType()) {
        case COLOR_GRAYSCALE:
        case COLOR_RGB: {
            // Grey with alpha exists only at depths 8 and 16.
            if (h->ColorType() == COLOR_GRAYSCALE && h->BitDepth() < 8)
                throw EPNGInvalidSpec(LoadResString(EPNGInvalidSpecText));
            const uint8_t withAlpha = h->ColorType() == COLOR_GRAYSCALE ? COLOR_GRAYSCALEALPHA : COLOR_RGBALPHA;
            CheckBudget(*this, withAlpha, h->BitDepth(), h->Width(), h->Height());
            auto opaque = [&](TPlane& plane) {
                AllocatePlane(plane, uint64_t(h->Width()) * h->Height());
                std::fill(plane.begin(), plane.end(), 255);
            };
            opaque(h->ImageAlpha);
            if (h->BitDepth() == 16) opaque(h->ExtraImageAlpha);
            h->IHDRData.ColorType = withAlpha;
            // A per-pixel alpha replaces the transparent colour.
            if (TChunktRNS* t = Chunks.FindChunk<TChunktRNS>()) Chunks.RemoveChunk(t);
            break;
        }
        case COLOR_PALETTE: {
            TChunktRNS* t = Chunks.FindChunk<TChunktRNS>();
            if (!t) t = Chunks.Add<TChunktRNS>();
            t->ResizeData(1u << sampleBits(*h));
            std::memset(t->PaletteValues, 255, sizeof t->PaletteValues);
            t->BitTransparency = false;
            break;
        }
        default: break;
    }
}

bool TPNGObject::HasPixelInformation() const { return Chunks.FindChunk<TChunkpHYs>() != nullptr; }

TChunkpHYs* TPNGObject::GetPixelInformation() {
    TChunkpHYs* p = Chunks.FindChunk<TChunkpHYs>();
    if (!p) {
        p = Chunks.Add<TChunkpHYs>();
        p->UnitType = utMeter;
    }
    return p;
}

namespace {

// The colour an entry of the colour table shows.
TColor shownEntry(const TPNGObject& png, const TChunkIHDR& h, int index) {
    const TRGBQuad& q = h.BitmapInfo.bmiColors[index & 0xFF];
    const uint8_t* g = png.GammaTable;
    return rgb(g[q.rgbRed], g[q.rgbGreen], g[q.rgbBlue]);
}

}  // namespace

TColor TChunktRNS::GetTransparentColor() const {
    TChunkIHDR* h = GetHeader();
    if (!h) return 0;
    const uint8_t* d = data_.data();
    const int depth = h->BitDepth();
    // A 16-bit sample shows as its high byte, a narrower one as its level.
    auto level = [&](int i) { return depth == 16 ? d[2 * i] : d[2 * i + 1]; };
    switch (h->ColorType()) {
        case COLOR_GRAYSCALE: {
            if (dataSize_ != 2) return 0;
            const int s = (d[0] << 8 | d[1]) & ((1 << std::min(depth, 8)) - 1);
            return shownEntry(*owner_, *h, depth == 16 ? d[0] : depth == 2 ? s * 5 : s);
        }
        case COLOR_RGB: {
            if (dataSize_ != 6) return 0;
            const uint8_t* g = owner_->GammaTable;
            return rgb(g[level(0)], g[level(1)], g[level(2)]);
        }
        case COLOR_PALETTE:
            for (uint32_t i = 0; i < dataSize_ && i < 256; ++i)
                if (PaletteValues[i] == 0) return shownEntry(*owner_, *h, int(i));
            return 0;
        default: return 0;
    }
}

void TChunktRNS::SetTransparentColor(TColor color) {
    std::memset(PaletteValues, 0, sizeof PaletteValues);
    BitTransparency = true;
    TChunkIHDR* h = GetHeader();
    if (!h) return;
    const int depth = h->BitDepth();
    // The sample SetPixels writes for the colour, high byte first.
    auto put = [&](int i, int sample) {
        data_[size_t(2 * i)] = uint8_t(sample >> 8);
        data_[size_t(2 * i + 1)] = uint8_t(sample);
    };
    const uint8_t* inv = owner_->InverseTable;
    switch (h->ColorType()) {
        case COLOR_GRAYSCALE: {
            const int i = nearestIndex(*owner_, *h, color);
            ResizeData(2);
            put(0, depth == 16 ? i * 257 : depth == 2 ? i / 5 : i);
            break;
        }
        case COLOR_RGB:
            ResizeData(6);
            for (int c = 0; c < 3; ++c) {
                const int v = inv[(color >> (8 * c)) & 0xFF];
                put(c, depth == 16 ? v * 257 : v);
            }
            break;
        case COLOR_PALETTE: {
            const int n = std::min(h->BitmapInfo.biClrUsed, 256);
            int found = -1;
            for (int i = 0; i < n && found < 0; ++i)
                if (shownEntry(*owner_, *h, i) == (color & 0xFFFFFF)) found = i;
            if (found < 0) {
                // No entry has that colour: nothing becomes transparent.
                std::memset(PaletteValues, 255, sizeof PaletteValues);
                ResizeData(0);
                BitTransparency = false;
                return;
            }
            std::memset(PaletteValues, 255, size_t(found));
            ResizeData(uint32_t(found) + 1);
            std::memcpy(data_.data(), PaletteValues, dataSize_);
            break;
        }
        default: break;
    }
}

// ------------------------------------------------------------- assignment

void TChunkIHDR::Assign(const TChunk& source) {
    auto* s = dynamic_cast<const TChunkIHDR*>(&source);
    if (!s) throw EPngError(LoadResString(EPngErrorAssignText));
    IHDRData = s->IHDRData;
    PrepareImageData();
    ImageData = s->ImageData;
    ImageAlpha = s->ImageAlpha;
    // The low bytes go along, so that a copy saves what the original would.
    ExtraImageData = s->ExtraImageData;
    ExtraImageAlpha = s->ExtraImageAlpha;
    std::memcpy(BitmapInfo.bmiColors, s->BitmapInfo.bmiColors, sizeof BitmapInfo.bmiColors);
    BitmapInfo.biClrUsed = s->BitmapInfo.biClrUsed;
    Palette = s->Palette;
}

void TPNGObject::AssignPNG(const TPNGObject& source) {
    if (&source == this) return;
    InterlaceMethod = source.InterlaceMethod;
    SetMaxIdatSize(source.MaxIdatSize());
    CompressionLevel = source.CompressionLevel;
    Filters = source.Filters;
    ClearChunks();
    // The copy shows what the original shows, and a copy of a preview is a
    // preview too.
    std::memcpy(GammaTable, source.GammaTable, sizeof GammaTable);
    std::memcpy(InverseTable, source.InverseTable, sizeof InverseTable);
    preview_ = source.preview_;
    for (int i = 0; i < source.Chunks.Count(); ++i) {
        const TChunk* from = source.Chunks[i];
        const std::string cls = from->ClassName();
        TChunkClass c = cls.size() > 6 ? FindChunkClass(cls.substr(6)) : nullptr;
        TChunk* to = Chunks.Append(c ? c->Create(this) : std::make_unique<TChunk>(this));
        to->Assign(*from);
    }
}

}  // namespace png
