#include "zip/crypto/avdecutil.h"

#include <sys/random.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/rtl/sysutils.h"

namespace zipcrypto {

namespace {

constexpr int64_t kStreamBlock = 4096;

[[noreturn]] void notImplemented(const char* text) { throw rtl::Exception(text); }

TProgressProc& progressProc() {
    static TProgressProc p;
    return p;
}

// Runs Body, then Cleanup, also when Body raises (the first failure is
// the one reported).
template <class Body, class Cleanup>
void withCleanup(Body&& body, Cleanup&& cleanup) {
    try {
        body();
    } catch (...) {
        try {
            cleanup();
        } catch (...) {
        }
        throw;
    }
    cleanup();
}

// Two names that reach the same file: names differing only in letter case
// are different files here.
bool sameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

}  // namespace

void SetProgress(TProgressProc Proc) { progressProc() = std::move(Proc); }

void DoProgress(rtl::TObject* Sender, int64_t Current, int64_t Maximum) {
    if (progressProc()) progressProc()(Sender, Current, Maximum);
}

// ---- TProtection

TProtection::TProtection(std::shared_ptr<TProtection> AProtection) { SetProtection(std::move(AProtection)); }

TProtection::~TProtection() = default;

void TProtection::SetProtection(std::shared_ptr<TProtection> Value) {
    if (Value == FProtection) return;
    for (const TProtection* p = Value.get(); p; p = p->FProtection.get())
        if (p == this) throw EProtection("Circular Protection detected, Protection Object is invalid.");
    FProtection = std::move(Value);
}

void TProtection::CodeInit(TPAction Action) {
    if (FProtection) FProtection->CodeInit(Action);
}

void TProtection::CodeDone(TPAction Action) {
    if (FProtection) FProtection->CodeDone(Action);
}

void TProtection::CodeBuf(void* Buffer, int64_t Size, TPAction Action) {
    if (FProtection) FProtection->CodeBuf(Buffer, Size, Action);
}

int64_t TProtection::CodeBuffer(void* Buffer, int64_t Size, TPAction Action) {
    CodeInit(Action);
    withCleanup([&] { CodeBuf(Buffer, Size, Action); }, [&] { CodeDone(Action); });
    return Size;
}

void TProtection::CodeStream(rtl::TStream* Source, rtl::TStream* Dest, int64_t Size, TPAction Action) {
    if (!Source) return;
    if (!Dest) Dest = Source;
    if (Size < 0) {
        Source->SetPosition(0);
        Size = Source->Size();
    }
    CodeInit(Action);
    std::vector<uint8_t> block;
    withCleanup(
        [&] {
            block.resize(static_cast<size_t>(std::min(Size, kStreamBlock)));
            DoProgress(this, 0, Size);
            // Reading and writing positions are kept apart so that one
            // stream can be coded in place.
            int64_t readAt = Source->Position();
            int64_t writeAt = Dest->Position();
            for (int64_t done = 0; done < Size;) {
                const int64_t n = std::min(Size - done, kStreamBlock);
                if (Action != paCalc) Source->SetPosition(readAt);
                Source->ReadBuffer(block.data(), n);
                readAt += n;
                CodeBuf(block.data(), n, Action);
                if (Action != paCalc) {
                    Dest->SetPosition(writeAt);
                    Dest->WriteBuffer(block.data(), n);
                    writeAt += n;
                }
                done += n;
                DoProgress(this, done, Size);
            }
        },
        [&] {
            DoProgress(this, 0, 0);
            WipeBytes(block.data(), block.size());
            block.clear();
            CodeDone(Action);
        });
}

void TProtection::CodeFile(const std::string& Source, const std::string& Dest, TPAction Action) {
    // Calculating only reads, so the file is opened for reading alone,
    // whatever the destination name says.
    if (Action == paCalc) {
        rtl::TFileStream src(Source, rtl::fmOpenRead | rtl::fmShareDenyNone);
        CodeStream(&src, &src, src.Size(), Action);
        return;
    }
    if (!sameFile(Source, Dest) && !rtl::Trim(Dest).empty()) {
        rtl::TFileStream src(Source, rtl::fmOpenRead | rtl::fmShareDenyNone);
        rtl::TFileStream dst(Dest, rtl::fmCreate);
        CodeStream(&src, &dst, src.Size(), Action);
    } else {
        rtl::TFileStream src(Source, rtl::fmOpenReadWrite);
        CodeStream(&src, &src, src.Size(), Action);
    }
}

std::string TProtection::CodeString(const std::string& Source, TPAction Action, int Format) {
    if (Source.empty()) return {};
    TBytesStream m(Action == paDecode ? FormatToStr(Source.data(), static_cast<int64_t>(Source.size()), Format)
                                      : Source);
    CodeStream(&m, &m, m.Size(), Action);
    m.SetPosition(0);
    if (Action == paDecode) return m.Bytes();
    return StrToFormat(m.Bytes().data(), static_cast<int64_t>(m.Bytes().size()), Format);
}

uint16_t TProtection::Identity() const {
    const std::string name = ClassName();
    return CRC16(0x1234, name.data(), name.size());
}

// ---- TBytesStream

int64_t TBytesStream::Read(void* Buffer, int64_t Count) {
    const int64_t size = static_cast<int64_t>(FBytes.size());
    const int64_t n = std::clamp<int64_t>(std::min(Count, size - FPosition), 0, size);
    if (n > 0) std::memcpy(Buffer, FBytes.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int64_t TBytesStream::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0) return 0;
    const size_t end = static_cast<size_t>(FPosition + Count);
    if (end > FBytes.size()) FBytes.resize(end);
    std::memcpy(FBytes.data() + FPosition, Buffer, static_cast<size_t>(Count));
    FPosition += Count;
    return Count;
}

int64_t TBytesStream::Seek(int64_t Offset, rtl::TSeekOrigin Origin) {
    const int64_t base = Origin == rtl::soBeginning ? 0
                         : Origin == rtl::soCurrent ? FPosition
                                                    : static_cast<int64_t>(FBytes.size());
    FPosition = std::max<int64_t>(0, base + Offset);
    return FPosition;
}

// ---- String formats

std::string TStringFormat::ToStr(std::string_view Value) const { return std::string(Value); }
std::string TStringFormat::StrTo(std::string_view Value) const { return std::string(Value); }
std::string TStringFormat::Name() const { return "copy Input to Output"; }
bool TStringFormat::IsValid(std::string_view, bool) const { return true; }

// The coding formats are placeholders: their character tables raise, so any
// conversion of a non-empty input does.
template <class Format>
std::string convertByTable(const Format& f, std::string_view value) {
    if (!value.empty()) f.CharTable();
    return {};
}

template <class Format>
bool validByTable(const Format& f, std::string_view value, bool isFormatText) {
    if (isFormatText && !value.empty()) f.CharTable();
    return true;
}

std::string TStringFormat_HEX::ToStr(std::string_view Value) const { return convertByTable(*this, Value); }
std::string TStringFormat_HEX::StrTo(std::string_view Value) const { return convertByTable(*this, Value); }
std::string TStringFormat_HEX::Name() const { return "Hexadecimal"; }
bool TStringFormat_HEX::IsValid(std::string_view Value, bool IsFormatText) const {
    return validByTable(*this, Value, IsFormatText);
}
std::string_view TStringFormat_HEX::CharTable() const { notImplemented("Not Implemented 2"); }

std::string TStringFormat_HEXL::Name() const { return "Hexadecimal lowercase"; }
std::string_view TStringFormat_HEXL::CharTable() const { notImplemented("Not implemented 3"); }

std::string TStringFormat_MIME64::Name() const { return "MIME Base 64"; }
std::string_view TStringFormat_MIME64::CharTable() const { notImplemented("Not Implemented 4"); }

std::string TStringFormat_UU::ToStr(std::string_view Value) const { return convertByTable(*this, Value); }
std::string TStringFormat_UU::StrTo(std::string_view Value) const { return convertByTable(*this, Value); }
std::string TStringFormat_UU::Name() const { return "UU Coding"; }
bool TStringFormat_UU::IsValid(std::string_view Value, bool IsFormatText) const {
    return validByTable(*this, Value, IsFormatText);
}
std::string_view TStringFormat_UU::CharTable() const { notImplemented("Not implemented 5"); }

std::string TStringFormat_XX::Name() const { return "XX Coding"; }
std::string_view TStringFormat_XX::CharTable() const { notImplemented("Not implemented 6"); }

#define STRING_FORMAT_CLASS(T)            \
    const TStringFormat* T::Class() {     \
        static const T instance;          \
        return &instance;                 \
    }
STRING_FORMAT_CLASS(TStringFormat)
STRING_FORMAT_CLASS(TStringFormat_HEX)
STRING_FORMAT_CLASS(TStringFormat_HEXL)
STRING_FORMAT_CLASS(TStringFormat_MIME64)
STRING_FORMAT_CLASS(TStringFormat_UU)
STRING_FORMAT_CLASS(TStringFormat_XX)
#undef STRING_FORMAT_CLASS

namespace {

struct TFormatRegistry {
    std::vector<TStringFormatClass> Classes;
    int Default = kFormatMIME64;
};

TFormatRegistry& formats() {
    static TFormatRegistry r = [] {
        TFormatRegistry f;
        f.Classes = {TStringFormat::Class(),        TStringFormat_HEX::Class(), TStringFormat_HEXL::Class(),
                     TStringFormat_MIME64::Class(), TStringFormat_UU::Class(),  TStringFormat_XX::Class()};
        return f;
    }();
    return r;
}

// Absent data and format 0 give no text; Length < 0 means zero-terminated.
bool takeInput(const char* data, int64_t length, int format, std::string_view& out) {
    if (!data || format == 0) return false;
    out = length < 0 ? std::string_view(data) : std::string_view(data, static_cast<size_t>(length));
    return !out.empty();
}

TStringFormatClass knownFormat(int format) {
    TStringFormatClass c = StringFormat(format);
    if (!c) throw EStringFormat(rtl::Format("String Format \"%d\" not exists.", format));
    return c;
}

}  // namespace

void RegisterStringFormats(const std::vector<TStringFormatClass>& Classes) {
    auto& list = formats().Classes;
    for (TStringFormatClass c : Classes) {
        if (!c || c->Format() == -1) continue;
        auto it = std::find_if(list.begin(), list.end(), [&](TStringFormatClass r) { return r->Format() == c->Format(); });
        if (it != list.end())
            *it = c;
        else
            list.push_back(c);
    }
}

TStringFormatClass StringFormat(int Format) {
    if (Format == kFormatDefault) Format = formats().Default;
    for (TStringFormatClass c : formats().Classes)
        if (c->Format() == Format) return c;
    return nullptr;
}

int DefaultStringFormat() { return formats().Default; }

void SetDefaultStringFormat(int Format) {
    formats().Default = Format == kFormatDefault || !StringFormat(Format) ? kFormatMIME64 : Format;
}

std::string StrToFormat(const char* Data, int64_t Length, int Format) {
    std::string_view in;
    if (!takeInput(Data, Length, Format, in)) return {};
    TStringFormatClass c = knownFormat(Format);
    if (!c->IsValid(in, false))
        throw EStringFormat(rtl::Format("Input can not be convert to %s Format.", c->Name().c_str()));
    return c->StrTo(in);
}

std::string FormatToStr(const char* Data, int64_t Length, int Format) {
    std::string_view in;
    if (!takeInput(Data, Length, Format, in)) return {};
    TStringFormatClass c = knownFormat(Format);
    if (!c->IsValid(in, true))
        throw EStringFormat(rtl::Format("Input is not an valid %s Format.", c->Name().c_str()));
    return c->ToStr(in);
}

std::string ConvertFormat(const char* Data, int64_t Length, int FromFormat, int ToFormat) {
    if (FromFormat == 0 || ToFormat == 0) return {};
    if (FromFormat == ToFormat) {
        std::string_view in;
        return takeInput(Data, Length, FromFormat, in) ? std::string(in) : std::string();
    }
    const std::string bytes = FormatToStr(Data, Length, FromFormat);
    return StrToFormat(bytes.data(), static_cast<int64_t>(bytes.size()), ToFormat);
}

static bool isValidAs(const char* Data, int64_t Length, int Format, bool IsFormatText) {
    std::string_view in;
    if (!Data || !takeInput(Data, Length, -1, in)) return true;
    TStringFormatClass c = StringFormat(Format);
    return c && c->IsValid(in, IsFormatText);
}

bool IsValidFormat(const char* Data, int64_t Length, int Format) { return isValidAs(Data, Length, Format, true); }
bool IsValidString(const char* Data, int64_t Length, int Format) { return isValidAs(Data, Length, Format, false); }

void GetStringFormats(std::vector<std::pair<std::string, TStringFormatClass>>* List) {
    if (!List) return;
    for (TStringFormatClass c : formats().Classes) List->emplace_back(c->Name(), c);
}

std::string GetShortClassName(std::string_view ClassName) {
    const size_t u = ClassName.find('_');
    return std::string(u == std::string_view::npos ? ClassName : ClassName.substr(u + 1));
}

// ---- Text utilities

std::string InsertCR(std::string_view Value, int Width) {
    if (Width <= 0 || static_cast<size_t>(Width) >= Value.size()) return std::string(Value);
    std::string out;
    const size_t w = static_cast<size_t>(Width);
    for (size_t at = 0; at < Value.size(); at += w) {
        out.append(Value.substr(at, w));
        if (at + w <= Value.size()) out += "\r\n";
    }
    return out;
}

std::string DeleteCR(std::string_view Value) {
    std::string out;
    for (char c : Value)
        if (c != '\r' && c != '\n') out += c;
    return out;
}

std::string InsertBlocks(std::string_view Value, std::string_view Open, std::string_view Close, int Width) {
    if (Width <= 0 || static_cast<size_t>(Width) >= Value.size()) return std::string(Value);
    std::string out;
    for (size_t at = 0; at < Value.size(); at += static_cast<size_t>(Width)) {
        out.append(Open);
        out.append(Value.substr(at, static_cast<size_t>(Width)));
        out.append(Close);
    }
    return out;
}

std::string RemoveBlocks(std::string_view Value, std::string_view Open, std::string_view Close) {
    std::string out;
    size_t at = 0;
    while (at <= Value.size()) {
        const size_t open = Open.empty() ? at : Value.find(Open, at);
        if (open == std::string_view::npos) break;
        const size_t start = open + Open.size();
        const size_t close = Close.empty() ? std::string_view::npos : Value.find(Close, start);
        if (close == std::string_view::npos) {
            out.append(Value.substr(start));
            break;
        }
        out.append(Value.substr(start, close - start));
        at = close + Close.size();
        // An empty opening string with nothing left would find itself again.
        if (Open.empty() && at >= Value.size()) break;
    }
    return out;
}

// ---- Bit and buffer utilities

uint32_t ROLADD(uint32_t Value, uint32_t Add, int Shift) { return ROL(Value, Shift) + Add; }
uint32_t ROLSUB(uint32_t Value, uint32_t Sub, int Shift) { return ROL(Value, Shift) - Sub; }
uint32_t RORADD(uint32_t Value, uint32_t Add, int Shift) { return ROR(Value, Shift) + Add; }
uint32_t RORSUB(uint32_t Value, uint32_t Sub, int Shift) { return ROR(Value, Shift) - Sub; }

uint32_t SwapBits(uint32_t Value) {
    uint32_t r = 0;
    for (int i = 0; i < 32; ++i, Value >>= 1) r = (r << 1) | (Value & 1);
    return r;
}

int LSBit(uint32_t Value) { return Value ? __builtin_ctz(Value) : 0; }
int MSBit(uint32_t Value) { return Value ? 31 - __builtin_clz(Value) : 0; }
int OneBit(uint32_t Value) { return Value && !(Value & (Value - 1)) ? LSBit(Value) : 0; }

int MemCompare(const void* A, const void* B, size_t Size) {
    const auto* a = static_cast<const uint8_t*>(A);
    const auto* b = static_cast<const uint8_t*>(B);
    for (size_t i = 0; i < Size; ++i)
        if (a[i] != b[i]) return int(a[i]) - int(b[i]);
    return 0;
}

void XORBuffers(const void* A, const void* B, size_t Size, void* Dest) {
    const auto* a = static_cast<const uint8_t*>(A);
    const auto* b = static_cast<const uint8_t*>(B);
    auto* d = static_cast<uint8_t*>(Dest);
    for (size_t i = 0; i < Size; ++i) d[i] = a[i] ^ b[i];
}

int64_t PerfCounter() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t PerfFreq() { return 1000000000; }

int CPUType() { return 4; }

uint32_t SwapInt(uint32_t Value) { return __builtin_bswap32(Value); }

void SwapIntBuf(const void*, void*, size_t) { notImplemented("Not implemented 8"); }

void RndXORBuffer(uint32_t, void*, size_t) { notImplemented("Not implemented 11"); }
void RndTimeSeed() { notImplemented("Not implemented 12"); }
uint16_t CRC16(uint16_t, const void*, size_t) { notImplemented("Not implemented 13"); }
const uint8_t* GetTestVector() { notImplemented("Not implemented 14"); }

void RandomBytes(void* Buffer, size_t Size) {
    auto* p = static_cast<uint8_t*>(Buffer);
    while (Size > 0) {
        const ssize_t r = getrandom(p, Size, 0);
        if (r < 0) {
            if (errno == EINTR) continue;
            throw rtl::EOSError("No random bytes: " + rtl::SysErrorMessage(errno));
        }
        p += r;
        Size -= static_cast<size_t>(r);
    }
}

void WipeBytes(void* Buffer, size_t Size) {
    if (Size == 0) return;
    std::memset(Buffer, 0, Size);
    // Keeps the stores: the memory may be freed right after.
    asm volatile("" : : "r"(Buffer) : "memory");
}

}  // namespace zipcrypto
