#pragma once
// The hosts file "kwpop3hosts.txt": one line per mail account with five
// comma-separated fields: POP3 host (with port and description), user
// name, password, SMTP host, sender address. It is stored as "@" followed
// by the text enciphered under a key table; a file that does not start
// with "@" is read as plain text. No window here: the unattended pull
// reads it too.
#include <array>
#include <string>
#include <vector>

namespace mailbox {

constexpr int kHostFields = 5;
using THostFields = std::array<std::string, kHostFields>;

// The 85 characters the hosts file is enciphered under.
const std::string& HostsKeyTable();
// The plain text of the hosts file; empty when it is missing. Read errors
// are reported.
std::string ReadHostsFile(const std::string& path);
// Writes the plain text enciphered, replacing the file, readable by its
// owner only; false (reported) when it could not be written.
bool WriteHostsFile(const std::string& path, const std::string& plaintext);
// The lines of a hosts text (CR LF, LF or CR end a line).
std::vector<std::string> HostsLines(const std::string& text);
// The five fields of a line, trimmed; missing ones empty.
THostFields HostFields(const std::string& line);
// The rows of a hosts text that have both a host and a user name.
std::vector<THostFields> ParseHostsText(const std::string& text);
// The rows as a hosts text: each field quoted as a CSV field, each line
// ended by CR LF; rows without a host or a user name are left out.
std::string HostsText(const std::vector<THostFields>& rows);

}  // namespace mailbox
