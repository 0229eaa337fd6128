// The zip directory reader on any bytes: the end-record search, the
// central headers with their extra fields, zip64 records and the rebuild
// from local headers. What it reads must write back and read again the same.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "zip/avdirmgr.h"
#include "zip/avexcept.h"
#include "zip/avstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (bool repair : {false, true}) {
        zip::TAvMemoryStream s(std::string(reinterpret_cast<const char*>(data), size));
        zip::TAvDirManager m(&s);
        try {
            m.LoadDir(repair);
        } catch (const zip::EAvException&) {
            continue;
        }
        // Read back, our own directory must parse to the same count, unless
        // its fields hold signature bytes ("PK") that a reader may take for
        // records of their own.
        const std::string bytes = zip::TAvDirManager::DirectoryBytes(m.Items, 0, "");
        size_t signatures = 0;
        for (size_t at = 0; (at = bytes.find("PK", at)) != std::string::npos; ++at) ++signatures;
        const size_t records = static_cast<size_t>(m.Items.Count()) + (m.Items.Count() >= 0xFFFF ? 3 : 1);
        zip::TAvMemoryStream again(bytes);
        zip::TAvDirManager reread(&again);
        try {
            reread.LoadDir(true);  // no entry data behind it: the size check does not apply
        } catch (const zip::EAvException&) {
            if (signatures == records) std::abort();
            continue;
        }
        if (signatures == records && reread.Items.Count() != m.Items.Count()) std::abort();
    }
    return 0;
}
