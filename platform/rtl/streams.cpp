#include "platform/rtl/streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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

namespace {

int openFlags(uint16_t Mode) {
    if ((Mode & fmCreate) == fmCreate) return O_RDWR | O_CREAT | O_TRUNC;
    switch (Mode & 0x0003) {
        case fmOpenWrite: return O_WRONLY;
        case fmOpenReadWrite: return O_RDWR;
        default: return O_RDONLY;
    }
}

}  // namespace

TFileStream::TFileStream(const std::string& FileName, uint16_t Mode) : FFileName(FileName), FMode(Mode) {
    FHandle = ::open(FileName.c_str(), openFlags(Mode) | O_CLOEXEC, 0644);
    if (FHandle >= 0) return;
    const std::string reason = SysErrorMessage(errno);
    if ((Mode & fmCreate) == fmCreate) throw EFCreateError("Cannot create file \"" + FileName + "\". " + reason);
    throw EFOpenError("Cannot open file \"" + FileName + "\". " + reason);
}

TFileStream::~TFileStream() {
    if (FHandle >= 0) ::close(FHandle);
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
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    static const int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    return ::lseek(FHandle, Offset, whence[Origin]);
}

}  // namespace rtl
