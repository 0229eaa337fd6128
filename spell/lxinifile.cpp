// The suite's own profile-file reader and writer.
#include "spell/lxinifile.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/rtl/sysutils.h"
#include "spell/lx3util.h"

namespace spell {

namespace {

constexpr size_t npos = std::string::npos;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// The section name of a "[name]" line, or false.
bool sectionName(std::string_view line, std::string_view& name) {
    line = trim(line);
    if (line.size() < 2 || line.front() != '[') return false;
    const size_t close = line.find(']');
    if (close == std::string_view::npos) return false;
    name = trim(line.substr(1, close - 1));
    return true;
}

// The key and value of a "key=value" line, or false (comments, blank lines).
bool keyValue(std::string_view line, std::string_view& key, std::string_view& value) {
    const std::string_view t = trim(line);
    if (t.empty() || t.front() == ';') return false;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    key = trim(line.substr(0, eq));
    value = trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return true;
}

}  // namespace

TLxIniFile::TLxIniFile(std::string FileName) : filename_(std::move(FileName)) {
    struct stat st {};
    if (::stat(filename_.c_str(), &st) != 0 && errno == ENOENT) return;
    std::string text;
    TFileStamp stamp;
    if (!ReadRegularFile(filename_, text, stamp, readError_)) return;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines_.push_back(std::move(line));
        start = end + 1;
    }
}

TLxIniFile::Range TLxIniFile::findSection(std::string_view section) const {
    Range r;
    for (size_t i = 0; i < lines_.size(); ++i) {
        std::string_view name;
        if (!sectionName(lines_[i], name)) continue;
        if (r.found) {
            r.end = i;
            return r;
        }
        if (rtl::SameText(name, section)) {
            r.found = true;
            r.header = i;
            r.begin = i + 1;
        }
    }
    r.end = lines_.size();
    return r;
}

size_t TLxIniFile::findKey(const Range& r, std::string_view key) const {
    if (!r.found) return npos;
    for (size_t i = r.begin; i < r.end; ++i) {
        std::string_view k, v;
        if (keyValue(lines_[i], k, v) && rtl::SameText(k, key)) return i;
    }
    return npos;
}

std::string TLxIniFile::ReadString(std::string_view Section, std::string_view Key, std::string_view Default) const {
    const size_t i = findKey(findSection(Section), Key);
    if (i == npos) return std::string(Default);
    std::string_view k, v;
    keyValue(lines_[i], k, v);
    return std::string(v);
}

bool TLxIniFile::SectionExists(std::string_view Section) const { return findSection(Section).found; }

bool TLxIniFile::ValueExists(std::string_view Section, std::string_view Key) const {
    return findKey(findSection(Section), Key) != npos;
}

std::vector<std::string> TLxIniFile::ReadSection(std::string_view Section) const {
    std::vector<std::string> keys;
    const Range r = findSection(Section);
    if (!r.found) return keys;
    for (size_t i = r.begin; i < r.end; ++i) {
        std::string_view k, v;
        if (keyValue(lines_[i], k, v)) keys.emplace_back(k);
    }
    return keys;
}

void TLxIniFile::WriteString(std::string_view Section, std::string_view Key, std::string_view Value) {
    const std::string line = std::string(Key) + "=" + std::string(Value);
    Range r = findSection(Section);
    if (!r.found) {
        if (!lines_.empty() && !trim(lines_.back()).empty()) lines_.emplace_back();
        lines_.push_back("[" + std::string(Section) + "]");
        lines_.push_back(line);
        modified_ = true;
        return;
    }
    const size_t i = findKey(r, Key);
    if (i != npos) {
        if (lines_[i] == line) return;
        lines_[i] = line;
    } else {
        // After the section's last non-blank line, so a blank line that
        // separates it from the next section stays where it is.
        size_t at = r.end;
        while (at > r.begin && trim(lines_[at - 1]).empty()) --at;
        lines_.insert(lines_.begin() + static_cast<ptrdiff_t>(at), line);
    }
    modified_ = true;
}

void TLxIniFile::DeleteKey(std::string_view Section, std::string_view Key) {
    const size_t i = findKey(findSection(Section), Key);
    if (i == npos) return;
    lines_.erase(lines_.begin() + static_cast<ptrdiff_t>(i));
    modified_ = true;
}

void TLxIniFile::EraseSection(std::string_view Section) {
    const Range r = findSection(Section);
    if (!r.found) return;
    lines_.erase(lines_.begin() + static_cast<ptrdiff_t>(r.header), lines_.begin() + static_cast<ptrdiff_t>(r.end));
    modified_ = true;
}

bool TLxIniFile::UpdateFile(std::string& Error) {
    if (!modified_) return true;
    // What could not be read is not written over.
    if (!readError_.empty()) {
        Error = readError_;
        return false;
    }
    std::string text;
    for (const auto& l : lines_) text += l + "\r\n";
    if (!WriteFileAtomic(filename_, text, 0600, Error)) return false;
    modified_ = false;
    return true;
}

}  // namespace spell
