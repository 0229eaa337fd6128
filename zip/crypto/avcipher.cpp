#include "zip/crypto/avcipher.h"

#include <algorithm>
#include <cstring>

#include "platform/rtl/sysutils.h"

namespace zipcrypto {

// ---- Registries

namespace {

template <class Class>
struct TRegistry {
    std::vector<TClassEntry<Class>> Entries;

    bool Register(Class c, std::string_view name, std::string_view description) {
        if (!c) return false;
        std::string n = rtl::Trim(name);
        if (n.empty()) {
            std::string_view cls = c->ClassName;
            if (!cls.empty() && cls[0] == 'T') cls.remove_prefix(1);
            n = GetShortClassName(cls);
        }
        TClassEntry<Class> e{n, std::string(description), c};
        auto it = std::find_if(Entries.begin(), Entries.end(), [&](const auto& r) { return r.Cls == c; });
        if (it != Entries.end())
            *it = std::move(e);
        else
            Entries.push_back(std::move(e));
        return true;
    }

    bool Unregister(Class c) {
        const auto before = Entries.size();
        std::erase_if(Entries, [&](const auto& r) { return r.Cls == c; });
        return Entries.size() != before;
    }

    void Names(std::vector<std::pair<std::string, Class>>* list) const {
        if (!list) return;
        for (const auto& e : Entries) list->emplace_back(e.Name, e.Cls);
    }

    Class Find(std::string_view name) const {
        const size_t u = name.find('_');
        const std::string_view rest = u == std::string_view::npos ? name : name.substr(u + 1);
        for (const auto& e : Entries)
            if (rtl::SameText(GetShortClassName(e.Cls->ClassName), rest)) return e.Cls;
        for (const auto& e : Entries)
            if (rtl::SameText(e.Name, name)) return e.Cls;
        return nullptr;
    }

