#pragma once
// Text-level decoders of the mailbox window: encoded header words, MIME
// header parameters, the coloured header lines and toggle blocks of the
// received page, the received-messages folder name, and the placeholders
// that stand for "<" and ">" inside rendered fragments.
#include <string>
#include <string_view>

namespace mailbox {

// The characters that stand for "<" and ">" until a page is finished.
constexpr char kTagOpen = 30;
constexpr char kTagClose = 31;

// Decodes every encoded word ("=?charset?B|Q?text?=") of a header text and
// trims it; a "=?" that starts no such word is ordinary text and stays. HdrCharset
// receives the lower-cased character set of the first encoded word. With
// Convert, each encoded word is converted from its own character set to
// UTF-8, and 8-bit text outside the words from HdrCharset.
std::string DecodeEncodedWords(std::string_view text, bool convert, std::string& hdrCharset);

// The text with its first encoded word decoded (HdrCharset set when empty).
std::string DecodeOneWord(std::string_view text, std::string& hdrCharset);

// Looks in a (lower-cased) header block for the header Name ("content-type:")
// and reads its value; with a parameter name, also joins that parameter's
// values (RFC 2231 continuations included) onto Param. True when the header
// was found and, with a parameter name, the parameter too.
bool DecodeParamValue(std::string_view block, std::string_view name, std::string& param,
                      std::string_view paramName, std::string& value);

// One coloured header line of the received page from a header line such as
// "Subject: ..." whose label is LabelLength characters long.
std::string HeaderLineHtml(std::string_view colour, int labelLength, std::string_view line);

// A block that starts closed and is opened or closed by clicking its label,
// without scripts.
std::string ToggleBlock(std::string_view id, std::string_view content, std::string_view label);

// The received-messages folder of a mailbox user: "@" and "." become "_".
// With Bare, the name alone; otherwise ProgramFolder + "rcvd/" + name.
std::string RcvdFolderPath(std::string_view userName, std::string_view programFolder, bool bare);

// The text with its placeholders turned back into "<" and ">"; the
// second form appends it to Out, so that a page's text is not copied twice.
std::string RestoreTagChars(std::string_view text);
void AppendRestoringTagChars(std::string& out, std::string_view text);
// Every placeholder in [Begin, End) replaced: "<"'s by Open, ">"'s by Close.
void ReplaceTagChars(char* begin, char* end, char open, char close);


}  // namespace mailbox
