// The zip directory reader on any bytes: the end-record search, the
// central headers with their extra fields, zip64 records, the checks of
// where entries lie and the rebuild from local headers. What it reads must
// write back and read again the same, strictly.
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
        if (!repair && m.Rebuilt()) std::abort();  // a strict load never guesses
        // An end record naming other volumes leaves sizes unchecked here
        // (the archiver checks them over the whole set): no room for them.
        int64_t data = 0;
        for (int32_t i = 0; i < m.Items.Count(); ++i) data += m.Items[i].CSize();
        if (m.MultiVolume() && data > static_cast<int64_t>(size)) continue;
        // Laid out again: each local header with room for the entry's data,
        // then the directory.
        std::string bytes;
        for (int32_t i = 0; i < m.Items.Count(); ++i) {
            zip::TDirItem& it = m.Items.GetItemPtr(i);
            it.SetOffset(static_cast<int64_t>(bytes.size()));
            bytes += zip::LocalHeaderBytes(it) + std::string(static_cast<size_t>(it.CSize()), '\0');
        }
        std::string directory;
        try {
            directory = zip::TAvDirManager::DirectoryBytes(m.Items, static_cast<int64_t>(bytes.size()), "");
        } catch (const zip::EAvException&) {
            continue;  // a name or extra field that grew past 64 KiB
        }
        // Our own directory must read back to the same count, unless its
        // fields hold signature bytes ("PK") that a reader may take for
        // records of their own.
        size_t signatures = 0;
        for (size_t at = 0; (at = directory.find("PK", at)) != std::string::npos; ++at) ++signatures;
        const size_t records = static_cast<size_t>(m.Items.Count()) + (m.Items.Count() >= 0xFFFF ? 3 : 1);
        zip::TAvMemoryStream again(bytes + directory);
        zip::TAvDirManager reread(&again);
        try {
            reread.LoadDir(false);
        } catch (const zip::EAvException&) {
            if (signatures == records) std::abort();
            continue;
        }
        if (signatures == records && reread.Items.Count() != m.Items.Count()) std::abort();
    }
    return 0;
}
