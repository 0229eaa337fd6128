#pragma once
// Message copies: the drafts and sent messages the composer keeps as files,
// their names, their seven-line head, reading one back, and the search
// over a folder of copies or received pages.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "composer/sendmsg.h"
#include "platform/rtl/dateutils.h"

namespace composer {

// The mailbox's folder name: the user id with "@" and "." made "_".
std::string MailboxName(std::string_view userId);
// homedir + Folder + "/" + the mailbox name + "/".
std::string CopyFolder(std::string_view folder, std::string_view userId);
// The subject as a file name may keep it: accents folded, then only
// letters, digits, blank and _-+,(.)#'!$£%^&{}[]~€ kept.
std::string SubjectForName(std::string_view subject);
// "yyyymmdd_hh-nn_" + the kept subject + ".htm", the subject shortened so
// the name fits a file system's limit.
std::string CopyName(rtl::TDateTime when, std::string_view subject);
// A name in Folder that no file has yet: Name itself when free, else Name
// with " (2)", " (3)"... before ".htm" (the subject's part of the name
// keeps what the loader reads).
std::string FreeCopyName(const std::string& folder, const std::string& name);
// The copy's text: the "<PRE>" head of To, Cc, Bcc, the two lists and the
// whole subject, then the body. A row or subject keeps every character: ";",
// line breaks, "%" and markup characters are written as "%" and two hex digits.
std::string CopyText(const TMessageFields& f);

// Whether two messages make the same copy (addresses, subject, body, lists).
bool SameCopy(const TMessageFields& a, const TMessageFields& b);

// The body as a template: it gets the placeholder "<Enter Message Here>"
// before its last "</body>" (or at its end) unless it holds one already.
std::string TemplateText(std::string_view body);

// What a copy holds, read back from its text.
struct TStoredCopy {
    bool ok = false;      // the text had a whole head
    std::string Problem;  // why not
    std::string Subject, To, Cc, Bcc, Body;
    std::vector<std::string> Attachments, Images;
};
// Reads a copy: the head lines, the body after them. A copy written before
// the head held the subject has it from its file name (what follows the
// date and time), and its lists are split at every ";".
TStoredCopy ReadCopy(std::string_view fileName, std::string_view text);

// The subject of a received page (after ">Subject: ", up to "</SPAN>", at
// most 999 characters).
std::string ReceivedSubject(std::string_view page);

// The "*.htm" files of a folder (names), oldest first by their names.
std::vector<std::string> CopyFiles(const std::string& folder);
// The same, and with Mailboxes those of its folders too (as "box/name"),
// all oldest first by their names.
std::vector<std::string> CopyFiles(const std::string& folder, bool Mailboxes);
// The files of Names (in Folder) whose text matches the search (case
// ignored; wildcards, or a regular expression after "KWRE:"), read from the
// last to the first; Progress is told every tenth file.
std::vector<std::string> SearchCopies(const std::string& folder, const std::vector<std::string>& names,
                                      const std::string& search,
                                      const std::function<void(size_t read, size_t total, size_t found)>& progress);

}  // namespace composer
