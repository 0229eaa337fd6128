#pragma once
// Reading one entry's data back: the stored bytes, decrypted and then
// decompressed, with every check that tells damage or a wrong password from
// good data. Every reader of entry data (extraction, testing, the password
// check) goes through OpenEntryDecoder, so a new kind of entry is wired in
// one place.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "zip/avrecords.h"

namespace zip {

class TAvStream;
struct TAvNamed;

// The encryption layer of an entry. The decoder reads the header and the
// trailer that the layer asks for and hands it the data in between.
class TAvEntryCipher {
public:
    virtual ~TAvEntryCipher() = default;
    // Bytes in front of the data (12 for the classic cipher) and behind it.
    virtual int64_t HeaderSize() const = 0;
    virtual int64_t TrailerSize() const { return 0; }
    // Whether the password opens the entry, tested on the header; on true
    // the layer is ready to decrypt the data from its start.
    virtual bool SetPassword(const std::string& password, std::string_view header) = 0;
    virtual void Decrypt(char* data, size_t count) = 0;
    // After the data: whether the trailer authenticates what was decrypted.
    virtual bool Authentic(std::string_view trailer) { return trailer.empty(); }
    // Whether the entry's CRC-32 is to be checked (entries whose trailer
    // authenticates them may carry 0 instead).
    virtual bool ChecksCrc() const { return true; }
};

// One entry's uncompressed data, read in pieces. Damage of any kind
// (short or cut data, a broken deflate stream, more output than the entry
// declares, a wrong CRC or authentication code) raises code 8.
class TAvEntryDecoder {
public:
    virtual ~TAvEntryDecoder() = default;
    virtual bool Encrypted() const = 0;
    // Tries a password; true when it opens the entry. Until one did, an
    // encrypted entry gives no data.
    virtual bool TryPassword(const std::string& password) = 0;
    // Up to Count bytes of the data; 0 once the entry's data is complete.
    virtual int64_t Read(char* buffer, int64_t count) = 0;
    // After Read gave 0: raises code 8 unless the size and the check hold.
    virtual void Finish() = 0;
    virtual int64_t Produced() const = 0;
};

// The decoder of an entry whose local header starts at the item's offset.
// The data must end at Limit (the directory's start) at the latest; the
// header and sizes are checked against it before anything is read. Raises
// code 55 for Deflate64 and code 8 for other methods it cannot read.
std::unique_ptr<TAvEntryDecoder> OpenEntryDecoder(TAvStream& archive, const TDirItem& item, int64_t limit,
                                                  const TAvNamed* owner = nullptr);

}  // namespace zip
