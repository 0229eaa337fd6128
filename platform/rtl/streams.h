#pragma once
// Byte streams: the abstract stream with Read, Write and Seek, and a stream
// over a file. Share modes are kept as given; the system shares files by its
// own rules.
#include <sys/types.h>

#include <cstdint>
#include <string>

#include "platform/rtl/classes.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/fileio.h"

namespace rtl {

RTL_EXCEPTION_CLASS(EStreamError, Exception);
RTL_EXCEPTION_CLASS(EFCreateError, EStreamError);
RTL_EXCEPTION_CLASS(EFOpenError, EStreamError);
RTL_EXCEPTION_CLASS(EReadError, EStreamError);
RTL_EXCEPTION_CLASS(EWriteError, EStreamError);

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

// Open modes: one access mode, or fmCreate, combined with one share mode.
constexpr uint16_t fmCreate = 0xFF00;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

class TStream : public TObject {
public:
    const char* ClassName() const override { return "TStream"; }

    // Bytes moved; fewer than Count only at the end (Read) or on failure.
    virtual int64_t Read(void* Buffer, int64_t Count) = 0;
    virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
    // The new position from the start.
    virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }
    int64_t Size();
    // All or an exception.
    void ReadBuffer(void* Buffer, int64_t Count);
    void WriteBuffer(const void* Buffer, int64_t Count);
    void WriteString(const std::string& S) { WriteBuffer(S.data(), static_cast<int64_t>(S.size())); }
};

// A stream over a regular file (a pipe or device is refused, never waited
// on); a file opened for writing is never reached through a link. fmCreate
// writes a new file beside FileName, which replaces it when the stream is
// freed; a stream freed after a failed write, or while an exception
// unwinds, leaves the old file as it was. Rights is a new file's mode, less
// the umask (the file it replaces may keep a tighter one).
class TFileStream : public TStream {
public:
    // Raises EFCreateError or EFOpenError with the reason.
    TFileStream(const std::string& FileName, uint16_t Mode, mode_t Rights = 0600);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;
    const char* ClassName() const override { return "TFileStream"; }

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

    const std::string& FileName() const { return FFileName; }
    uint16_t Mode() const { return FMode; }
    // Cuts or extends the file to Size bytes.
    bool SetSize(int64_t Size, TFileFailure& Why);
    // fmCreate only: puts the new file in the old one's place now (false,
    // with the reason, when a write or the rename failed), or drops it and
    // leaves the old file. Freeing the stream then does neither.
    bool Finish(TFileFailure& Why);
    void Discard();

private:
    std::string FFileName;
    uint16_t FMode;
    int FHandle = -1;
    TFileReplacement FReplacement;  // fmCreate's new file
    bool FWriteFailed = false;
    int FUnwinding = 0;  // exceptions in flight when the stream was made
};

}  // namespace rtl
