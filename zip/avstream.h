#pragma once
// The streams the engine reads and writes archives through: 64-bit
// positions, truncation and a sync that makes what was written durable.
#include <cstdint>
#include <string>

namespace zip {

enum TAvSeekOrigin { avsoBeginning, avsoCurrent, avsoEnd };

class TAvStream {
public:
    virtual ~TAvStream() = default;
    // Bytes moved; fewer than Count only at the end (Read) or on failure.
    virtual int64_t Read(void* Buffer, int64_t Count) = 0;
    virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
    virtual int64_t Seek(int64_t Offset, TAvSeekOrigin Origin) = 0;
    virtual int64_t Size() = 0;
    // Cuts or extends the stream; the position stays where it was.
    virtual void SetSize(int64_t NewSize) = 0;
    // Makes written data durable (a file's fsync); nothing for memory.
    virtual void Sync() {}
    virtual bool Writable() const { return true; }

    int64_t Position() { return Seek(0, avsoCurrent); }
    void SetPosition(int64_t p) { Seek(p, avsoBeginning); }
    // All or an exception: short reads are damaged data (code 57), short
    // writes a write error (code 46).
    void ReadBuffer(void* Buffer, int64_t Count);
    void WriteBuffer(const void* Buffer, int64_t Count);
    void WriteString(const std::string& s) { WriteBuffer(s.data(), static_cast<int64_t>(s.size())); }
    std::string ReadString(int64_t Count);
};

class TAvFileStream : public TAvStream {
public:
    enum TOpen { ofRead, ofReadWrite, ofCreate };
    // Raises EAvException (code 33 or 19) with the system's reason.
    TAvFileStream(const std::string& FileName, TOpen How);
    ~TAvFileStream() override;
    TAvFileStream(const TAvFileStream&) = delete;
    TAvFileStream& operator=(const TAvFileStream&) = delete;

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TAvSeekOrigin Origin) override;
    int64_t Size() override;
    void SetSize(int64_t NewSize) override;
    void Sync() override;
    const std::string& FileName() const { return name_; }
    bool Writable() const override { return how_ != ofRead; }

private:
    std::string name_;
    TOpen how_;
    int fd_ = -1;
    int64_t pos_ = 0;
};

class TAvMemoryStream : public TAvStream {
public:
    TAvMemoryStream() = default;
    explicit TAvMemoryStream(std::string data) : data_(std::move(data)) {}
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TAvSeekOrigin Origin) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    void SetSize(int64_t NewSize) override { data_.resize(static_cast<size_t>(NewSize)); }
    const std::string& Data() const { return data_; }

private:
    std::string data_;
    int64_t pos_ = 0;
};

// A stream that belongs to someone else, used through this one.
class TAvBorrowedStream : public TAvStream {
public:
    explicit TAvBorrowedStream(TAvStream& s) : s_(s) {}
    int64_t Read(void* Buffer, int64_t Count) override { return s_.Read(Buffer, Count); }
    int64_t Write(const void* Buffer, int64_t Count) override { return s_.Write(Buffer, Count); }
    int64_t Seek(int64_t Offset, TAvSeekOrigin Origin) override { return s_.Seek(Offset, Origin); }
    int64_t Size() override { return s_.Size(); }
    void SetSize(int64_t NewSize) override { s_.SetSize(NewSize); }
    void Sync() override { s_.Sync(); }
    bool Writable() const override { return s_.Writable(); }

private:
    TAvStream& s_;
};

// Copies Count bytes from one stream's position to the other's.
void CopyStream(TAvStream& from, TAvStream& to, int64_t Count);

}  // namespace zip
