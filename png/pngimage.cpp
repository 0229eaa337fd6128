// The object, the chunk list and classes, reading a file chunk by chunk and
// writing the chunks back; the image data itself is in pngdecode.cpp and
// pngencode.cpp.
#include "png/pngimage.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <istream>
#include <map>
#include <mutex>
#include <ostream>

#include "platform/rtl/fileio.h"
#include "png/pngio.h"
#include "png/pngrows.h"

namespace png {

namespace {

const std::map<int, std::string>& stringTable() {
    static const std::map<int, std::string> table = {
        {EPngErrorAssignText, "The chunks must be compatible to be assigned."},
        {EPngUnexpectedEndText,
         "This \"Portable Network Graphics\" image is invalid because the decoder found an unexpected end of the file."},
        {EPNGNoImageDataText, "This \"Portable Network Graphics\" image contains no data."},
        {EPNGAddExistentText,
         "The program tried to add a existent critical chunk to the current image which is not allowed."},
        {EPNGAddInvalidText, "It's not allowed to add a new chunk because the current image is invalid."},
        {EPNGCouldNotLoadResourceText, "The png image could not be loaded from the resource ID."},
        {EPNGOutMemoryText,
         "Some operation could not be performed because the system is out of resources. Close some windows and try again."},
        {EPNGCannotChangeTransparentText,
         "Setting bit transparency color is not allowed for png images containing alpha value for each pixel "
         "(COLOR_RGBALPHA and COLOR_GRAYSCALEALPHA)"},
        {EPNGHeaderNotPresentText, "This operation is not valid because the current image contains no valid header."},
        {EPNGInvalidNewSizeText, "The new size provided for image resizing is invalid."},
        {EPNGInvalidSpecText,
         "The \"Portable Network Graphics\" could not be created because invalid image type parameters have being "
         "provided."},
        {EPngInvalidCRCText,
         "This \"Portable Network Graphics\" image is not valid because it contains invalid pieces of data (crc error)"},
        {EPngInvalidIHDRText,
         "The \"Portable Network Graphics\" image could not be loaded because one of its main piece of data (ihdr) "
         "might be corrupted"},
        {EPNGMissingMultipleIDATText,
         "This \"Portable Network Graphics\" image is invalid because it has missing image parts."},
        {EPNGZLIBErrorText,
         "Could not decompress the image because it contains invalid compressed data.\r\n Description: "},
        {EPNGInvalidPaletteText, "The \"Portable Network Graphics\" image contains an invalid palette."},
        {EPNGInvalidFileHeaderText,
         "The file being readed is not a valid \"Portable Network Graphics\" image because it contains an invalid "
         "header. This file may be corruped, try obtaining it again."},
        {EPNGIHDRNotFirstText,
         "This \"Portable Network Graphics\" image is not supported or it might be invalid.\r\n(IHDR chunk is not the "
         "first)"},
        {EPNGNotExistsText, "The png file could not be loaded because it does not exists."},
        {EPNGSizeExceedsText,
         "This \"Portable Network Graphics\" image is not supported because either it's width or height exceeds the "
         "maximum size, which is 65535 pixels length."},
        {EPngUnknownPalEntryText, "There is no such palette entry."},
        {EPNGMissingPaletteText,
         "This \"Portable Network Graphics\" could not be loaded because it uses a color table which is missing."},
        {EPNGUnknownCriticalChunkText,
         "This \"Portable Network Graphics\" image contains an unknown critical part which could not be decoded."},
        {EPNGUnknownCompressionText,
         "This \"Portable Network Graphics\" image is encoded with an unknown compression scheme which could not be "
         "decoded."},
        {EPNGUnknownInterlaceText,
         "This \"Portable Network Graphics\" image uses an unknown interlace scheme which could not be decoded."},
    };
    return table;
}

// The chunk classes, in the order they are searched.
struct ChunkRegistry {
    std::mutex lock;
    std::vector<TChunkClass> classes;
};

ChunkRegistry& chunkRegistry() {
    static ChunkRegistry* r = [] {
        auto* reg = new ChunkRegistry;
        reg->classes = {ChunkClassOf<TChunkIEND>(), ChunkClassOf<TChunkIHDR>(), ChunkClassOf<TChunkIDAT>(),
                        ChunkClassOf<TChunkPLTE>(), ChunkClassOf<TChunkgAMA>(), ChunkClassOf<TChunktRNS>(),
                        ChunkClassOf<TChunkpHYs>(), ChunkClassOf<TChunktIME>(), ChunkClassOf<TChunktEXt>(),
                        ChunkClassOf<TChunkzTXt>()};
        return reg;
    }();
    return *r;
}

std::unique_ptr<TChunk> createChunk(const std::string& type, TPNGObject* owner) {
    if (TChunkClass c = FindChunkClass(type)) return c->Create(owner);
    return std::make_unique<TChunk>(owner);
}

}  // namespace

std::string LoadResString(int id) {
    const auto it = stringTable().find(id);
    return it == stringTable().end() ? std::string() : it->second;
}

std::string ZlibErrorText(int code) {
    static const char* const texts[] = {"incompatible version (-6)", "buffer error (-5)", "insufficient memory (-4)",
                                        "data error (-3)", "stream error (-2)", "file error (-1)", "(0)",
                                        "stream end (1)", "need dictionary (2)"};
    return code >= -6 && code <= 2 ? texts[code + 6] : "(" + std::to_string(code) + ")";
}

const char* GetLibraryVersion() { return "1.564"; }

void RegisterChunk(TChunkClass chunkClass) {
    auto& r = chunkRegistry();
    std::lock_guard<std::mutex> g(r.lock);
    r.classes.push_back(chunkClass);
}

TChunkClass FindChunkClass(const std::string& type) {
    auto& r = chunkRegistry();
    std::lock_guard<std::mutex> g(r.lock);
    for (TChunkClass c : r.classes)
        if (type == c->Name) return c;
    return nullptr;
}

// ----------------------------------------------------------------- TChunk

TChunk::TChunk(TPNGObject* owner) : data_(1, 0), owner_(owner) {}
TChunk::~TChunk() = default;

void TChunk::TakeNameFromClass() {
    const std::string n = ClassName();
    if (n.size() == 10) name_ = n.substr(6);
}

void TChunk::ResizeData(uint32_t n) {
    data_.resize(size_t(n) + 1);
    dataSize_ = n;
}

int TChunk::GetIndex() const { return owner_ ? owner_->Chunks.IndexOf(this) : -1; }

TChunkIHDR* TChunk::GetHeader() const {
    return owner_ && owner_->Chunks.Count() > 0 ? dynamic_cast<TChunkIHDR*>(owner_->Chunks[0]) : nullptr;
}

void TChunk::Assign(const TChunk& source) {
    name_ = source.name_;
    data_ = source.data_;
    dataSize_ = source.dataSize_;
}

bool TChunk::LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) {
    // Read in pieces, so that a length beyond the stream costs no more
    // memory than the stream holds.
    data_.clear();
    dataSize_ = 0;
    const size_t got = ReadUpTo(stream, data_, size);
    dataSize_ = static_cast<uint32_t>(got);
    data_.push_back(0);
    uint32_t crc = 0;
    if (got != size || !ReadBE32(stream, crc)) throw EPngUnexpectedEnd(LoadResString(EPngUnexpectedEndText));
    uLong own = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
    own = CrcOf(own, data_.data(), got);
    if (own != crc) throw EPngInvalidCRC(LoadResString(EPngInvalidCRCText));
    return true;
}

