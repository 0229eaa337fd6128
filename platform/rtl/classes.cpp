#include "platform/rtl/classes.h"

#include <algorithm>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/fileio.h"
#include "platform/rtl/sysutils.h"

namespace rtl {

TComponent::TComponent(TComponent* owner) : owner_(owner) {
    if (owner_) owner_->components_.push_back(this);
}

void TComponent::BeginDestroy() {
    if (destroying_) return;
    destroying_ = true;
    // Owned components go first, newest first, as they were made on top of us.
    while (!components_.empty()) {
        TComponent* c = components_.back();
        components_.pop_back();
        c->owner_ = nullptr;
        delete c;
    }
    auto listeners = std::move(notifies_);
    notifies_.clear();
    for (TComponent* l : listeners) {
        auto& theirs = l->notifies_;
        theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
        l->Notification(this, opRemove);
    }
    if (owner_) {
        owner_->removeComponent(this);
        owner_ = nullptr;
    }
}

TComponent::~TComponent() { BeginDestroy(); }

void TComponent::removeComponent(TComponent* c) {
    components_.erase(std::remove(components_.begin(), components_.end(), c), components_.end());
}

void TComponent::FreeNotification(TComponent* other) {
    if (!other || other == this) return;
    // Both sides know each other, so whichever goes first tells the other.
    if (std::find(notifies_.begin(), notifies_.end(), other) == notifies_.end())
        notifies_.push_back(other);
    if (std::find(other->notifies_.begin(), other->notifies_.end(), this) == other->notifies_.end())
        other->notifies_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
    if (!other) return;
    notifies_.erase(std::remove(notifies_.begin(), notifies_.end(), other), notifies_.end());
    auto& theirs = other->notifies_;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
}

void TStringList::checkIndex(int i) const {
    if (i < 0 || i >= Count())
        throw EStringListError("List index out of bounds (" + IntToStr(i) + ")");
}

const std::string& TStringList::operator[](int i) const {
    checkIndex(i);
    return items_[static_cast<size_t>(i)];
}

std::string& TStringList::operator[](int i) {
    checkIndex(i);
    return items_[static_cast<size_t>(i)];
}

void TStringList::Put(int i, std::string s) { (*this)[i] = std::move(s); }

int TStringList::compare(std::string_view a, std::string_view b) const {
    return CaseSensitive ? CompareStr(a, b) : CompareText(a, b);
}

bool TStringList::Find(std::string_view s, int& index) const {
    int lo = 0, hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        const int c = compare(items_[static_cast<size_t>(mid)], s);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                found = true;
                if (Duplicates != dupAccept) lo = mid;
            }
        }
    }
    index = lo;
    return found;
}

int TStringList::Add(std::string s) {
    if (!sorted_) {
        items_.push_back(std::move(s));
        return Count() - 1;
    }
    int at;
    if (Find(s, at)) {
        if (Duplicates == dupIgnore) return at;
        if (Duplicates == dupError) throw EStringListError("String list does not allow duplicates");
    }
    items_.insert(items_.begin() + at, std::move(s));
    return at;
}

void TStringList::Insert(int i, std::string s) {
    if (sorted_) throw EStringListError("Operation not allowed on sorted list");
    if (i < 0 || i > Count()) throw EStringListError("List index out of bounds (" + IntToStr(i) + ")");
    items_.insert(items_.begin() + i, std::move(s));
}

void TStringList::Delete(int i) {
    checkIndex(i);
    items_.erase(items_.begin() + i);
}

void TStringList::Exchange(int a, int b) {
    checkIndex(a);
    checkIndex(b);
    std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
}

void TStringList::Move(int from, int to) {
    if (from == to) return;
    std::string s = (*this)[from];
    items_.erase(items_.begin() + from);
    if (to < 0 || to > Count()) throw EStringListError("List index out of bounds (" + IntToStr(to) + ")");
    items_.insert(items_.begin() + to, std::move(s));
}

int TStringList::IndexOf(std::string_view s) const {
    if (sorted_) {
        int at;
        return Find(s, at) ? at : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (compare(items_[static_cast<size_t>(i)], s) == 0) return i;
    return -1;
}

void TStringList::Sort() {
    std::stable_sort(items_.begin(), items_.end(),
                     [this](const std::string& a, const std::string& b) { return compare(a, b) < 0; });
}

void TStringList::CustomSort(const std::function<int(const TStringList&, int, int)>& cmp) {
    // Sort an index vector so that the comparer sees the list as it stands.
    std::vector<int> idx(static_cast<size_t>(Count()));
    for (int i = 0; i < Count(); ++i) idx[static_cast<size_t>(i)] = i;
    std::stable_sort(idx.begin(), idx.end(), [&](int a, int b) { return cmp(*this, a, b) < 0; });
    std::vector<std::string> sorted;
    sorted.reserve(items_.size());
    for (int i : idx) sorted.push_back(std::move(items_[static_cast<size_t>(i)]));
    items_ = std::move(sorted);
}

void TStringList::SetSorted(bool v) {
    if (v && !sorted_) Sort();
    sorted_ = v;
}

std::string TStringList::Text() const {
    std::string r;
    for (const auto& s : items_) r.append(s).append("\r\n");
    return r;
}

void TStringList::SetText(std::string_view text) {
    items_.clear();
    size_t i = 0;
    while (i < text.size()) {
        size_t e = i;
        while (e < text.size() && text[e] != '\r' && text[e] != '\n') ++e;
        Add(std::string(text.substr(i, e - i)));
        if (e < text.size() && text[e] == '\r') {
            ++e;
            if (e < text.size() && text[e] == '\n') ++e;
        } else if (e < text.size()) {
            ++e;
        }
        i = e;
    }
}

void TStringList::AddStrings(const TStringList& other) {
    for (const auto& s : other.items_) Add(s);
}

std::string TStringList::Names(int i) const {
    const std::string& s = (*this)[i];
    const auto p = s.find('=');
    return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string TStringList::ValueFromIndex(int i) const {
    const std::string& s = (*this)[i];
    const auto p = s.find('=');
    return p == std::string::npos ? std::string() : s.substr(p + 1);
}

int TStringList::IndexOfName(std::string_view name) const {
    for (int i = 0; i < Count(); ++i) {
        const std::string& s = items_[static_cast<size_t>(i)];
        const auto p = s.find('=');
        if (p != std::string::npos && compare(std::string_view(s).substr(0, p), name) == 0) return i;
    }
    return -1;
}

std::string TStringList::Values(std::string_view name) const {
    const int i = IndexOfName(name);
    return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValue(std::string_view name, std::string_view value) {
    const int i = IndexOfName(name);
    std::string line = std::string(name) + "=" + std::string(value);
    if (value.empty()) {
        if (i >= 0) Delete(i);
    } else if (i >= 0) {
        items_[static_cast<size_t>(i)] = std::move(line);
    } else {
        Add(std::move(line));
    }
}

void TStringList::LoadFromFile(const std::string& path) {
    std::string data;
    TFileFailure why;
    if (!ReadRegularFile(path, data, why)) throw EInOutError("Cannot open file \"" + path + "\". " + why.Text());
    SetText(data);
}

void TStringList::SaveToFile(const std::string& path, mode_t mode) const {
    TFileFailure why;
    if (!ReplaceFile(path, Text(), mode, why)) throw EInOutError("Cannot write file \"" + path + "\". " + why.Text());
}

}  // namespace rtl
