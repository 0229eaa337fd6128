#include "zip/avexcept.h"

#include <array>
#include <cstdio>


namespace zip {

namespace {

constexpr std::array<const char*, 42> kTexts = {
    "Unknown error",
    "Index out of bounds",
    "Invalid compression mode. Mode must be in [0-9] range",
    "Unexpected nil pointer",
    "Invalid size or check sum of file or unsupported compression format",
    "File name is blank. Specify appropriate file name",
    "File \"%s\" not found",
    "Archive is not open",
    "SFXStub property is not specified",
    "Cannot create file \"%s\"",
    "Cannot create directory \"%s\"",
    "Internal error. Update is not started",
    "Cannot open file \"%s\"",
    "Cannot proceed when update is not ended. Preceding EndUpdate call is required.",
    "Cannot delete file \"%s\"",
    "In-memory archive can be created only",
    "File is open in read-only mode",
    "Invalid compressed size, rfs.size = %d, count = %d",
    "Invalid archive file.",
    "Cannot create output file. Probably file is locked by another process. FileName = '%s'.",
    "Archive is open. You should close it beore performing this operation.",
    "Unable to create directory",
    "Cannot find 64-bit directory end record",
    "Cannot compress file '%s'. Zip64 mode is not enabled",
    "Cannot open archive file. Opening aborted or invalid file",
    "Write to stream error",
    "Cannot place SFX stub on volume. Volume size limit is too small",
    "Archive is damaged. Open failed",
    "MakeSFX is not allowed for splitted or spanned archives. Set SFXStub before archive creation instead of MakeSFX",
    "Archive already has SFX stub",
    "Multi-volume archive is not allowed for custom stream",
    "Multi-spanned archive is not allowed for modification. Use BeginUpdate/EndUpdate methods to add files several "
    "times",
    "Deflate64 compression method is not supported",
    "MakeSFX error",
    "Hashed list of file names is invalid",
    "Cannot delete folder \"%s\"",
    "File name is too long: \r\n\"%s\"",
    "Multiple transactions are not supported for multi-volume archives",
    "Invalid InitVector index = %d. Index should be >= 0 and < %d",
    "Disk is full. There is not enough free space on disk.",
    "Invalid password. Cannot decompress encrypted file.",
    "%s compression method is not supported",
};

// (code, text index); pair n holds code n.
constexpr std::array<unsigned char, 69> kCodeText = {
    0,  1,  1,  1,  1,  2,  3,  1,  4,  5,  5,  6,  6,  7,  7,  6,  1,  8,  6,  9,  10, 1,  11,
    9,  1,  11, 13, 14, 15, 5,  6,  6,  16, 12, 17, 18, 19, 20, 6,  21, 22, 23, 6,  23, 24, 24,
    25, 26, 27, 28, 29, 30, 31, 6,  6,  32, 33, 27, 34, 34, 35, 36, 37, 38, 38, 39, 39, 40, 41,
};

std::string Finish(int code, const std::string& text, const TAvNamed* component) {
    std::string msg = component && !component->Name.empty() ? component->Name + ": " + text : text;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%05d", code);
    return msg + " - Native error: " + digits;
}

}  // namespace

std::string AvFormat(const char* text, std::initializer_list<std::string> args) {
    std::string out;
    auto arg = args.begin();
    for (const char* p = text; *p; ++p) {
        if (p[0] == '%' && (p[1] == 's' || p[1] == 'd') && arg != args.end()) {
            out += *arg++;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

int AvErrorIndex(int NativeError) {
    for (size_t i = 0; i < kCodeText.size(); ++i)
        if (static_cast<int>(i) == NativeError) return kCodeText[i];
    return 0;
}

const char* AvErrorText(int Index) {
    return Index >= 0 && Index < static_cast<int>(kTexts.size()) ? kTexts[Index] : kTexts[0];
}

EAvException::EAvException(int code, const TAvNamed* component)
    : rtl::Exception(Finish(code, AvErrorText(AvErrorIndex(code)), component)),
      NativeError(code),
      ErrorCode(AvErrorIndex(code)) {}

EAvException::EAvException(int code, const std::string& arg, const TAvNamed* component)
    : rtl::Exception(Finish(code, AvFormat(AvErrorText(AvErrorIndex(code)), {arg}), component)),
      NativeError(code),
      ErrorCode(AvErrorIndex(code)) {}

EAvException EAvException::Detailed(int code, const std::string& detail, const TAvNamed* component) {
    EAvException e(code, component);
    e.Message = Finish(code, std::string(AvErrorText(e.ErrorCode)) + ": " + detail, component);
    return e;
}

EAvException EAvException::Detailed(int code, const std::string& arg, const std::string& detail,
                                    const TAvNamed* component) {
    EAvException e(code, component);
    e.Message = Finish(code, AvFormat(AvErrorText(e.ErrorCode), {arg}) + ": " + detail, component);
    return e;
}

EAvException::EAvException(int code, long long a1, long long a2, const TAvNamed* component)
    : rtl::Exception(Finish(code, AvFormat(AvErrorText(AvErrorIndex(code)), {std::to_string(a1), std::to_string(a2)}), component)),
      NativeError(code),
      ErrorCode(AvErrorIndex(code)) {}

}  // namespace zip
