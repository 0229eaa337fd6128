// The address book file.
#include "composer/addrbook.h"

#include <algorithm>

#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace composer {

std::string AddressBookPath() { return helpers::homedir + "pelliwoxaddbook.txt"; }

std::string LoadAddressBook(std::string_view key) {
    const std::string text = helpers::loadtext(AddressBookPath());
    if (!text.empty() && text[0] == '@') return helpers::numdecipher(std::string_view(text).substr(1), key);
    return text;
}

bool SaveAddressBook(std::string_view plain, std::string_view key) {
    // Addresses are personal: nobody else reads the book, not even for a moment.
    return helpers::savetext(AddressBookPath(), "@" + helpers::numcipher(plain, key), 0600);
}

bool AddToAddressBook(std::string_view entry, std::string_view key) {
    const std::string text = rtl::Trim(std::string(entry));
    if (text.empty()) return false;
    const std::string book = rtl::Trim(LoadAddressBook(key));
    if (rtl::LowerCase(book).find(rtl::LowerCase(text)) != std::string::npos) return false;
    return SaveAddressBook(book.empty() ? text : book + "\r\n" + text, key);
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
    rtl::TStringList list;
    list.SetText(helpers::replaceall(plain, "\"", "", true));
    std::vector<std::string> lines(list.begin(), list.end());
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const std::string& l : lines) out += l + "\r\n";
    return out;
}

}  // namespace composer
