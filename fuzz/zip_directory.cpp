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
        // Without the comment: end-record look-alikes inside it may pass the
        // checks once the directory in front has another size.
        zip::TAvMemoryStream again(zip::TAvDirManager::DirectoryBytes(m.Items, 0, ""));
        zip::TAvDirManager reread(&again);
        reread.LoadDir(true);  // no entry data behind it: the size check does not apply
        if (reread.Items.Count() != m.Items.Count()) std::abort();
        for (int32_t i = 0; i < m.Items.Count(); ++i) {
            int32_t at = -1;
            if (!reread.Items.FileExists(m.Items[i].Name, at)) std::abort();
        }
    }
    return 0;
}
