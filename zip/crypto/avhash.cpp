#include "zip/crypto/avhash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/rtl/fileio.h"
#include "platform/rtl/sysutils.h"
#include "zip/crypto/avsha1.h"

namespace zipcrypto {

namespace {

struct TRegistry {
    const THashDesc* Slots[kMaxHashId + 1] = {};
    // The suite's own algorithms register themselves on first use.
    TRegistry() { Slots[_SHA1] = &SHA1Desc(); }
};

TRegistry& registry() {
    static TRegistry r;
    return r;
}

bool headerOk(const THashDesc* d) {
    return d && d->Signature == kHashDescSignature && d->DescSize == kHashDescSize &&
           d->DescVersion == kHashDescVersion;
}

std::string upperName(std::string_view name) { return rtl::UpperCase(name.substr(0, 19)); }

}  // namespace

bool IsValidHashDesc(const THashDesc* Desc) {
    return headerOk(Desc) && Desc->InitProc && Desc->FinalProc && Desc->UpdateProc;
}

void RegisterHash(uint32_t Id, const THashDesc* Desc) {
    if (Id <= kMaxHashId && headerOk(Desc) && Desc->AlgorithmId == Id) registry().Slots[Id] = Desc;
}

const THashDesc* FindHash_by_ID(uint32_t Id) {
    if (Id > kMaxHashId) return nullptr;
    const THashDesc* d = registry().Slots[Id];
    return headerOk(d) && d->AlgorithmId == Id ? d : nullptr;
}

const THashDesc* FindHash_by_Name(std::string_view Name) {
    const std::string wanted = upperName(Name);
    for (const THashDesc* d : registry().Slots)
        if (headerOk(d) && upperName(std::string_view(d->Name, strnlen(d->Name, sizeof d->Name))) == wanted)
            return d;
    return nullptr;
}

void HashInit(const THashDesc* Desc, THashContext& Context) {
    if (IsValidHashDesc(Desc)) Desc->InitProc(Context);
}

void HashUpdateXL(const THashDesc* Desc, THashContext& Context, const void* Data, uint32_t Length) {
    if (IsValidHashDesc(Desc)) Desc->UpdateProc(Context, Data, Length);
}

void HashUpdate(const THashDesc* Desc, THashContext& Context, const void* Data, uint16_t Length) {
    HashUpdateXL(Desc, Context, Data, Length);
}

void HashFinal(const THashDesc* Desc, THashContext& Context, THashDigest& Digest) {
    if (IsValidHashDesc(Desc)) Desc->FinalProc(Context, Digest);
}

void HashFullXL(const THashDesc* Desc, THashDigest& Digest, const void* Data, uint32_t Length) {
    if (!IsValidHashDesc(Desc)) return;
    THashContext ctx;
    Desc->InitProc(ctx);
    Desc->UpdateProc(ctx, Data, Length);
    Desc->FinalProc(ctx, Digest);
}

void HashFull(const THashDesc* Desc, THashDigest& Digest, const void* Data, uint16_t Length) {
    HashFullXL(Desc, Digest, Data, Length);
}

void HashFile(const std::string& FileName, const THashDesc* Desc, THashDigest& Digest, void* Buffer,
              uint32_t BufferSize, int& Error) {
    if (!IsValidHashDesc(Desc)) {
        Error = kHashErrInvalidDesc;
        return;
    }
    if (!Buffer || BufferSize == 0) {
        Error = EINVAL;
        return;
    }
    // A regular file only: a pipe is refused (EINVAL), never waited on.
    struct stat st {};
    rtl::TFileFailure why;
    const int fd = rtl::OpenRegularRead(FileName, st, why);
    if (fd < 0) {
        Error = why.Code;
        return;
    }
    THashContext ctx;
    Desc->InitProc(ctx);
    Error = 0;
    for (;;) {
        const ssize_t r = ::read(fd, Buffer, BufferSize);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            Error = errno;
            break;
        }
        if (r == 0) break;
        Desc->UpdateProc(ctx, Buffer, static_cast<uint32_t>(r));
    }
    ::close(fd);
    if (Error == 0)
        Desc->FinalProc(ctx, Digest);
    else
        std::memset(&ctx, 0, sizeof ctx);
}

}  // namespace zipcrypto