    std::string NameOf(Class c) const {
        for (const auto& e : Entries)
            if (e.Cls == c) return e.Name;
        return c ? GetShortClassName(c->ClassName) : std::string();
    }
};

TRegistry<TCipherClass>& ciphers() {
    static TRegistry<TCipherClass> r = [] {
        TRegistry<TCipherClass> c;
        c.Register(TCipher_Rijndael::Class(), "", "");
        return c;
    }();
    return r;
}

TRegistry<THashClass>& hashes() {
    static TRegistry<THashClass> r;
    return r;
}

TCipherClass& defaultCipher() {
    static TCipherClass c = TCipher_Rijndael::Class();
    return c;
}

THashClass& defaultHash() {
    static THashClass c = THash_RipeMD256::Class();
    return c;
}

// What every class's self test codes.
constexpr uint8_t kSharedTestVector[32] = {
    0x30, 0x44, 0xED, 0x6E, 0x45, 0xA4, 0x96, 0xF5, 0xF6, 0x35, 0xA2, 0xEB, 0x3D, 0x1A, 0x5D, 0xD6,
    0xCB, 0x1D, 0x09, 0x82, 0x2D, 0xBD, 0xF5, 0x60, 0xC2, 0xB8, 0x58, 0xA1, 0x91, 0xF9, 0x81, 0xB1,
};

void xorInto(uint8_t* d, const uint8_t* a, const uint8_t* b, int n) {
    for (int i = 0; i < n; ++i) d[i] = a[i] ^ b[i];
}

}  // namespace

void RaiseCipherException(int Code, const std::string& Msg) { throw ECipherException(Msg, Code); }

bool RegisterCipher(TCipherClass Class, std::string_view Name, std::string_view Description) {
    return ciphers().Register(Class, Name, Description);
}
bool UnregisterCipher(TCipherClass Class) { return ciphers().Unregister(Class); }
const TCipherEntries& CipherList() { return ciphers().Entries; }
void CipherNames(std::vector<std::pair<std::string, TCipherClass>>* List) { ciphers().Names(List); }
TCipherClass GetCipherClass(std::string_view Name) { return ciphers().Find(Name); }
std::string GetCipherName(TCipherClass Class) { return ciphers().NameOf(Class); }
TCipherClass DefaultCipherClass() { return defaultCipher(); }
void SetDefaultCipherClass(TCipherClass Class) { defaultCipher() = Class ? Class : TCipher_Rijndael::Class(); }

bool RegisterHash(THashClass Class, std::string_view Name, std::string_view Description) {
    return hashes().Register(Class, Name, Description);
}
bool UnregisterHash(THashClass Class) { return hashes().Unregister(Class); }
const THashEntries& HashList() { return hashes().Entries; }
void HashNames(std::vector<std::pair<std::string, THashClass>>* List) { hashes().Names(List); }
THashClass GetHashClass(std::string_view Name) { return hashes().Find(Name); }
std::string GetHashName(THashClass Class) { return hashes().NameOf(Class); }
THashClass DefaultHashClass() { return defaultHash(); }
void SetDefaultHashClass(THashClass Class) { defaultHash() = Class ? Class : THash_RipeMD256::Class(); }

const uint8_t* SharedTestVector() { return kSharedTestVector; }

// ---- TCipher

TCipher::TCipher(TCipherClass Class)
    : FBlockSize(Class->BlockSize),
      FKeySize(Class->KeySize),
      FBuffer(FBlockSize),
      FVector(FBlockSize),
      FFeedback(FBlockSize),
      FCtrKeystream(FBlockSize),
      FCtrBlock(FBlockSize),
      FSchedule(static_cast<size_t>(Class->ScheduleSize) / 4) {
    Protect();
}

TCipher::~TCipher() { Protect(); }

std::shared_ptr<TCipher> TCipher::Create(TCipherClass Class, std::string_view PassPhrase,
                                         std::shared_ptr<TProtection> AProtection) {
    std::shared_ptr<TCipher> c = Class->Make();
    c->SetProtection(std::move(AProtection));
    if (!PassPhrase.empty()) c->InitKey(PassPhrase, nullptr);
    return c;
}

std::shared_ptr<TCipher> TCipher::CreateKey(TCipherClass Class, std::vector<uint8_t>& Key) {
    std::shared_ptr<TCipher> c = Class->Make();
    if (!Key.empty()) c->InitKey(Key, nullptr);
    return c;
}

void TCipher::InitKey(std::string_view PassPhrase, const void* IV) {
    std::shared_ptr<THash> h = Hash();
    h->Init();
    h->Calc(PassPhrase.data(), static_cast<int64_t>(PassPhrase.size()));
    h->Done();
    const int size = h->DigestKeySize();
    std::vector<uint8_t> digest(h->DigestKey(), h->DigestKey() + size);
    h->Init();  // the hash object keeps no copy of the key
    Init(digest.data(), std::min(size, FKeySize), IV);
    hideKey(digest.data(), digest.size());
    WipeBytes(digest.data(), digest.size());
    Done();
    SetFlag(0, true);
}

void TCipher::InitKey(std::vector<uint8_t>& Key, const void* IV) {
    Init(Key.data(), std::min<int>(FKeySize, static_cast<int>(std::min<size_t>(Key.size(), 0xFFFF))), IV);
    hideKey(Key.data(), Key.size());
    Done();
    SetFlag(0, true);
}

void TCipher::hideKey(uint8_t* Key, size_t Size) {
    // ECB refuses a partial block; the key's encryption only has to hide it.
    const TCipherMode mode = Mode;
    if (Mode == cmECB && Size % static_cast<size_t>(FBlockSize) != 0) Mode = cmCTS;
    try {
        EncodeBuffer(Key, Key, static_cast<int64_t>(Size));
    } catch (...) {
        Mode = mode;
        throw;
    }
    Mode = mode;
}

void TCipher::InitBegin(int& Size) {
    SetFlag(1, false);
    Protect();
    Size = std::clamp(Size, 0, FKeySize);
}

void TCipher::InitEnd(const void* IV) {
    if (IV)
        std::memcpy(FVector.data(), IV, FVector.size());
    else
        Encode(FVector.data());
    FFeedback = FVector;
    SetFlag(1, true);
}

void TCipher::Done() {
    if (FFeedback != FVector) {
        FBuffer = FFeedback;
        FFeedback = FVector;
    }
}

void TCipher::Protect() {
    FFlags &= ~3u;
    for (uint8_t pattern : {uint8_t(0xAA), uint8_t(0x55)}) {
        for (auto* v : {&FVector, &FFeedback, &FBuffer}) std::memset(v->data(), pattern, v->size());
        std::memset(FSchedule.data(), pattern, FSchedule.size() * 4);
    }
    std::fill(FVector.begin(), FVector.end(), 0xFF);
    std::fill(FFeedback.begin(), FFeedback.end(), 0xFF);
    WipeBytes(FBuffer.data(), FBuffer.size());
    WipeBytes(FSchedule.data(), FSchedule.size() * 4);
    // A new key starts a new keystream: nothing of the old one is left to use.
    WipeBytes(FCtrBlock.data(), FCtrBlock.size());
    WipeBytes(FCtrKeystream.data(), FCtrKeystream.size());
    FCtrPos = FBlockSize;
}

void TCipher::SetFlag(int Index, bool On) {
    if (On)
        FFlags |= 1u << Index;
    else
        FFlags &= ~(1u << Index);
}

std::shared_ptr<THash> TCipher::Hash() {
    if (!FHash) FHash = HashClass()->Make();
    return FHash;
}

void TCipher::SetHashClass(THashClass Value) {
    if (Value != FHashClass) FHash.reset();
    FHashClass = Value;
}

bool TCipher::SelfTest(TCipherClass Class) {
    std::shared_ptr<TCipher> c = Class->Make();
    c->Mode = cmCTS;
    const std::string_view key = Class->ClassName;
    c->Init(key.data(), static_cast<int>(key.size()), nullptr);
    uint8_t buf[32];
    c->EncodeBuffer(SharedTestVector(), buf, sizeof buf);
    bool ok = std::memcmp(buf, c->TestVector(), sizeof buf) == 0;
    c->Done();
    c->DecodeBuffer(buf, buf, sizeof buf);
    return ok && std::memcmp(buf, SharedTestVector(), sizeof buf) == 0;
}

void TCipher::checkInitialized() const {
    if (!GetFlag(1))
        RaiseCipherException(errNotInitialized,
                             rtl::Format("%s is not initialized call Init() or InitKey() before.", ClassName()));
}

void TCipher::encodeTail(const uint8_t* s, uint8_t* d, int n) {
    const int B = FBlockSize;
    std::memcpy(FBuffer.data(), FFeedback.data(), B);
    Encode(FBuffer.data());
    xorInto(d, s, FBuffer.data(), n);
    xorInto(FFeedback.data(), FBuffer.data(), FFeedback.data(), B);
}

void TCipher::macTail() {
    const int B = FBlockSize;
    std::memcpy(FBuffer.data(), FFeedback.data(), B);
    Encode(FBuffer.data());
    xorInto(FFeedback.data(), FBuffer.data(), FFeedback.data(), B);
}

void TCipher::EncodeBlocks(uint8_t* Data, int Count) {
    for (int i = 0; i < Count; ++i) Encode(Data + i * FBlockSize);
}

void TCipher::ctr(uint8_t* d, int64_t n) {
    const int B = FBlockSize;
    constexpr int kBatch = 32;
    uint8_t stream[kBatch * 32];
    // The first 8 bytes of the counter count, little-endian; the rest stay as they are.
    const auto nextCounter = [&](uint8_t* into) {
        for (int k = 0; k < std::min(B, 8) && ++FCtrBlock[k] == 0; ++k) {
        }
        std::memcpy(into, FCtrBlock.data(), B);
    };
    while (n > 0) {
        if (FCtrPos == B && n >= B) {
            // Whole blocks of keystream, made in batches.
            const int blocks = static_cast<int>(std::min<int64_t>(kBatch, n / B));
            for (int i = 0; i < blocks; ++i) nextCounter(stream + i * B);
            EncodeBlocks(stream, blocks);
            xorInto(d, d, stream, blocks * B);
            d += blocks * B;
            n -= blocks * B;
            continue;
        }
        if (FCtrPos == B) {
            nextCounter(FCtrKeystream.data());
            Encode(FCtrKeystream.data());
            FCtrPos = 0;
        }
        const int take = static_cast<int>(std::min<int64_t>(n, B - FCtrPos));
        xorInto(d, d, FCtrKeystream.data() + FCtrPos, take);
        FCtrPos += take;
        d += take;
        n -= take;
    }
    WipeBytes(stream, sizeof stream);
}

// The 8-bit feedback modes: each byte costs one block encryption.
void TCipher::feedbackByte(const uint8_t* s, uint8_t* d, int64_t n, bool decoding) {
    const int B = FBlockSize;
    uint8_t* f = FFeedback.data();
    uint8_t* S = FBuffer.data();
    for (int64_t i = 0; i < n; ++i) {
        std::memcpy(S, f, B);
        Encode(S);
        const uint8_t x = s[i];
        const uint8_t y = x ^ S[0];
        std::memmove(f, f + 1, B - 1);
        switch (Mode) {
        case cmCFB: f[B - 1] = decoding ? x : y; break;
        case cmOFB: f[B - 1] = S[0]; break;
        default: f[B - 1] = y; break;  // cmCFBMAC
        }
        if (Mode != cmCFBMAC) d[i] = y;
    }
}

void TCipher::encodeBlocks(const uint8_t* s, uint8_t* d, int64_t blocks) {
    const int B = FBlockSize;
    uint8_t* f = FFeedback.data();
    uint8_t* S = FBuffer.data();
    for (int64_t k = 0; k < blocks; ++k, s += B, d += B) {
        switch (Mode) {
        case cmECB:
            if (d != s) std::memcpy(d, s, B);
            Encode(d);
            break;
        case cmCTS:
            xorInto(d, s, f, B);
            Encode(d);
            xorInto(f, d, f, B);
            break;
        case cmCBC:
            xorInto(d, s, f, B);
            Encode(d);
            std::memcpy(f, d, B);
            break;
        case cmCTSMAC:
            xorInto(S, s, f, B);
            Encode(S);
            xorInto(f, S, f, B);
            break;
        default:  // cmCBCMAC
            xorInto(S, s, f, B);
            Encode(S);
            std::memcpy(f, S, B);
            break;
        }
    }
}

void TCipher::decodeBlocks(const uint8_t* s, uint8_t* d, int64_t blocks) {
    const int B = FBlockSize;
    uint8_t* f = FFeedback.data();
    uint8_t* S = FBuffer.data();
    for (int64_t k = 0; k < blocks; ++k, s += B, d += B) {
        if (Mode == cmECB) {
            if (d != s) std::memcpy(d, s, B);
            Decode(d);
            continue;
        }
        std::memcpy(S, s, B);  // the ciphertext, before an in-place decode overwrites it
        if (d != s) std::memcpy(d, s, B);
        Decode(d);
        xorInto(d, d, f, B);
        if (Mode == cmCTS)
            xorInto(f, S, f, B);
        else
            std::memcpy(f, S, B);
    }
}

void TCipher::EncodeBuffer(const void* Source, void* Dest, int64_t Size) {
    checkInitialized();
    if (Size <= 0) return;
    const auto* s = static_cast<const uint8_t*>(Source);
    auto* d = static_cast<uint8_t*>(Dest);
    const int B = FBlockSize;
    const int64_t blocks = Size / B;
    const int tail = static_cast<int>(Size % B);
    switch (Mode) {
    case cmCFB:
    case cmOFB:
    case cmCFBMAC:
        feedbackByte(s, d, Size, false);
        return;
    case cmCTR:
        if (d != s) std::memmove(d, s, static_cast<size_t>(Size));
        ctr(d, Size);
        return;
    case cmECB:
        if (tail) RaiseCipherException(errPartialBlock, rtl::Format("%s in ECB mode codes whole blocks only, not %lld bytes.", ClassName(), static_cast<long long>(Size)));
        encodeBlocks(s, d, blocks);
        return;
    case cmCTS:
    case cmCBC:
        encodeBlocks(s, d, blocks);
        if (tail) encodeTail(s + blocks * B, d + blocks * B, tail);
        return;
    case cmCTSMAC:
    case cmCBCMAC:
        encodeBlocks(s, d, blocks);
        if (tail) macTail();
        return;
    }
}

void TCipher::DecodeBuffer(const void* Source, void* Dest, int64_t Size) {
    checkInitialized();
    if (Size <= 0) return;
    const auto* s = static_cast<const uint8_t*>(Source);
    auto* d = static_cast<uint8_t*>(Dest);
    const int B = FBlockSize;
    const int64_t blocks = Size / B;
    const int tail = static_cast<int>(Size % B);
    switch (Mode) {
    case cmCFB:
        feedbackByte(s, d, Size, true);
        return;
    case cmECB:
        if (tail) RaiseCipherException(errPartialBlock, rtl::Format("%s in ECB mode codes whole blocks only, not %lld bytes.", ClassName(), static_cast<long long>(Size)));
        decodeBlocks(s, d, blocks);
        return;
    case cmCTS:
    case cmCBC:
        decodeBlocks(s, d, blocks);
        if (tail) encodeTail(s + blocks * B, d + blocks * B, tail);
        return;
    default:  // the stream and MAC modes run the same way both ways
        EncodeBuffer(Source, Dest, Size);
        return;
    }
}

void TCipher::CodeInit(TPAction Action) {
    checkInitialized();
    if (Action != paCalc) {
        if (Action == paWipe) RndTimeSeed();
        Done();
    }
    TProtection::CodeInit(Action);
}

void TCipher::CodeDone(TPAction Action) {
    TProtection::CodeDone(Action);
    if (Action != paCalc) {
        if (Action == paWipe) RndTimeSeed();
        Done();
    }
}

void TCipher::CodeBuf(void* Buffer, int64_t Size, TPAction Action) {
    if (Action == paDecode) {
        if (Actions & PASet(paDecode)) DecodeBuffer(Buffer, Buffer, Size);
        TProtection::CodeBuf(Buffer, Size, Action);
    } else {
        TProtection::CodeBuf(Buffer, Size, Action);
        if (Actions & PASet(Action)) EncodeBuffer(Buffer, Buffer, Size);
    }
}

// ---- THash

std::string THash::DigestStr(int Format) {
    return StrToFormat(reinterpret_cast<const char*>(DigestKey()), DigestKeySize(), Format);
}

std::string THash::CalcBuffer(THashClass Class, const void* Buffer, int64_t Size,
                              std::shared_ptr<TProtection> AProtection, int Format) {
    std::shared_ptr<THash> h = Class->Make();
    h->SetProtection(std::move(AProtection));
    h->Init();
    h->Calc(Buffer, Size);
    h->Done();
    return h->DigestStr(Format);
}

std::string THash::CalcString(THashClass Class, std::string_view Value, std::shared_ptr<TProtection> AProtection,
                              int Format) {
    return CalcBuffer(Class, Value.data(), static_cast<int64_t>(Value.size()), std::move(AProtection), Format);
}

std::string THash::CalcStream(THashClass Class, rtl::TStream* Stream, int64_t Size,
                              std::shared_ptr<TProtection> AProtection, int Format) {
    constexpr int64_t kPiece = 4096;
    std::shared_ptr<THash> h = Class->Make();
    h->SetProtection(std::move(AProtection));
    std::vector<uint8_t> buf(kPiece);
    std::string result;
    h->Init();
    if (Size < 0) {
        Stream->SetPosition(0);
        Size = Stream->Size();
    }
    try {
        DoProgress(h.get(), 0, Size);
        for (int64_t done = 0; done < Size;) {
            const int64_t n = Stream->Read(buf.data(), std::min(kPiece, Size - done));
            if (n < 1) break;
            h->Calc(buf.data(), n);
            done += n;
            DoProgress(h.get(), done, Size);
        }
        h->Done();
        result = h->DigestStr(Format);
    } catch (...) {
        DoProgress(h.get(), 0, 0);
        throw;
    }
    DoProgress(h.get(), 0, 0);
    return result;
}

std::string THash::CalcFile(THashClass Class, const std::string& FileName, std::shared_ptr<TProtection> AProtection,
                            int Format) {
    rtl::TFileStream f(FileName, rtl::fmOpenRead | rtl::fmShareDenyNone);
    return CalcStream(Class, &f, -1, std::move(AProtection), Format);
}

bool THash::SelfTest(THashClass Class) {
    std::shared_ptr<THash> h = Class->Make();
    const uint8_t* expected = h->TestVector();
    h->Init();
    h->Calc(SharedTestVector(), 32);
    h->Done();
    return std::memcmp(h->DigestKey(), expected, static_cast<size_t>(h->DigestKeySize())) == 0;
}

void THash::CodeInit(TPAction Action) {
    if (Action == paWipe) {
        Calc(DigestKey(), DigestKeySize());
        RndTimeSeed();
    }
    Init();
    TProtection::CodeInit(Action);
}

void THash::CodeDone(TPAction Action) {
    TProtection::CodeDone(Action);
    if (Action == paCalc)
        Done();
    else
        Init();
}

void THash::CodeBuf(void* Buffer, int64_t Size, TPAction Action) {
    if (Action != paDecode) TProtection::CodeBuf(Buffer, Size, Action);
    if ((Actions & PASet(Action)) && Buffer) {
        auto* p = static_cast<uint8_t*>(Buffer);
        const int64_t d = DigestKeySize();
        switch (Action) {
        case paCalc:
            Calc(Buffer, Size);
            break;
        case paScramble:
        case paWipe:
            for (int64_t at = 0; d > 0 && at < Size; at += d) {
                const int64_t n = std::min(d, Size - at);
                Calc(p + at, n);
                Done();
                std::memcpy(p + at, DigestKey(), static_cast<size_t>(n));
            }
            break;
        default:  // paEncode, paDecode: a keystream of chained digests
            for (int64_t at = 0; d > 0 && at < Size; at += d) {
                const int64_t n = std::min(d, Size - at);
                std::vector<uint8_t> digest(DigestKey(), DigestKey() + d);
                Calc(digest.data(), d);
                Done();
                for (int64_t i = 0; i < n; ++i) p[at + i] ^= DigestKey()[i];
            }
            break;
        }
    }
    if (Action == paDecode) TProtection::CodeBuf(Buffer, Size, Action);
}

}  // namespace zipcrypto
