#pragma once
// The common base of the suite's ciphers and digests: TProtection with its
// chaining and its buffer, stream, file and string coding frame; the string
// formats; bit and buffer utilities.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/streams.h"

namespace zipcrypto {

RTL_EXCEPTION_CLASS(EProtection, rtl::Exception);
RTL_EXCEPTION_CLASS(EStringFormat, rtl::Exception);

enum TPAction { paEncode = 0, paDecode, paScramble, paCalc, paWipe };
using TPActions = uint8_t;
constexpr TPActions PASet(TPAction a) { return static_cast<TPActions>(1u << a); }
constexpr TPActions kAllActions = PASet(paEncode) | PASet(paDecode) | PASet(paScramble) | PASet(paCalc) | PASet(paWipe);

// Progress of the coding frame: (sender, done, total); (0, 0) at the end.
using TProgressProc = std::function<void(rtl::TObject* Sender, int64_t Current, int64_t Maximum)>;
void SetProgress(TProgressProc Proc);
void DoProgress(rtl::TObject* Sender, int64_t Current, int64_t Maximum);

// Coders are shared: a chained inner coder lives as long as any chain holds it.
class TProtection : public rtl::TObject {
public:
    explicit TProtection(std::shared_ptr<TProtection> AProtection = nullptr);
    ~TProtection() override;
    TProtection(const TProtection&) = delete;
    TProtection& operator=(const TProtection&) = delete;
    const char* ClassName() const override { return "TProtection"; }

    const std::shared_ptr<TProtection>& Protection() const { return FProtection; }
    // Raises EProtection when Value's chain leads back to this object.
    void SetProtection(std::shared_ptr<TProtection> Value);

    TPActions Actions = kAllActions;

    virtual void CodeInit(TPAction Action);
    virtual void CodeDone(TPAction Action);
    virtual void CodeBuf(void* Buffer, int64_t Size, TPAction Action);
    // Size < 0: the whole source from position 0. Source and Dest may be
    // one stream, coded in place.
    virtual void CodeStream(rtl::TStream* Source, rtl::TStream* Dest, int64_t Size, TPAction Action);
    virtual void CodeFile(const std::string& Source, const std::string& Dest, TPAction Action);
    virtual std::string CodeString(const std::string& Source, TPAction Action, int Format);
    virtual int64_t CodeBuffer(void* Buffer, int64_t Size, TPAction Action);

    // Raises "Not implemented 13".
    uint16_t Identity() const;

protected:
    // Used by constructors that skip the chaining one.
    TProtection(std::nullptr_t, TPActions AActions) : Actions(AActions) {}

private:
    std::shared_ptr<TProtection> FProtection;
};

// A byte stream in memory, for coding texts through the stream frame.
class TBytesStream : public rtl::TStream {
public:
    explicit TBytesStream(std::string Bytes = {}) : FBytes(std::move(Bytes)) {}
    const char* ClassName() const override { return "TBytesStream"; }
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, rtl::TSeekOrigin Origin) override;
    const std::string& Bytes() const { return FBytes; }

private:
    std::string FBytes;
    int64_t FPosition = 0;
};

// String formats: conversions between bytes and text, known by number. Each
// class has one shared instance; it stands for the class.
class TStringFormat {
public:
    virtual ~TStringFormat() = default;
    virtual const char* ClassName() const { return "TStringFormat"; }
    // Format text to bytes, and bytes to format text.
    virtual std::string ToStr(std::string_view Value) const;
    virtual std::string StrTo(std::string_view Value) const;
    virtual std::string Name() const;
    virtual int Format() const { return 1; }
    // IsFormatText: Value is format text (else bytes to be converted).
    virtual bool IsValid(std::string_view Value, bool IsFormatText) const;
    static const TStringFormat* Class();
};
using TStringFormatClass = const TStringFormat*;

class TStringFormat_HEX : public TStringFormat {
public:
    const char* ClassName() const override { return "TStringFormat_HEX"; }
    std::string ToStr(std::string_view Value) const override;
    std::string StrTo(std::string_view Value) const override;
    std::string Name() const override;
    int Format() const override { return 16; }
    bool IsValid(std::string_view Value, bool IsFormatText) const override;
    virtual std::string_view CharTable() const;
    static const TStringFormat* Class();
};

class TStringFormat_HEXL : public TStringFormat_HEX {
public:
    const char* ClassName() const override { return "TStringFormat_HEXL"; }
    std::string Name() const override;
    int Format() const override { return 1016; }
    std::string_view CharTable() const override;
    static const TStringFormat* Class();
};

class TStringFormat_MIME64 : public TStringFormat_HEX {
public:
    const char* ClassName() const override { return "TStringFormat_MIME64"; }
    std::string Name() const override;
    int Format() const override { return 4196; }
    std::string_view CharTable() const override;
    static const TStringFormat* Class();
};

