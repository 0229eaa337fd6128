#include "net/wsockbuf.h"

#include <algorithm>
#include <cstring>

namespace net {

namespace {
constexpr int kDefaultSize = 1514;
}

TBuffer::TBuffer(int size) { SetBufSize(size); }

void TBuffer::SetBufSize(int size) {
    if (size <= 0) size = kDefaultSize;
    if (size == size_ && buf_) return;
    if (wr_ == 0) {
        buf_ = std::make_unique<uint8_t[]>(static_cast<size_t>(size));
        size_ = size;
        return;
    }
    // Keep the bytes held; the new storage never cuts them.
    size = std::max(size, wr_);
    auto fresh = std::make_unique<uint8_t[]>(static_cast<size_t>(size));
    std::memcpy(fresh.get(), buf_.get(), static_cast<size_t>(wr_));
    buf_ = std::move(fresh);
    size_ = size;
}

int TBuffer::Write(const void* data, int len) {
    const int n = std::clamp(len, 0, size_ - wr_);
    if (n > 0) std::memcpy(buf_.get() + wr_, data, static_cast<size_t>(n));
    wr_ += n;
    return n;
}

void TBuffer::rewindIfEmpty() {
    if (rd_ >= wr_) rd_ = wr_ = 0;
}

int TBuffer::Read(void* data, int len) {
    const int n = std::clamp(len, 0, wr_ - rd_);
    if (n > 0) std::memcpy(data, buf_.get() + rd_, static_cast<size_t>(n));
    rd_ += n;
    rewindIfEmpty();
    return n;
}

const uint8_t* TBuffer::Peek(int& len) const {
    len = wr_ - rd_;
    return len > 0 ? buf_.get() + rd_ : nullptr;
}

int TBuffer::Remove(int len) {
    const int n = std::clamp(len, 0, wr_ - rd_);
    rd_ += n;
    rewindIfEmpty();
    return n;
}

}  // namespace net
