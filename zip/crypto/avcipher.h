#pragma once
// Block ciphers and digest classes over the TProtection frame: registries of
// cipher and hash classes, TCipher with its chaining modes and key set-up,
// THash with its one-call digests, the Rijndael cipher and the MD4 family.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zip/crypto/avdecutil.h"

namespace zipcrypto {

class TCipher;
class THash;

// A class of the registries: its name, how to make an instance, its sizes.
struct TCipherClassInfo {
    const char* ClassName;
    std::shared_ptr<TCipher> (*Make)();
    int BlockSize, KeySize, ScheduleSize;
};
using TCipherClass = const TCipherClassInfo*;

struct THashClassInfo {
    const char* ClassName;
    std::shared_ptr<THash> (*Make)();
    int DigestKeySize;
};
using THashClass = const THashClassInfo*;

class ECipherException : public rtl::Exception {
public:
    ECipherException(std::string Msg, int ACode) : rtl::Exception(std::move(Msg)), ErrorCode(ACode) {}
    const char* ClassName() const override { return "ECipherException"; }
    int ErrorCode;
};
constexpr int errNotInitialized = 3;
// ECB codes whole blocks only: a tail could never be decoded again.
constexpr int errPartialBlock = 4;
[[noreturn]] void RaiseCipherException(int Code, const std::string& Msg);

template <class Class>
struct TClassEntry {
    std::string Name;
    std::string Description;
    Class Cls;
};
using TCipherEntries = std::vector<TClassEntry<TCipherClass>>;
using THashEntries = std::vector<TClassEntry<THashClass>>;

// An empty name is made from the class name ("TCipher_Rijndael": "Rijndael").
bool RegisterCipher(TCipherClass Class, std::string_view Name, std::string_view Description);
bool UnregisterCipher(TCipherClass Class);
const TCipherEntries& CipherList();
void CipherNames(std::vector<std::pair<std::string, TCipherClass>>* List);
// "TCipher_Rijndael" and "Rijndael" alike; letter case ignored; else by entry name.
TCipherClass GetCipherClass(std::string_view Name);
std::string GetCipherName(TCipherClass Class);
TCipherClass DefaultCipherClass();
void SetDefaultCipherClass(TCipherClass Class);

bool RegisterHash(THashClass Class, std::string_view Name, std::string_view Description);
bool UnregisterHash(THashClass Class);
const THashEntries& HashList();
void HashNames(std::vector<std::pair<std::string, THashClass>>* List);
THashClass GetHashClass(std::string_view Name);
std::string GetHashName(THashClass Class);
THashClass DefaultHashClass();
void SetDefaultHashClass(THashClass Class);

// The 32 bytes every class's self test codes.
const uint8_t* SharedTestVector();

enum TCipherMode : uint8_t { cmCTS, cmCBC, cmCFB, cmOFB, cmCTR, cmECB, cmCTSMAC, cmCBCMAC, cmCFBMAC };

class TCipher : public TProtection {
public:
    ~TCipher() override;
    const char* ClassName() const override { return ClassType()->ClassName; }
    virtual TCipherClass ClassType() const = 0;

    // Makes a cipher of the class; a non-empty pass phrase keys it.
    static std::shared_ptr<TCipher> Create(TCipherClass Class, std::string_view PassPhrase = {},
                                           std::shared_ptr<TProtection> AProtection = nullptr);
    // Keys it from raw bytes, as InitKey below (the bytes are replaced).
    static std::shared_ptr<TCipher> CreateKey(TCipherClass Class, std::vector<uint8_t>& Key);

    // The key is the digest of the pass phrase under the hash class.
    void InitKey(std::string_view PassPhrase, const void* IV);
    // Keys from raw bytes; Key's contents are then replaced by their
    // encryption, so the plain key does not linger with the caller.
    void InitKey(std::vector<uint8_t>& Key, const void* IV);
    // Size is cut to the key size. IV: BlockSize bytes, or nullptr for the
    // encryption of a block of 0xFF.
    virtual void Init(const void* Key, int Size, const void* IV) {}
    // Restarts chaining from the initial vector; the counter runs on.
    virtual void Done();
    // Wipes the key material; the cipher is unusable until keyed again.
    virtual void Protect();

    // Source and Dest may be the same buffer.
    void EncodeBuffer(const void* Source, void* Dest, int64_t Size);
    void DecodeBuffer(const void* Source, void* Dest, int64_t Size);

    bool GetFlag(int Index) const { return (FFlags >> Index) & 1; }
    virtual void SetFlag(int Index, bool On);

    std::shared_ptr<THash> Hash();
    THashClass HashClass() const { return FHashClass ? FHashClass : DefaultHashClass(); }
    void SetHashClass(THashClass Value);

    static int MaxKeySize(TCipherClass Class) { return Class->KeySize; }
    static bool SelfTest(TCipherClass Class);

    TCipherMode Mode = cmCTS;
    int BlockSize() const { return FBlockSize; }
    int KeySize() const { return FKeySize; }
    const uint8_t* InitVector() const { return FVector.data(); }
    const uint8_t* Feedback() const { return FFeedback.data(); }
    // The 32 bytes the class's self test expects.
    virtual const uint8_t* TestVector() const { return SharedTestVector(); }

