#pragma once
// One block of a socket's send queue: bytes are written at the end and taken
// from the front; both positions return to 0 once everything is taken.
#include <cstdint>
#include <memory>

namespace net {

class TBuffer {
public:
    explicit TBuffer(int size);
    TBuffer(const TBuffer&) = delete;
    TBuffer& operator=(const TBuffer&) = delete;

    void SetBufSize(int size);
    int BufSize() const { return size_; }
    // Copies what fits; returns the count (0 when full).
    int Write(const void* data, int len);
    // Copies up to Len unread bytes out; returns the count (0 when empty).
    int Read(void* data, int len);
    // The unread bytes in place, and their count (nullptr and 0 when empty).
    const uint8_t* Peek(int& len) const;
    int Remove(int len);
    int GetBufUsed() const { return wr_ - rd_; }

private:
    void rewindIfEmpty();

    std::unique_ptr<uint8_t[]> buf_;
    int size_ = 0;
    int wr_ = 0;
    int rd_ = 0;
};

}  // namespace net