bool TChunk::SaveData(std::ostream& stream) {
    WriteChunk(stream, name_, data_.data(), dataSize_);
    return true;
}

bool TChunk::SaveToStream(std::ostream& stream) { return SaveData(stream); }

// --------------------------------------------------------------- TPNGList

TChunk* TPNGList::GetItem(int index) const {
    return index >= 0 && index < Count() ? items_[size_t(index)].get() : nullptr;
}

int TPNGList::IndexOf(const TChunk* chunk) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == chunk) return static_cast<int>(i);
    return -1;
}

void TPNGList::RemoveChunk(TChunk* chunk) {
    const int i = IndexOf(chunk);
    if (i >= 0) items_.erase(items_.begin() + i);
}

TChunk* TPNGList::Append(std::unique_ptr<TChunk> chunk) {
    items_.push_back(std::move(chunk));
    return items_.back().get();
}

void TPNGList::Insert(std::unique_ptr<TChunk> chunk, int index) {
    if (index < 0 || index > Count()) index = Count();
    items_.insert(items_.begin() + index, std::move(chunk));
}

// ------------------------------------------------------------- TPNGObject

TPNGObject::TPNGObject() { InitializeGamma(); }
TPNGObject::~TPNGObject() = default;

void TPNGObject::InitializeGamma() {
    for (int i = 0; i < 256; ++i) GammaTable[i] = InverseTable[i] = static_cast<uint8_t>(i);
}

