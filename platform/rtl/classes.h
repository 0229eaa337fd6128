#pragma once
// Objects with owners, free notification and the string list.
#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rtl {

class TObject {
public:
    virtual ~TObject() = default;
    virtual const char* ClassName() const { return "TObject"; }
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

enum TOperation { opInsert, opRemove };

// An owned component is destroyed with its owner; a component that asked for
// free notification learns when another one goes away.
class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner = nullptr);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const char* ClassName() const override { return "TComponent"; }
    TComponent* Owner() const { return owner_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int i) const { return components_.at(static_cast<size_t>(i)); }
    bool Destroying() const { return destroying_; }

    void FreeNotification(TComponent* other);
    void RemoveFreeNotification(TComponent* other);

    std::string Name;

protected:
    virtual void Notification(TComponent* component, TOperation op) {}
    // Derived destructors call this first so that owned parts and listeners
    // see the component as going away before its members are torn down.
    void BeginDestroy();

private:
    void removeComponent(TComponent* c);

    TComponent* owner_;
    std::vector<TComponent*> components_;
    std::vector<TComponent*> notifies_;
    bool destroying_ = false;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

// A list of texts. Text joins lines with CR LF; setting it splits at CR LF,
// LF or CR. Look-ups ignore ASCII case unless CaseSensitive is set.
class TStringList : public TObject {
public:
    const char* ClassName() const override { return "TStringList"; }

    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& operator[](int i) const;
    std::string& operator[](int i);
    const std::string& Strings(int i) const { return (*this)[i]; }
    void Put(int i, std::string s);

    int Add(std::string s);
    void Insert(int i, std::string s);
    void Delete(int i);
    void Clear() { items_.clear(); }
    void Exchange(int a, int b);
    void Move(int from, int to);
    int IndexOf(std::string_view s) const;
    // Binary search in a sorted list; Index is where S is or would go.
    bool Find(std::string_view s, int& index) const;
    void Sort();
    void CustomSort(const std::function<int(const TStringList&, int, int)>& compare);

    std::string Text() const;
    void SetText(std::string_view text);
    void AddStrings(const TStringList& other);

    // "Name=Value" lines.
    std::string Names(int i) const;
    std::string ValueFromIndex(int i) const;
    std::string Values(std::string_view name) const;
    void SetValue(std::string_view name, std::string_view value);
    int IndexOfName(std::string_view name) const;

    // Whole-file load and save; the file's bytes are kept as they are. Only
    // a regular file is read; a save replaces the file (fileio.h), a new one
    // made with Mode less the umask.
    void LoadFromFile(const std::string& path);
    void SaveToFile(const std::string& path, mode_t mode = 0600) const;

    bool Sorted() const { return sorted_; }
    void SetSorted(bool v);
    TDuplicates Duplicates = dupAccept;
    bool CaseSensitive = false;

    std::vector<std::string>::const_iterator begin() const { return items_.begin(); }
    std::vector<std::string>::const_iterator end() const { return items_.end(); }

private:
    int compare(std::string_view a, std::string_view b) const;
    void checkIndex(int i) const;

    std::vector<std::string> items_;
    bool sorted_ = false;
};

}  // namespace rtl
