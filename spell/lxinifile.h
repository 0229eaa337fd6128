#pragma once
// A profile file of sections and "key=value" lines, read and written the
// way the suite's settings expect: section and key names match without
// regard to ASCII case, values are kept as written (blanks around them and
// one pair of enclosing quotes dropped), and every line the file held that
// is not touched (other sections, comments) is written back as it was.
#include <string>
#include <string_view>
#include <vector>

namespace spell {

class TLxIniFile {
public:
    // Reads the whole file; a missing one starts empty. One that is there
    // but cannot be read (not a regular file, no permission) starts empty
    // too, says why in ReadError, and is never written over.
    explicit TLxIniFile(std::string FileName);
    const std::string& ReadError() const { return readError_; }

    const std::string& FileName() const { return filename_; }
    std::string ReadString(std::string_view Section, std::string_view Key, std::string_view Default) const;
    void WriteString(std::string_view Section, std::string_view Key, std::string_view Value);
    bool SectionExists(std::string_view Section) const;
    bool ValueExists(std::string_view Section, std::string_view Key) const;
    void DeleteKey(std::string_view Section, std::string_view Key);
    void EraseSection(std::string_view Section);
    // The keys of a section, in file order.
    std::vector<std::string> ReadSection(std::string_view Section) const;

    // Changed in memory since read or written.
    bool Modified() const { return modified_; }
    // Writes the changes as the file's new content in one step; on failure
    // the file is as it was, the changes stay pending and Error says why.
    bool UpdateFile(std::string& Error);

private:
    struct Range {
        size_t header = 0, begin = 0, end = 0;  // [begin, end) holds the section's lines
        bool found = false;
    };
    Range findSection(std::string_view section) const;
    // Index of the key's line inside the range, or npos.
    size_t findKey(const Range& r, std::string_view key) const;

    std::string filename_;
    std::vector<std::string> lines_;
    bool modified_ = false;
    std::string readError_;
};

}  // namespace spell
