#include "platform/rtl/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>

#include "platform/rtl/sysutils.h"

namespace rtl {

int64_t TStream::Size() {
    const int64_t pos = Seek(0, soCurrent);
    const int64_t size = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return size;
}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
    if (Count > 0 && Read(Buffer, Count) != Count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
    if (Count > 0 && Write(Buffer, Count) != Count) throw EWriteError("Stream write error");
}

TFileStream::TFileStream(const std::string& FileName, uint16_t Mode, mode_t Rights)
    : FFileName(FileName), FMode(Mode), FUnwinding(std::uncaught_exceptions()) {
    TFileFailure why;
    if ((Mode & fmCreate) == fmCreate) {
        if (!FReplacement.Begin(FileName, Rights, why))
            throw EFCreateError("Cannot create file \"" + FileName + "\". " + why.Text());
        FHandle = FReplacement.Handle();
        return;
    }
    struct stat st {};
    switch (Mode & 0x0003) {
        case fmOpenWrite: FHandle = OpenRegularWrite(FileName, O_WRONLY, 0, 0777, why); break;
        case fmOpenReadWrite: FHandle = OpenRegularWrite(FileName, O_RDWR, 0, 0777, why); break;
        default: FHandle = OpenRegularRead(FileName, st, why); break;
    }
    if (FHandle < 0) throw EFOpenError("Cannot open file \"" + FileName + "\". " + why.Text());
}

TFileStream::~TFileStream() {
    if (FReplacement.Handle() < 0) {
        if (FHandle >= 0) ::close(FHandle);
        return;
    }
    // Half a file never takes the place of a whole one.
    TFileFailure why;
    if (FWriteFailed || std::uncaught_exceptions() > FUnwinding) FReplacement.Abandon();
    else FReplacement.Commit(true, why);
}

bool TFileStream::SetSize(int64_t Size, TFileFailure& Why) {
    if (::ftruncate(FHandle, static_cast<off_t>(Size)) == 0) return true;
    Why = TFileFailure{errno, {}};
    return false;
}

bool TFileStream::Finish(TFileFailure& Why) {
    if (FReplacement.Handle() < 0) return false;
    FHandle = -1;
    if (FWriteFailed) {
        Why = TFileFailure{EIO, "a write to " + FFileName + " failed"};
        FReplacement.Abandon();
        return false;
    }
    return FReplacement.Commit(true, Why);
}

void TFileStream::Discard() {
    if (FReplacement.Handle() < 0) return;
    FHandle = -1;
    FReplacement.Abandon();
}

int64_t TFileStream::Read(void* Buffer, int64_t Count) {
    auto* p = static_cast<char*>(Buffer);
    int64_t done = 0;
    while (done < Count) {
        const ssize_t n = ::read(FHandle, p + done, static_cast<size_t>(Count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
    const auto* p = static_cast<const char*>(Buffer);
    int64_t done = 0;
    while (done < Count) {
        const ssize_t n = ::write(FHandle, p + done, static_cast<size_t>(Count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            FWriteFailed = true;
            break;
        }
        done += n;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    static const int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    return ::lseek(FHandle, Offset, whence[Origin]);
}

}  // namespace rtl
