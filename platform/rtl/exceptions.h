#pragma once
// Exceptions carry a class name because error texts shown to the user print it.
#include <exception>
#include <string>

namespace rtl {

class Exception : public std::exception {
public:
    explicit Exception(std::string msg) : Message(std::move(msg)) {}
    virtual const char* ClassName() const { return "Exception"; }
    const char* what() const noexcept override { return Message.c_str(); }

    std::string Message;
};

}  // namespace rtl

// Declares an exception class that differs from its base only by name.
#define RTL_EXCEPTION_CLASS(Name, Base)                               \
    class Name : public Base {                                        \
        using Inherited = Base;                                       \
    public:                                                           \
        using Inherited::Inherited;                                   \
        const char* ClassName() const override { return #Name; }      \
    }

namespace rtl {
RTL_EXCEPTION_CLASS(EConvertError, Exception);
RTL_EXCEPTION_CLASS(EListError, Exception);
RTL_EXCEPTION_CLASS(EStringListError, EListError);
RTL_EXCEPTION_CLASS(EInOutError, Exception);
RTL_EXCEPTION_CLASS(ERangeError, Exception);
RTL_EXCEPTION_CLASS(EOSError, Exception);

// The class name of any exception: ours report theirs, others say what they are.
const char* ExceptionClassName(const std::exception& e);
}  // namespace rtl
