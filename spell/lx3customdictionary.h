#pragma once
// A small read-write word store of ignore words (accepted), exclude words
// (always wrong) and auto-correct pairs: the user's custom dictionaries
// (".lxu"), the learned suggestions (".lxl"), the mapping dictionary, and
// without a file the component's internal dictionary. Entries sit in an
// append-only buffer indexed by an open-addressing hash table, and the file
// is an image of both. A word's typographic apostrophes are stored and
// looked up as plain ones.
//
// Saving is safe against a second writer: the folder is locked for the
// read-merge-write, a file changed since it was read (time to the
// nanosecond, size) gets this object's changes replayed on its newer
// content in the order they were made, the result replaces the file in one
// rename, and the object then holds what it wrote. A save that fails keeps
// the changes pending and says why.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "spell/lx3util.h"

namespace spell {

class TCustomDictionary {
public:
    TCustomDictionary() = default;
    // Unloads, saving pending changes.
    virtual ~TCustomDictionary();
    TCustomDictionary(const TCustomDictionary&) = delete;
    TCustomDictionary& operator=(const TCustomDictionary&) = delete;

    // Whether Name can serve: a file with the user dictionary's banner, or
    // a name for a file that does not exist yet and can be created (the
    // empty name serves as an in-memory dictionary).
    static bool IsCustomDictionary(const std::string& Name);

    const std::string& Filename() const { return filename_; }
    // Taken only when IsCustomDictionary (Name); the old one is unloaded
    // (saved) first and the loaded state carried over.
    virtual void WriteFilename(const std::string& Name);
    bool Loaded() const { return loaded_; }
    virtual void WriteLoaded(bool Value);
    // The file could not be read as a user dictionary: nothing is found,
    // nothing can be added, nothing is written over it, until the name is
    // set again.
    bool LoadFailed() const { return loadFailed_; }
    bool Modified() const { return modified_; }
    void SetModified(bool Value) { modified_ = Value; }
    // Why the last save or load failed; empty after a good one.
    const std::string& LastError() const { return lastError_; }
    // Told about every save that fails (the changes stay pending).
    std::function<void(const std::string& Error)> OnSaveFailed;

    int IgnoreCount();
    int ExcludeCount();
    int AutoCorrectCount();
    int WordCount() const { return wordCount_; }

    bool IgnoreExists(std::string_view Word);
    bool ExcludeExists(std::string_view Word);
    bool AutoCorrectExists(std::string_view Word, std::string& Replacement);

    bool AddIgnore(std::string_view Word);
    bool AddExclude(std::string_view Word);
    bool AddAutoCorrect(std::string_view Word, std::string_view Replacement);
    bool RemoveIgnore(std::string_view Word);
    bool RemoveExclude(std::string_view Word);
    bool RemoveAutoCorrect(std::string_view Word);
    // Empties the dictionary; does not mark it modified.
    void RemoveAll();

    // Entries in slot order; empty beyond the end.
    std::string GetIgnoreWord(int Index);
    std::string GetExcludeWord(int Index);
    void GetAutoCorrectWord(int Index, std::string& Word, std::string& Replacement);

    // Writes pending changes (merging with a newer file); false when they
    // could not be written.
    bool Save();
    // Writes the whole dictionary to Name; the dictionary's own name stays.
    bool SaveAs(const std::string& Name);
    // Saves, then gives the file the new name without replacing another
    // file; false changes nothing.
    bool RenameTo(const std::string& NewName);

    // The table and buffer sizes as the file holds them.
    int32_t SlotCount() const { return static_cast<int32_t>(slots_.size()); }
    int64_t BufferUsed() const { return static_cast<int64_t>(buffer_.size()); }

    // Longest word and replacement together, in bytes (exclusive).
    static constexpr size_t MaxEntryBytes = 501;

protected:
    // A new object of the same kind, for merging.
    virtual std::unique_ptr<TCustomDictionary> CreateInstance() const;

private:
    enum class OpKind { Add, Remove, Clear };
    struct Op {
        OpKind kind;
        char type;
        std::string word, replacement;
    };

    static std::string_view key(std::string_view word, std::string& plain);
    bool ensureLoaded();
    void clear();
    bool loadDictionary(bool lockFolder);
    std::string image() const;
    bool findWord(char type, std::string_view word, int32_t& value, size_t& slot);
    bool internalHash(std::vector<int32_t>& table, std::string_view word, int32_t value) const;
    void rebuild(size_t size);
    bool addWord(char type, std::string_view word, std::string_view replacement);
    bool removeWord(char type, std::string_view word);
    std::string_view wordAt(int32_t value) const;
    std::string_view replacementAt(int32_t value) const;
    void setupIndexLists();
    void replay(const Op& op);
    bool saveLocked();
    bool fail(std::string error);

    std::string filename_;
    bool loaded_ = false, modified_ = false, loadFailed_ = false;
    std::string lastError_;
    TFileStamp stamp_;  // the file as it was read or last written
    int32_t counts_[3] = {};  // ignore, exclude, auto-correct
    int32_t wordCount_ = 0;
    std::vector<int32_t> slots_;
    std::string buffer_;
    std::vector<int32_t> index_[3];
    bool indexCurrent_ = false;
    std::vector<Op> journal_;
};

}  // namespace spell