void TPNGObject::ClearChunks() {
    InitializeGamma();
    Chunks.Clear();
    decodeStep_ = 1;
    preview_ = false;
}

bool TPNGObject::HeaderPresent() const {
    return Chunks.Count() > 0 && dynamic_cast<TChunkIHDR*>(Chunks[0]) != nullptr;
}

TChunkIHDR* TPNGObject::Header() const {
    if (!HeaderPresent()) throw EPNGHeaderNotPresent(LoadResString(EPNGHeaderNotPresentText));
    return static_cast<TChunkIHDR*>(Chunks[0]);
}

int TPNGObject::GetWidth() const { return HeaderPresent() ? static_cast<int>(Header()->Width()) : 0; }
int TPNGObject::GetHeight() const { return HeaderPresent() ? static_cast<int>(Header()->Height()) : 0; }

void TPNGObject::GetPixelInfo(size_t& lineSize, int& offset) const {
    lineSize = 0;
    offset = 0;
    if (!HeaderPresent()) return;
    const TIHDRData& h = Header()->IHDRData;
    lineSize = BytesForPixels(h.ColorType, h.BitDepth, h.Width);
    offset = PixelOffset(h.ColorType, h.BitDepth);
}

namespace {

// What the chunk loop has met so far, for the order rules.
struct ChunksSeen {
    bool plte = false, idat = false, gama = false, trns = false;
    uint32_t paletteEntries = 0;
};

// Chunks a reader of the standard leaves out: dropped kinds, and ancillary
// chunks out of place, repeated, meant for another colour type or of the
// wrong length. Their CRC is still checked.
bool ignored(const std::string& type, uint32_t length, uint8_t colorType, const ChunksSeen& seen) {
    if (type == "cHRM") return true;
    if (type == "IDAT") return seen.idat;
    if (type == "PLTE")
        return seen.idat || colorType == COLOR_GRAYSCALE || colorType == COLOR_GRAYSCALEALPHA;
    if (type == "gAMA") return seen.gama || seen.plte || seen.idat || length != 4;
    if (type == "tRNS") {
        if (seen.trns || seen.idat) return true;
        switch (colorType) {
            case COLOR_GRAYSCALE: return length != 2;
            case COLOR_RGB: return length != 6;
            case COLOR_PALETTE: return !seen.plte || length == 0 || length > seen.paletteEntries;
            default: return true;  // the image has an alpha channel of its own
        }
    }
    return false;
}

}  // namespace

void TPNGObject::LoadFromStream(std::istream& stream) { load(stream, 0); }

void TPNGObject::LoadPreview(std::istream& stream, int size) { load(stream, std::max(size, 1)); }

void TPNGObject::load(std::istream& stream, int previewSize) {
    ClearChunks();
    previewSize_ = previewSize;
    try {
        loadChunks(stream);
    } catch (...) {
        // Nothing half-made stays behind for a later save to write.
        previewSize_ = 0;
        ClearChunks();
        throw;
    }
    previewSize_ = 0;
    preview_ = decodeStep_ > 1;
    decodeStep_ = 1;
}

