#pragma once
// The address book: one file for every mailbox, "@" + the enciphered text
// (a file without the "@" is read as plain text), one entry per line.
// A book that cannot be read is never written over: the user's addresses
// matter more than the one being added.
#include <string>
#include <string_view>
#include <vector>

namespace composer {

// homedir + "pelliwoxaddbook.txt".
std::string AddressBookPath();

// What reading the book gave: its plain text, or why it could not be read
// (the file is there but unreadable, or its cipher text is damaged).
struct TBookRead {
    bool ok = true;
    std::string plain;
    std::string error;
};
// No file is an empty book.
TBookRead ReadAddressBook(std::string_view key);
// The plain text for showing; empty when there is none or it cannot be read.
std::string LoadAddressBook(std::string_view key);
// Writes the plain text enciphered, replacing the file: beside it and
// renamed, or, where the folder takes no new file, in place with the room
// reserved first; a write that fails leaves the old book as it was. The file
// is the owner's alone from the start; a link or anything but a file at its
// name is not written over. False with the reason in Error.
bool SaveAddressBook(std::string_view plain, std::string_view key, std::string* error = nullptr);
// Adds an entry unless the book already holds it (any letter case, also as
// part of a longer line). True when the book changed; when the book cannot
// be read or written, false with the reason in Error and nothing written.
bool AddToAddressBook(std::string_view entry, std::string_view key, std::string* error = nullptr);
// The book's lines as the drop-down lists show them (non-empty, trimmed).
std::vector<std::string> AddressBookLines(std::string_view plain);
// The editor's text: the lines sorted, as written (double quotes and all).
std::string AddressBookEditorText(std::string_view plain);

}  // namespace composer
