#pragma once
// Errors of the archive engine: a code naming the failing site and a text
// shared by several sites.
#include <initializer_list>
#include <string>

#include "platform/rtl/exceptions.h"

namespace zip {

// Anything with a component name: the archiver puts its name in front of
// its messages so that a program with several archivers can tell them apart.
struct TAvNamed {
    std::string Name;
};

class EAvException : public rtl::Exception {
public:
    EAvException(int NativeError, const TAvNamed* Component = nullptr);
    // The text formatted with one text argument ("%s") ...
    EAvException(int NativeError, const std::string& Arg, const TAvNamed* Component = nullptr);
    // ... or with numbers ("%d").
    EAvException(int NativeError, long long Arg1, long long Arg2, const TAvNamed* Component = nullptr);
    // The code's text followed by what exactly was found wrong.
    static EAvException Detailed(int NativeError, const std::string& Detail, const TAvNamed* Component = nullptr);
    // The text formatted with Arg, then what exactly was found wrong.
    static EAvException Detailed(int NativeError, const std::string& Arg, const std::string& Detail,
                                 const TAvNamed* Component = nullptr);
    const char* ClassName() const override { return "EAvException"; }

    int NativeError;
    int ErrorCode;
};

// The text index for a code (0 for an unknown code) and the text itself.
int AvErrorIndex(int NativeError);
const char* AvErrorText(int Index);

// A message text with its "%s"/"%d" directives filled in order.
std::string AvFormat(const char* text, std::initializer_list<std::string> args);

// Texts of the event defaults' dialogs.
namespace avres {
inline constexpr const char* ConfirmOverwrite = "Overwrite file \"%s\" with \"%s\"";
inline constexpr const char* PasswordTitle = "Password for \"%s\"";
inline constexpr const char* PasswordLabel = "Enter password: ";
inline constexpr const char* BlankVolume = "Please insert a blank disk #%d";
inline constexpr const char* FirstVolume = "Please insert the first disk";
inline constexpr const char* LastVolume = "Please insert the last disk";
inline constexpr const char* MiddleVolume = "Please insert disk #%d";
inline constexpr const char* DiskFull =
    "Disk is full. Required free space: %d bytes, but available only: %d bytes. Clean the disk or find another "
    "blank disk";
inline constexpr const char* ProcessFileFailure = "%s. File processing error, possibly disk is full";
inline constexpr const char* FileNotOnDisk =
    "File '%s' not found on inserted disk. Please insert last disk with required file";
}  // namespace avres

}  // namespace zip