void TPNGObject::loadChunks(std::istream& stream) {
    static const uint8_t signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    uint8_t head[8];
    if (!ReadExact(stream, head, 8) || std::memcmp(head, signature, 8) != 0)
        throw EPNGInvalidFileHeader(LoadResString(EPNGInvalidFileHeaderText));
    ChunksSeen seen;
    std::string type;
    do {
        uint32_t length = 0;
        if (!ReadBE32(stream, length)) throw EPngUnexpectedEnd(LoadResString(EPngUnexpectedEndText));
        char t[4];
        if (!ReadExact(stream, t, 4)) throw EPngUnexpectedEnd(LoadResString(EPngUnexpectedEndText));
        type.assign(t, 4);
        if (Chunks.Count() == 0 && type != "IHDR") throw EPNGIHDRNotFirst(LoadResString(EPNGIHDRNotFirstText));
        if (Chunks.Count() > 0) {
            if (type == "IHDR") throw EPngInvalidIHDR(LoadResString(EPngInvalidIHDRText));
            if (type == "PLTE" && seen.plte && !seen.idat)
                throw EPNGInvalidPalette(LoadResString(EPNGInvalidPaletteText));
            if (ignored(type, length, Header()->ColorType(), seen)) {
                TChunk(this).LoadFromStream(stream, type, length);
                continue;
            }
        }
        TChunk* chunk = Chunks.Append(createChunk(type, this));
        chunk->SetChunkName(type);
        if (std::strcmp(chunk->ClassName(), "TChunk") == 0 && !(type[0] & 0x20))
            throw EPNGUnknownCriticalChunk(LoadResString(EPNGUnknownCriticalChunkText));
        if (!chunk->LoadFromStream(stream, type, length)) break;
        seen.idat |= type == "IDAT";
        seen.gama |= type == "gAMA";
        seen.trns |= type == "tRNS";
        if (type == "PLTE") {
            seen.plte = true;
            seen.paletteEntries = length / 3;
        }
    } while (type != "IEND");
    if (!seen.idat) throw EPNGNoImageData(LoadResString(EPNGNoImageDataText));
}

void TPNGObject::LoadFromFile(const std::string& fileName) {
    // Only a regular file: a pipe would hold the program for ever.
    rtl::TFileReadStream in(fileName);
    if (in.Failure().Refused()) throw EPNGNotExists(in.Failure().Text());
    if (!in.IsOpen()) throw EPNGNotExists(LoadResString(EPNGNotExistsText));
    LoadFromStream(in);
}

void TPNGObject::SaveToStream(std::ostream& stream) {
    // An empty image or a preview has no file to give.
    if (!HeaderPresent() || preview_) throw EPNGHeaderNotPresent(LoadResString(EPNGHeaderNotPresentText));
    static const char signature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
    stream.write(signature, 8);
    for (int i = 0; i < Chunks.Count(); ++i) Chunks[i]->SaveToStream(stream);
}

void TPNGObject::SaveToFile(const std::string& fileName) {
    // The image replaces the file once it is whole; a new file's mode is
    // left to the umask.
    rtl::TFileReplaceStream out(fileName, 0666);
    SaveToStream(out);
    if (!out.Commit()) throw rtl::EInOutError("Cannot write file \"" + fileName + "\". " + out.Failure().Text());
}

void TPNGObject::SetMaxIdatSize(int size) { maxIdatSize_ = size > 65534 ? size : 65535; }

// ----------------------------------------------------------------- chunks

bool TChunkIEND::LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) {
    TChunk::LoadFromStream(stream, type, size);
    // The end carries no data; what a file put there is not kept.
    ResizeData(0);
    return true;
}

bool TChunkIHDR::LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) {
    TChunk::LoadFromStream(stream, type, size);
    if (dataSize_ != 13) throw EPngInvalidIHDR(LoadResString(EPngInvalidIHDRText));
    const uint8_t* d = data_.data();
    IHDRData.Width = BE32(d);
    IHDRData.Height = BE32(d + 4);
    IHDRData.BitDepth = d[8];
    IHDRData.ColorType = d[9];
    IHDRData.CompressionMethod = d[10];
    IHDRData.FilterMethod = d[11];
    IHDRData.InterlaceMethod = d[12];
    if (IHDRData.Width == 0 || IHDRData.Height == 0) throw EPngInvalidIHDR(LoadResString(EPngInvalidIHDRText));
    if (IHDRData.Width > 65535 || IHDRData.Height > 65535)
        throw EPNGSizeExceeds(LoadResString(EPNGSizeExceedsText));
    if (!ValidColorDepth(IHDRData.ColorType, IHDRData.BitDepth) || IHDRData.FilterMethod != 0)
        throw EPngInvalidIHDR(LoadResString(EPngInvalidIHDRText));
    if (IHDRData.CompressionMethod != 0) throw EPNGUnknownCompression(LoadResString(EPNGUnknownCompressionText));
    if (IHDRData.InterlaceMethod > 1) throw EPNGUnknownInterlace(LoadResString(EPNGUnknownInterlaceText));
    // Deflate packs at most 1032 bytes into one: a file too short to hold
    // the image's data is refused before its planes are made.
    const uint64_t left = BytesLeft(stream);
    if (left != UINT64_MAX && FilteredImageBytes(IHDRData) / 1032 > left)
        throw EPNGMissingMultipleIDAT(LoadResString(EPNGMissingMultipleIDATText));
    owner_->InterlaceMethod = static_cast<TInterlaceMethod>(IHDRData.InterlaceMethod);
    owner_->SetDecodeStep(PreviewStep(IHDRData.Width, IHDRData.Height, owner_->PreviewSize()));
    PrepareImageData();
    return true;
}

