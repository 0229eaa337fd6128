// The address book file.
#include "composer/addrbook.h"

#include <algorithm>
#include <cerrno>

#include "helpers/kwutil.h"
#include "platform/rtl/fileio.h"
#include "platform/rtl/sysutils.h"

namespace composer {

namespace {

// The cipher text is three digits for each byte, each group at most 255.
bool wellFormedCipher(std::string_view digits) {
    if (digits.size() % 3 != 0) return false;
    for (size_t i = 0; i < digits.size(); i += 3) {
        const std::string_view g = digits.substr(i, 3);
        if (!std::all_of(g.begin(), g.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
        if (g > "255") return false;
    }
    return true;
}

}  // namespace

std::string AddressBookPath() { return helpers::homedir + "pelliwoxaddbook.txt"; }

TBookRead ReadAddressBook(std::string_view key) {
    TBookRead r;
    const std::string path = AddressBookPath();
    auto fail = [&](const std::string& reason) {
        r.ok = false;
        r.error = "The address book " + path + " could not be read: " + reason;
        return r;
    };
    std::string text;
    rtl::TFileFailure why;
    if (!rtl::ReadRegularFile(path, text, why)) return why.Code == ENOENT && !why.Refused() ? r : fail(why.Text());
    if (text.empty() || text[0] != '@') {
        r.plain = std::move(text);
        return r;
    }
    std::string_view digits = std::string_view(text).substr(1);
    while (!digits.empty() && (digits.back() == '\r' || digits.back() == '\n' || digits.back() == ' '))
        digits.remove_suffix(1);  // an editor's line end
    if (!wellFormedCipher(digits)) {
        r.ok = false;
        r.error = "The address book " + path + " is damaged: its enciphered text is not whole";
        return r;
    }
    r.plain = helpers::numdecipher(digits, key);
    return r;
}

std::string LoadAddressBook(std::string_view key) {
    TBookRead r = ReadAddressBook(key);
    return r.ok ? std::move(r.plain) : std::string();
}

bool SaveAddressBook(std::string_view plain, std::string_view key, std::string* error) {
    const std::string path = AddressBookPath();
    // Beside the book and renamed over it; in place, with its room taken
    // first, where the folder takes no new file. Never through a link.
    rtl::TFileFailure why;
    if (rtl::ReplaceFile(path, "@" + helpers::numcipher(plain, key), 0600, why)) return true;
    if (error) *error = "The address book " + path + " could not be written: " + why.Text() + ". It is as it was.";
    return false;
}

bool AddToAddressBook(std::string_view entry, std::string_view key, std::string* error) {
    const std::string text = rtl::Trim(std::string(entry));
    if (text.empty()) return false;
    const TBookRead read = ReadAddressBook(key);
    if (!read.ok) {
        if (error) *error = read.error + ". The address was not added.";
        return false;
    }
    const std::string book = rtl::Trim(read.plain);
    if (rtl::LowerCase(book).find(rtl::LowerCase(text)) != std::string::npos) return false;
    return SaveAddressBook(book.empty() ? text : book + "\r\n" + text, key, error);
}

std::vector<std::string> AddressBookLines(std::string_view plain) {
    rtl::TStringList list;
    list.SetText(plain);
    std::vector<std::string> lines;
    for (const std::string& l : list) {
        const std::string t = rtl::Trim(l);
        if (!t.empty()) lines.push_back(t);
    }
    return lines;
}

std::string AddressBookEditorText(std::string_view plain) {
    // Double quotes stay: they hold a name with a comma together.
    rtl::TStringList list;
    list.SetText(plain);
    list.Sort();
    return list.Text();
}

}  // namespace composer
