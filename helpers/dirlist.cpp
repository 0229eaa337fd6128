// Folder listings by masks, dates and sizes, and Base64 parts.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <climits>

#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace helpers {

namespace {

constexpr int32_t faHidden = 2;
constexpr int32_t faDirectory = 16;

bool isrange(std::string_view datespec) { return !datespec.empty() && datespec != "*" && datespec != "#"; }

std::vector<std::string> entrynames(const std::string& folder) {
    std::vector<std::string> names;
    DIR* d = ::opendir(folder.c_str());
    if (!d) return names;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(d);
    // The file system's own order changes from one disk to the next.
    std::sort(names.begin(), names.end());
    return names;
}

// The line of a kept file, or its name alone for the newest and oldest.
std::string displayname(const std::string& folder, const std::string& name, TDateTime date, int64_t size,
                        const TDirQuery& q) {
    std::string shown = q.filter.empty() ? name : folder + name;
    if (q.width > 0) shown = padright(shown, q.width);
    if (q.details) shown += " | " + datetimestr(date) + " | " + rtl::IntToStr(size);
    return shown;
}

// Whether a file passes the folder filter, the date range and the sizes.
bool kept(const std::string& folder, TDateTime date, int64_t size, const TDirQuery& q) {
    if (!q.filter.empty() && !dirfilter(folder, q.filter)) return false;
    if (isrange(q.datespec) && (date < q.from || date > q.to)) return false;
    return q.sizespec.empty() || inranges(q.sizespec, size) != 0;
}

std::array<int, 256> base64values() {
    std::array<int, 256> v;
    v.fill(-1);
    const std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; i < alphabet.size(); ++i) v[static_cast<unsigned char>(alphabet[i])] = static_cast<int>(i);
    return v;
}

// Decodes groups of four; "=" in the third or fourth place ends the data.
// False for a character outside the alphabet.
bool base64(std::string_view t, std::string& out) {
    static const std::array<int, 256> value = base64values();
    auto at = [&](size_t i) { return value[static_cast<unsigned char>(t[i])]; };
    for (size_t i = 0; i < t.size(); i += 4) {
        const int a = at(i), b = at(i + 1), c = at(i + 2), d = at(i + 3);
        if (a < 0 || b < 0) return false;
        out += static_cast<char>((a << 2) | (b >> 4));
        if (t[i + 2] == '=') return true;
        if (c < 0) return false;
        out += static_cast<char>(((b & 15) << 4) | (c >> 2));
        if (t[i + 3] == '=') return true;
        if (d < 0) return false;
        out += static_cast<char>(((c & 3) << 6) | d);
    }
    return true;
}

}  // namespace

std::string dirlist(const std::string& folder, std::string_view masks, std::string_view datespec,
                    std::string_view sizespec, std::string_view listopts) {
    TDirQuery q;
    q.masks = std::string(masks);
    q.datespec = std::string(datespec);
    q.sizespec = std::string(sizespec);
    q.from = rtl::EncodeDate(500, 1, 1);
    q.to = rtl::EncodeDate(9500, 1, 1);
    const std::string word = rtl::Trim(getdelimel(listopts, "/", 1));
    q.details = rtl::LowerCase(word).find("full") != std::string::npos;
    q.width = static_cast<int32_t>(std::clamp<int64_t>(detail::atoi64(replaceall(word, "full", "", false)), 0, INT32_MAX));
    q.filter = rtl::Trim(getdelimel(listopts, "/", 2));
    q.newest = q.from;
    q.oldest = q.to;
    if (isrange(datespec)) {
        const std::string from = rtl::Trim(getdelimel(datespec, "-", 1));
        const std::string to = rtl::Trim(getdelimel(datespec, "-", 2));
        if (!from.empty()) q.from = parsedate(from);
        if (!to.empty()) q.to = parsedate(to);
    }
    return dirwalk(rtl::IncludeTrailingPathDelimiter(folder), 55, q);
}

std::string dirwalk(const std::string& folder, int32_t attributes, TDirQuery& q) {
    const bool pick = q.datespec == "*" || q.datespec == "#";
    std::string result;
    for (const auto& name : entrynames(folder)) {
        if (name[0] == '.' && !(attributes & faHidden)) continue;
        const std::string path = folder + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (S_ISLNK(st.st_mode)) {
            // Linked folders are not entered: a link may lead back up the tree.
            if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
        }
        if (S_ISDIR(st.st_mode)) {
            if (q.filter.empty() || !(attributes & faDirectory)) continue;
            const std::string sub = dirwalk(path + "/", attributes, q);
            if (!pick) result += sub;
            else if (!sub.empty()) result = sub;
            continue;
        }
        if (!masklist(q.masks, name)) continue;
        const TDateTime date = rtl::UTCToLocal(rtl::UnixToDateTime(st.st_mtime));
        const int64_t size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
        if (!kept(folder, date, size, q)) continue;
        const std::string shown = displayname(folder, name, date, size, q);
        if (q.datespec == "*") {
            if (date > q.newest) {
                q.newest = date;
                result = shown;
            }
        } else if (q.datespec == "#") {
            if (date < q.oldest) {
                q.oldest = date;
                result = shown;
            }
        } else {
            result += shown + "\r\n";
        }
    }
    return result;
}

bool dirfilter(const std::string& folder, std::string_view filter) {
    for (const auto& field : detail::splitfields(filter, ";", true)) {
        const std::string e = rtl::Trim(field);
        if (e.empty()) continue;
        if (e == "*.*") return true;
        // An entry names a whole component of the path.
        const std::string pattern = detail::haskwre(e) ? "kwre:/" + e.substr(5) + "/" : "/" + e + "/";
        if (rematchc(pattern, folder, false)) return true;
    }
    return false;
}

std::string b64decode(std::string_view text) {
    const bool tofile = !text.empty() && text[0] == '~';
    if (tofile) text.remove_prefix(1);
    // Line breaks go, also those that a removal brings together ("\r\r\n\n").
    std::string t;
    t.reserve(text.size());
    for (const char c : text) {
        if (c == '\n' && !t.empty() && t.back() == '\r') t.pop_back();
        else t += c;
    }
    if (t.empty() || t.size() % 4 != 0) return {};
    std::string bytes;
    bytes.reserve(t.size() / 4 * 3);
    if (!base64(t, bytes)) return {};
    if (!tofile) return bytes;
    const std::string path = homedir + "kw64_" + newguid() + "." + sniffext(bytes);
    // Without the file there is nothing to return: the bytes are no path.
    return savescratch(path, bytes) ? "~" + path : std::string();
}

}  // namespace helpers