bool TChunkIHDR::SaveToStream(std::ostream& stream) {
    if (IHDRData.BitDepth == 2) IHDRData.BitDepth = 4;
    ResizeData(13);
    uint8_t* d = data_.data();
    PutBE32(d, IHDRData.Width);
    PutBE32(d + 4, IHDRData.Height);
    d[8] = IHDRData.BitDepth;
    d[9] = IHDRData.ColorType;
    d[10] = IHDRData.CompressionMethod;
    d[11] = IHDRData.FilterMethod;
    d[12] = static_cast<uint8_t>(owner_->InterlaceMethod);
    return SaveData(stream);
}

bool TChunkPLTE::LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) {
    TChunk::LoadFromStream(stream, type, size);
    if (dataSize_ == 0 || dataSize_ % 3 != 0 || dataSize_ / 3 > 256)
        throw EPNGInvalidPalette(LoadResString(EPNGInvalidPaletteText));
    Count = static_cast<int>(dataSize_ / 3);
    TPalette pal(static_cast<size_t>(Count));
    for (int i = 0; i < Count; ++i) {
        pal[size_t(i)].peRed = data_[size_t(i) * 3];
        pal[size_t(i)].peGreen = data_[size_t(i) * 3 + 1];
        pal[size_t(i)].peBlue = data_[size_t(i) * 3 + 2];
    }
    owner_->SetPalette(pal);
    return true;
}

bool TChunkPLTE::SaveToStream(std::ostream& stream) {
    TChunkIHDR* h = GetHeader();
    if (Count == 0 && h) Count = h->BitmapInfo.biClrUsed;
    ResizeData(static_cast<uint32_t>(Count) * 3);
    for (int i = 0; i < Count; ++i) {
        TPaletteEntry e;
        if (h && size_t(i) < h->Palette.size()) e = h->Palette[size_t(i)];
        data_[size_t(i) * 3] = e.peRed;
        data_[size_t(i) * 3 + 1] = e.peGreen;
        data_[size_t(i) * 3 + 2] = e.peBlue;
    }
    return SaveData(stream);
}

uint32_t TChunkPLTE::GetPaletteItem(int index) const {
    if (index < 0 || index >= Count) throw EPngError(LoadResString(EPngUnknownPalEntryText));
    const TRGBQuad& q = GetHeader()->BitmapInfo.bmiColors[index];
    return uint32_t(q.rgbBlue) | uint32_t(q.rgbGreen) << 8 | uint32_t(q.rgbRed) << 16;
}

void TChunkPLTE::Assign(const TChunk& source) {
    auto* s = dynamic_cast<const TChunkPLTE*>(&source);
    if (!s) throw EPngError(LoadResString(EPngErrorAssignText));
    Count = s->Count;
}

TChunktRNS::TChunktRNS(TPNGObject* owner) : TChunk(owner) {
    TakeNameFromClass();
    std::memset(PaletteValues, 255, sizeof PaletteValues);
}

bool TChunktRNS::LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) {
    TChunk::LoadFromStream(stream, type, size);
    if (dataSize_ > 256) throw EPNGInvalidPalette(LoadResString(EPNGInvalidPaletteText));
    std::memset(PaletteValues, 255, sizeof PaletteValues);
    std::memcpy(PaletteValues, data_.data(), dataSize_);
    TChunkIHDR* h = GetHeader();
    if (h && h->ColorType() == COLOR_PALETTE) {
        // One entry fully transparent and all others opaque is one
        // transparent colour; anything else is drawn entry by entry.
        int clear = 0, partial = 0;
        for (uint32_t i = 0; i < dataSize_; ++i) {
            clear += PaletteValues[i] == 0;
            partial += PaletteValues[i] != 0 && PaletteValues[i] != 255;
        }
        BitTransparency = clear == 1 && partial == 0;
    } else {
        BitTransparency = true;
    }
    return true;
}

