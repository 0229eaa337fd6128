#pragma once
// Properties: members that read and write like fields but run the owner's
// getter and setter, so window code can say `Timer3->Enabled = false` and
// `int n = ListView1->Items->Count`. A property is bound to its owner for
// life; it cannot be copied, and assigning one property to another copies
// the value. Where a value must go into an expression that converts it
// further (`Edit1->Text() + "x"`), call it: `Prop()` gives the value.
#include <string>
#include <type_traits>
#include <utility>

namespace ui {

template <class O, class T, auto Get, auto Set>
class TProp {
public:
    explicit TProp(O* owner) : o_(owner) {}
    TProp(const TProp&) = delete;

    operator T() const { return (o_->*Get)(); }
    T operator()() const { return (o_->*Get)(); }
    // A property holding a pointer reads through: `ListView1->Selected->Index`.
    T operator->() const
        requires std::is_pointer_v<T>
    {
        return (o_->*Get)();
    }
    TProp& operator=(T v) {
        (o_->*Set)(std::move(v));
        return *this;
    }
    TProp& operator=(const TProp& p) { return *this = p(); }
    template <class U>
    TProp& operator+=(const U& v) { return *this = T((*this)() + v); }
    template <class U>
    TProp& operator-=(const U& v) { return *this = T((*this)() - v); }

    friend bool operator==(const TProp& a, const T& b) { return a() == b; }

private:
    O* o_;
};

template <class O, class T, auto Get>
class TReadProp {
public:
    explicit TReadProp(O* owner) : o_(owner) {}
    TReadProp(const TReadProp&) = delete;
    TReadProp& operator=(const TReadProp&) = delete;

    operator T() const { return (o_->*Get)(); }
    T operator()() const { return (o_->*Get)(); }
    T operator->() const
        requires std::is_pointer_v<T>
    {
        return (o_->*Get)();
    }
    friend bool operator==(const TReadProp& a, const T& b) { return a() == b; }

private:
    O* o_;
};

// An indexed property: `CheckListBox1->Checked[i] = true`.
template <class O, class T, auto Get, auto Set>
class TIndexedProp {
public:
    class Element {
    public:
        Element(O* o, int i) : o_(o), i_(i) {}
        operator T() const { return (o_->*Get)(i_); }
        T operator()() const { return (o_->*Get)(i_); }
        Element& operator=(T v) {
            (o_->*Set)(i_, std::move(v));
            return *this;
        }
        Element& operator=(const Element& e) { return *this = e(); }
        friend bool operator==(const Element& a, const T& b) { return a() == b; }

    private:
        O* o_;
        int i_;
    };

    explicit TIndexedProp(O* owner) : o_(owner) {}
    TIndexedProp(const TIndexedProp&) = delete;
    TIndexedProp& operator=(const TIndexedProp&) = delete;
    Element operator[](int i) const { return Element(o_, i); }

private:
    O* o_;
};

// A part object reached with `->` and indexed with `[]`, as the class
// library's sub-objects are (`Memo1->Lines->Add(s)`, `Memo1->Lines[2]`,
// `StatusBar1->Panels[0]->Text`).
template <class T>
class TPart {
public:
    explicit TPart(T* p) : p_(p) {}
    TPart(const TPart&) = delete;
    TPart& operator=(const TPart&) = delete;
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    operator T*() const { return p_; }
    template <class I>
    decltype(auto) operator[](I i) const { return (*p_)[i]; }

private:
    T* p_;
};

}  // namespace ui
