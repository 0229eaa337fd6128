#include "zip/avstream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/rtl/fileio.h"
#include "zip/avexcept.h"

namespace zip {

void TAvStream::ReadBuffer(void* b, int64_t n) {
    if (n > 0 && Read(b, n) != n) throw EAvException(57);
}

void TAvStream::WriteBuffer(const void* b, int64_t n) {
    if (n > 0 && Write(b, n) != n) throw EAvException(46);
}

std::string TAvStream::ReadString(int64_t n) {
    std::string s(static_cast<size_t>(std::max<int64_t>(n, 0)), '\0');
    ReadBuffer(s.data(), n);
    return s;
}

TAvFileStream::TAvFileStream(const std::string& name, TOpen how) : name_(name), how_(how) {
    // Only a regular file, never waited on; one written is never reached
    // through a link. Archives hold mail: a new one is private to its
    // owner, and one made anew over an old file is never looser than it.
    rtl::TFileFailure why;
    struct stat st {};
    fd_ = how == ofRead        ? rtl::OpenRegularRead(name, st, why)
          : how == ofReadWrite ? rtl::OpenRegularWrite(name, O_RDWR, 0, 0777, why)
                               : rtl::OpenRegularWrite(name, O_RDWR, O_CREAT | O_TRUNC, 0600, why);
    if (fd_ < 0) throw EAvException::Detailed(how == ofCreate ? 19 : 33, name, why.Text());
}

TAvFileStream::~TAvFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

int64_t TAvFileStream::Read(void* b, int64_t n) {
    int64_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd_, static_cast<char*>(b) + done, static_cast<size_t>(n - done), pos_ + done);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += r;
    }
    pos_ += done;
    return done;
}

int64_t TAvFileStream::Write(const void* b, int64_t n) {
    int64_t done = 0;
    while (done < n) {
        const ssize_t r =
            ::pwrite(fd_, static_cast<const char*>(b) + done, static_cast<size_t>(n - done), pos_ + done);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += r;
    }
    pos_ += done;
    return done;
}

int64_t TAvFileStream::Seek(int64_t off, TAvSeekOrigin origin) {
    const int64_t base = origin == avsoBeginning ? 0 : origin == avsoCurrent ? pos_ : Size();
    pos_ = std::max<int64_t>(0, base + off);
    return pos_;
}

int64_t TAvFileStream::Size() {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return 0;
    return st.st_size;
}

void TAvFileStream::SetSize(int64_t n) {
    if (::ftruncate(fd_, n) != 0) throw EAvException(46);
}

void TAvFileStream::Sync() {
    // The data and the size that reaching them needs; times can wait.
    if (::fdatasync(fd_) != 0) throw EAvException(46);
}

int64_t TAvMemoryStream::Read(void* b, int64_t n) {
    const int64_t k = std::clamp<int64_t>(Size() - pos_, 0, n);
    if (k > 0) std::memcpy(b, data_.data() + pos_, static_cast<size_t>(k));
    pos_ += k;
    return k;
}

int64_t TAvMemoryStream::Write(const void* b, int64_t n) {
    if (n <= 0) return 0;
    if (pos_ + n > Size()) data_.resize(static_cast<size_t>(pos_ + n));
    std::memcpy(data_.data() + pos_, b, static_cast<size_t>(n));
    pos_ += n;
    return n;
}

int64_t TAvMemoryStream::Seek(int64_t off, TAvSeekOrigin origin) {
    const int64_t base = origin == avsoBeginning ? 0 : origin == avsoCurrent ? pos_ : Size();
    pos_ = std::max<int64_t>(0, base + off);
    return pos_;
}

void CopyStream(TAvStream& from, TAvStream& to, int64_t n) {
    std::vector<char> buf(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(n, 1), 1 << 20)));
    while (n > 0) {
        const int64_t k = std::min<int64_t>(n, static_cast<int64_t>(buf.size()));
        from.ReadBuffer(buf.data(), k);
        to.WriteBuffer(buf.data(), k);
        n -= k;
    }
}

}  // namespace zip