bool TChunktRNS::SaveToStream(std::ostream& stream) {
    // Grey and colour images keep their transparent sample in the data. A
    // chunk never given a colour or a table is left out, not written empty.
    TChunkIHDR* h = GetHeader();
    if (!h) return false;
    switch (h->ColorType()) {
        case COLOR_PALETTE: {
            // No more entries than the palette has, which a table made for
            // every index of the depth may hold.
            const TChunkPLTE* plte = owner_->Chunks.FindChunk<TChunkPLTE>();
            const uint32_t entries = !plte ? 0 : plte->Count ? uint32_t(plte->Count) : uint32_t(h->BitmapInfo.biClrUsed);
            if (dataSize_ > entries) ResizeData(std::min<uint32_t>(entries, 256));
            if (dataSize_ == 0) return false;
            std::memcpy(data_.data(), PaletteValues, dataSize_);
            break;
        }
        case COLOR_GRAYSCALE:
            if (dataSize_ != 2) return false;
            break;
        case COLOR_RGB:
            if (dataSize_ != 6) return false;
            break;
        default: return false;
    }
    return SaveData(stream);
}

void TChunktRNS::Assign(const TChunk& source) {
    TChunk::Assign(source);
    if (auto* s = dynamic_cast<const TChunktRNS*>(&source)) {
        std::memcpy(PaletteValues, s->PaletteValues, sizeof PaletteValues);
        BitTransparency = s->BitTransparency;
    }
}

TChunkgAMA::TChunkgAMA(TPNGObject* owner) : TChunk(owner) {
    TakeNameFromClass();
    ResizeData(4);
    SetValue(1);
}

uint32_t TChunkgAMA::GetValue() const { return dataSize_ == 4 ? BE32(data_.data()) : 1; }
void TChunkgAMA::SetValue(uint32_t value) {
    if (dataSize_ != 4) ResizeData(4);
    PutBE32(data_.data(), value);
}

bool TChunkgAMA::LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) {
    TChunk::LoadFromStream(stream, type, size);
    const uint32_t g = GetValue();
    if (g == 0) return true;
    const double y = 1.0 / (g / 100000.0 * 2.2);
    uint8_t* gamma = owner_->GammaTable;
    for (int i = 0; i < 256; ++i) {
        const double x = i / 255.0;
        const double p = x == 0 ? 0.0 : std::exp(y * std::log(x));
        gamma[i] = static_cast<uint8_t>(std::clamp(std::nearbyint(255.0 * p), 0.0, 255.0));
    }
    // Each shown value back to the sample that shows nearest to it, so that
    // a colour the table can show comes back exactly.
    for (int v = 0; v < 256; ++v) {
        int best = 0;
        for (int i = 1; i < 256; ++i)
            if (std::abs(gamma[i] - v) < std::abs(gamma[best] - v)) best = i;
        owner_->InverseTable[v] = static_cast<uint8_t>(best);
    }
    return true;
}

void TChunkgAMA::Assign(const TChunk& source) {
    auto* s = dynamic_cast<const TChunkgAMA*>(&source);
    if (!s) throw EPngError(LoadResString(EPngErrorAssignText));
    SetValue(s->GetValue());
}

bool TChunkpHYs::LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) {
    TChunk::LoadFromStream(stream, type, size);
    if (dataSize_ == 9) {
        PPUnitX = BE32(data_.data());
        PPUnitY = BE32(data_.data() + 4);
        UnitType = static_cast<TUnitType>(data_[8] ? utMeter : utUnknown);
    }
    return true;
}

bool TChunkpHYs::SaveToStream(std::ostream& stream) {
    ResizeData(9);
    PutBE32(data_.data(), PPUnitX);
    PutBE32(data_.data() + 4, PPUnitY);
    data_[8] = static_cast<uint8_t>(UnitType);
    return SaveData(stream);
}

void TChunkpHYs::Assign(const TChunk& source) {
    TChunk::Assign(source);
    if (auto* s = dynamic_cast<const TChunkpHYs*>(&source)) {
        PPUnitX = s->PPUnitX;
        PPUnitY = s->PPUnitY;
        UnitType = s->UnitType;
    }
}

