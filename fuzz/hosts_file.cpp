// A hosts file as arbitrary bytes, plain or enciphered ("@" first): read
// into lines and fields, the rows written back as a hosts text read the
// same again, and the file as the program writes it reads back whole.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "mailbox/hostsfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const std::string& line : mailbox::HostsLines(text)) (void)mailbox::HostFields(line);
    const std::vector<mailbox::THostFields> rows = mailbox::ParseHostsText(text);
    const std::string written = mailbox::HostsText(rows);
    if (mailbox::ParseHostsText(written) != rows) __builtin_trap();
    // Through the file: written enciphered, read back deciphered.
    static const struct TScratch {
        std::string path = "/tmp/pwx-fuzz-hosts-" + std::to_string(getpid());
        ~TScratch() { std::remove(path.c_str()); }
    } scratch;
    const std::string& path = scratch.path;
    if (!mailbox::WriteHostsFile(path, written)) __builtin_trap();
    if (mailbox::ReadHostsFile(path) != written) __builtin_trap();
    return 0;
}