class TStringFormat_UU : public TStringFormat {
public:
    const char* ClassName() const override { return "TStringFormat_UU"; }
    std::string ToStr(std::string_view Value) const override;
    std::string StrTo(std::string_view Value) const override;
    std::string Name() const override;
    int Format() const override { return 21845; }
    bool IsValid(std::string_view Value, bool IsFormatText) const override;
    virtual std::string_view CharTable() const;
    static const TStringFormat* Class();
};

class TStringFormat_XX : public TStringFormat_UU {
public:
    const char* ClassName() const override { return "TStringFormat_XX"; }
    std::string Name() const override;
    int Format() const override { return 22616; }
    std::string_view CharTable() const override;
    static const TStringFormat* Class();
};

constexpr int kFormatDefault = -1;
constexpr int kFormatCopy = 1;
constexpr int kFormatHEX = 16;
constexpr int kFormatHEXL = 1016;
constexpr int kFormatMIME64 = 4196;
constexpr int kFormatUU = 21845;
constexpr int kFormatXX = 22616;

// A class with the number of a registered one takes its place; others are appended.
void RegisterStringFormats(const std::vector<TStringFormatClass>& Classes);
// -1 is the default number; nullptr for an unregistered number.
TStringFormatClass StringFormat(int Format);
int DefaultStringFormat();
// -1 or an unregistered number sets 4196.
void SetDefaultStringFormat(int Format);

// Length < 0: Data is zero-terminated. Absent data or format 0 give "".
// Raise EStringFormat for an unknown format or input the format refuses.
std::string StrToFormat(const char* Data, int64_t Length, int Format);
std::string FormatToStr(const char* Data, int64_t Length, int Format);
std::string ConvertFormat(const char* Data, int64_t Length, int FromFormat, int ToFormat);
bool IsValidFormat(const char* Data, int64_t Length, int Format);
bool IsValidString(const char* Data, int64_t Length, int Format);
// Each registered class's name, with the class.
void GetStringFormats(std::vector<std::pair<std::string, TStringFormatClass>>* List);
// The class name without everything up to and including the first "_".
std::string GetShortClassName(std::string_view ClassName);

// Text utilities.
std::string InsertCR(std::string_view Value, int Width);
std::string DeleteCR(std::string_view Value);
std::string InsertBlocks(std::string_view Value, std::string_view Open, std::string_view Close, int Width);
std::string RemoveBlocks(std::string_view Value, std::string_view Open, std::string_view Close);

// Bit and buffer utilities.
inline uint32_t ROL(uint32_t Value, int Shift) {
    return (Value << (Shift & 31)) | (Value >> ((32 - Shift) & 31));
}
inline uint32_t ROR(uint32_t Value, int Shift) { return ROL(Value, 32 - (Shift & 31)); }
// 32-bit words in either byte order.
inline uint32_t LoadBE32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline void StoreBE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
inline uint32_t LoadLE32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void StoreLE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
uint32_t ROLADD(uint32_t Value, uint32_t Add, int Shift);
uint32_t ROLSUB(uint32_t Value, uint32_t Sub, int Shift);
uint32_t RORADD(uint32_t Value, uint32_t Add, int Shift);
uint32_t RORSUB(uint32_t Value, uint32_t Sub, int Shift);
uint32_t SwapBits(uint32_t Value);
int LSBit(uint32_t Value);
int MSBit(uint32_t Value);
int OneBit(uint32_t Value);
int MemCompare(const void* A, const void* B, size_t Size);
void XORBuffers(const void* A, const void* B, size_t Size, void* Dest);
int64_t PerfCounter();
int64_t PerfFreq();
int CPUType();
uint32_t SwapInt(uint32_t Value);
// Raises "Not implemented 8".
void SwapIntBuf(const void* Source, void* Dest, size_t Count);

// An owned object of class T or a descendant; nothing else is looked at.
template <class T>
bool IsObject(const std::shared_ptr<const rtl::TObject>& Object) {
    return dynamic_cast<const T*>(Object.get()) != nullptr;
}

// Placeholders that always raise rtl::Exception "Not implemented N".
void RndXORBuffer(uint32_t Seed, void* Buffer, size_t Size);  // 11
void RndTimeSeed();                                          // 12
uint16_t CRC16(uint16_t Seed, const void* Buffer, size_t Size);  // 13
const uint8_t* GetTestVector();                               // 14

// Bytes from the system's random generator, all 256 values alike.
void RandomBytes(void* Buffer, size_t Size);
// Overwrites secrets so that the compiler keeps the stores.
void WipeBytes(void* Buffer, size_t Size);

}  // namespace zipcrypto