    void CodeInit(TPAction Action) override;
    void CodeDone(TPAction Action) override;
    void CodeBuf(void* Buffer, int64_t Size, TPAction Action) override;

protected:
    explicit TCipher(TCipherClass Class);
    // Block transforms in place, over the key schedule.
    virtual void Encode(uint8_t* Data) {}
    virtual void Decode(uint8_t* Data) {}
    // Count blocks side by side, for the counter's keystream.
    virtual void EncodeBlocks(uint8_t* Data, int Count);
    void InitBegin(int& Size);
    virtual void InitEnd(const void* IV);
    uint32_t* Schedule() { return FSchedule.data(); }

private:
    void checkInitialized() const;
    void hideKey(uint8_t* Key, size_t Size);
    void ctr(uint8_t* d, int64_t n);
    void encodeTail(const uint8_t* s, uint8_t* d, int n);
    void macTail();
    void encodeBlocks(const uint8_t* s, uint8_t* d, int64_t blocks);
    void decodeBlocks(const uint8_t* s, uint8_t* d, int64_t blocks);
    void feedbackByte(const uint8_t* s, uint8_t* d, int64_t n, bool decoding);

    int FBlockSize, FKeySize;
    std::vector<uint8_t> FBuffer, FVector, FFeedback, FCtrKeystream, FCtrBlock;
    std::vector<uint32_t> FSchedule;
    uint32_t FFlags = 0;
    int FCtrPos = 0;
    THashClass FHashClass = nullptr;
    std::shared_ptr<THash> FHash;
};

class THash : public TProtection {
public:
    const char* ClassName() const override { return ClassType()->ClassName; }
    virtual THashClass ClassType() const = 0;

    virtual void Init() { Protect(true); }
    virtual void Calc(const void* Buffer, int64_t Size) {}
    virtual void Done() { Protect(false); }
    virtual const uint8_t* DigestKey() const { return SharedTestVector(); }
    int DigestKeySize() const { return ClassType()->DigestKeySize; }
    virtual const uint8_t* TestVector() const { return SharedTestVector(); }

    // The digest in a string format (-1: the default one).
    std::string DigestStr(int Format);

    static std::string CalcBuffer(THashClass Class, const void* Buffer, int64_t Size,
                                  std::shared_ptr<TProtection> AProtection = nullptr, int Format = kFormatDefault);
    static std::string CalcString(THashClass Class, std::string_view Value,
                                  std::shared_ptr<TProtection> AProtection = nullptr, int Format = kFormatDefault);
    // Size < 0: the whole stream from position 0.
    static std::string CalcStream(THashClass Class, rtl::TStream* Stream, int64_t Size,
                                  std::shared_ptr<TProtection> AProtection = nullptr, int Format = kFormatDefault);
    static std::string CalcFile(THashClass Class, const std::string& FileName,
                                std::shared_ptr<TProtection> AProtection = nullptr, int Format = kFormatDefault);
    static bool SelfTest(THashClass Class);

    void CodeInit(TPAction Action) override;
    void CodeDone(TPAction Action) override;
    void CodeBuf(void* Buffer, int64_t Size, TPAction Action) override;

protected:
    virtual void Protect(bool On) {}
};

// A checksum base that adds nothing.
class TChecksum : public THash {};

// AES on 16-byte blocks, keys of up to 32 bytes (shorter ones zero-padded
// to 16, 24 or 32).
class TCipher_Rijndael : public TCipher {
public:
    TCipher_Rijndael() : TCipher(Class()) {}
    static TCipherClass Class();
    TCipherClass ClassType() const override { return Class(); }
    const uint8_t* TestVector() const override;  // "Not implemented 20"
    void Init(const void* Key, int Size, const void* IV) override;
    int Rounds() const { return FRounds; }
    // The processor's AES instructions are used where present, unless
    // disallowed (for ciphers keyed afterwards).
    static bool HardwareAvailable();
    static void AllowHardware(bool Allow);

protected:
    explicit TCipher_Rijndael(TCipherClass Class) : TCipher(Class) {}
    void Encode(uint8_t* Data) override;
    void Decode(uint8_t* Data) override;
    void EncodeBlocks(uint8_t* Data, int Count) override;
    // Fills the encryption round keys from the zero-padded 32-byte key.
    virtual void ExpandKey(const uint8_t Key[32]);
    static uint32_t SubWord(uint32_t Word);
    uint32_t* EncKeys() { return Schedule(); }
    uint32_t* DecKeys() { return Schedule() + 60; }
    int FRounds = 0;
    bool FHardware = false;
};

// MD4 and its RIPEMD relatives: 64-byte blocks, little-endian words.
class THash_MD4 : public THash {
public:
    ~THash_MD4() override;
    static THashClass Class();
    THashClass ClassType() const override { return Class(); }
    const uint8_t* TestVector() const override;  // "Not implemented 28"
    void Init() override;
    void Calc(const void* Buffer, int64_t Size) override;
    void Done() override;
    const uint8_t* DigestKey() const override { return reinterpret_cast<const uint8_t*>(FDigest); }

protected:
    virtual void Transform(const uint8_t* Block);
    virtual const uint32_t* InitWords() const;
    uint64_t FCount = 0;  // bytes: the bit length stays right past 512 MiB
    uint8_t FBuffer[64] = {};
    uint32_t FDigest[10] = {};
};

class THash_RipeMD128 : public THash_MD4 {
public:
    static THashClass Class();
    THashClass ClassType() const override { return Class(); }
    const uint8_t* TestVector() const override;  // "Not implemented 30"

protected:
    void Transform(const uint8_t* Block) override;
};

class THash_RipeMD256 : public THash_MD4 {
public:
    static THashClass Class();
    THashClass ClassType() const override { return Class(); }
    const uint8_t* TestVector() const override;  // "Not implemented 31"

protected:
    void Transform(const uint8_t* Block) override;
    const uint32_t* InitWords() const override;
};

}  // namespace zipcrypto