bool TChunktIME::LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) {
    TChunk::LoadFromStream(stream, type, size);
    if (dataSize_ == 7) {
        const uint8_t* d = data_.data();
        Year = static_cast<uint16_t>(d[0] << 8 | d[1]);
        Month = d[2];
        Day = d[3];
        Hour = d[4];
        Minute = d[5];
        Second = d[6];
    }
    return true;
}

bool TChunktIME::SaveToStream(std::ostream& stream) {
    // A time never set (or no time at all) is left out, not written invalid.
    if (Year == 0 || Month < 1 || Month > 12 || Day < 1 || Day > 31 || Hour > 23 || Minute > 59 || Second > 60)
        return false;
    ResizeData(7);
    uint8_t* d = data_.data();
    d[0] = static_cast<uint8_t>(Year >> 8);
    d[1] = static_cast<uint8_t>(Year);
    d[2] = Month;
    d[3] = Day;
    d[4] = Hour;
    d[5] = Minute;
    d[6] = Second;
    return SaveData(stream);
}

void TChunktIME::Assign(const TChunk& source) {
    TChunk::Assign(source);
    if (auto* s = dynamic_cast<const TChunktIME*>(&source)) {
        Year = s->Year;
        Month = s->Month;
        Day = s->Day;
        Hour = s->Hour;
        Minute = s->Minute;
        Second = s->Second;
    }
}

namespace {
// The keyword ends at the first zero byte inside the data; without one the
// whole data is the keyword.
size_t keywordLength(const uint8_t* d, size_t n) {
    const void* z = std::memchr(d, 0, n);
    return z ? static_cast<size_t>(static_cast<const uint8_t*>(z) - d) : n;
}
}  // namespace

bool TChunktEXt::LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) {
    TChunk::LoadFromStream(stream, type, size);
    Keyword.clear();
    Text.clear();
    if (dataSize_ > 2) {
        const uint8_t* d = data_.data();
        const size_t k = keywordLength(d, dataSize_);
        Keyword.assign(reinterpret_cast<const char*>(d), k);
        if (k < dataSize_) Text.assign(reinterpret_cast<const char*>(d) + k + 1, dataSize_ - k - 1);
    }
    return true;
}

bool TChunktEXt::SaveToStream(std::ostream& stream) {
    std::string d = Keyword;
    d += '\0';
    d += Text;
    ResizeData(static_cast<uint32_t>(d.size()));
    std::memcpy(data_.data(), d.data(), d.size());
    return SaveData(stream);
}

void TChunktEXt::Assign(const TChunk& source) {
    TChunk::Assign(source);
    if (auto* s = dynamic_cast<const TChunktEXt*>(&source)) {
        Keyword = s->Keyword;
        Text = s->Text;
    }
}

bool TChunkzTXt::LoadFromStream(std::istream& stream, const std::string& type, uint32_t size) {
    TChunktEXt::LoadFromStream(stream, type, size);
    if (dataSize_ <= 3) return true;
    const uint8_t* d = data_.data();
    const size_t k = keywordLength(d, dataSize_);
    Keyword.assign(reinterpret_cast<const char*>(d), k);
    Text.clear();
    if (k + 2 <= dataSize_ && d[k + 1] == 0) {
        std::string out;
        if (InflateText(d + k + 2, dataSize_ - k - 2, out)) Text = std::move(out);
    }
    return true;
}

bool TChunkzTXt::SaveToStream(std::ostream& stream) {
    const std::string text = Text.empty() ? std::string(" ") : Text;
    std::string packed;
    if (!DeflateText(text, owner_->CompressionLevel, packed)) return false;
    std::string d = Keyword;
    d += '\0';
    d += '\0';
    d += packed;
    ResizeData(static_cast<uint32_t>(d.size()));
    std::memcpy(data_.data(), d.data(), d.size());
    return SaveData(stream);
}

void TPNGObject::AddtEXt(const std::string& keyword, const std::string& text) {
    auto* c = Chunks.Add<TChunktEXt>();
    c->Keyword = keyword;
    c->Text = text;
}

void TPNGObject::AddzTXt(const std::string& keyword, const std::string& text) {
    auto* c = Chunks.Add<TChunkzTXt>();
    c->Keyword = keyword;
    c->Text = text;
}

}  // namespace png
