#pragma once
// The address book: one file for every mailbox, "@" + the enciphered text
// (a file without the "@" is read as plain text), one entry per line.
#include <string>
#include <string_view>
#include <vector>

namespace composer {

// homedir + "pelliwoxaddbook.txt".
std::string AddressBookPath();
// The plain text of the book; empty when there is no file.
std::string LoadAddressBook(std::string_view key);
// Writes the plain text enciphered, replacing the file; the file is the
// owner's alone from the start. False when it could not be written.
bool SaveAddressBook(std::string_view plain, std::string_view key);
// Adds an entry unless the book already holds it (any letter case, also as
// part of a longer line). True when the book changed.
bool AddToAddressBook(std::string_view entry, std::string_view key);
// The book's lines as the drop-down lists show them (non-empty, trimmed).
std::vector<std::string> AddressBookLines(std::string_view plain);
// The editor's text: double quotes removed, lines sorted.
std::string AddressBookEditorText(std::string_view plain);

}  // namespace composer
