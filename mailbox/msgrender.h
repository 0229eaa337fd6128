#pragma once
// The message renderer: one received message (the lines of a RETR answer)
// turned into its page in the received-messages folder, with every
// attachment saved beside it and linked or shown inline. No window and no
// network: the mailbox window fetches, this writes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/classes.h"

namespace mailbox {

// What the renderer reads: the message, the row fields it uses and the
// POP3 client's captured header fields.
struct TRenderInput {
    rtl::TStringList lines;  // the RETR answer, one string per line
    // Row fields.
    std::string From, Subject, Charset, Attachment, PagePath;
    bool Enciphered = false;
    // The POP3 client's header fields of the answer.
    std::string HdrFrom, HdrTo, HdrCc, HdrDate, HdrSubject;
    std::string folder;         // received-messages folder, created when missing
    std::string programFolder;  // with a trailing "/": scratch files on their way into the folder
    std::string mailKey;        // deciphers Enciphered rows
    bool reload = false;        // render again although PagePath exists
};

// Fixed working tables are caps, never preallocated; the others keep one
// message from taking the machine.
struct TRenderLimits {
    size_t maxBoundaries = 9999;
    size_t maxSectors = 999999;               // parts shown of one message
    int64_t maxPartBytes = int64_t{1} << 30;  // decoded size of one attachment
};

struct TRenderResult {
    bool ok = false;        // the page exists at the end
    bool reused = false;    // an existing page was taken, nothing written
    std::string PagePath;   // the page written or reused
    std::string Charset;    // the row's updated character set
    std::string Attachment; // the row's Attachment with the saved parts appended ("path|" each, once)
    std::vector<std::string> Saved;  // the files this rendering saved or found already saved, in order
    std::vector<std::string> problems;  // what could not be rendered, one text each
};

// Where the decoded parts go. The renderer asks; the store decides names.
class TPartStore {
public:
    virtual ~TPartStore() = default;
    // A named part: Stem + "_" + k + Ext in the folder, the first k whose
    // file is free or already holds these bytes. The path, or empty on failure.
    virtual std::string Keep(const std::string& stem, const std::string& ext, std::string_view bytes) = 0;
    // A scratch "kw64_" file holding Bytes. The path, or empty.
    virtual std::string KeepTemp(const std::string& ext, std::string_view bytes) = 0;
};

// Files in the received-messages folder (named parts) and the program folder
// ("kw64_" parts).
class TFolderStore : public TPartStore {
public:
    TFolderStore(std::string folder, std::string programFolder, std::vector<std::string>& problems)
        : folder_(std::move(folder)), programFolder_(std::move(programFolder)), problems_(problems) {}
    std::string Keep(const std::string& stem, const std::string& ext, std::string_view bytes) override;
    std::string KeepTemp(const std::string& ext, std::string_view bytes) override;

private:
    std::string folder_, programFolder_;
    std::vector<std::string>& problems_;
};

// The whole road: reuse the existing page unless a reload is asked, else
// build the page, save the parts and write (or reuse) the page file.
TRenderResult RenderMessage(const TRenderInput& in, const TRenderLimits& limits = {});

// One part of a message as the renderer reads it: an inline text part
// (Text in UTF-8) or an attachment (FileName as sent, empty when none).
struct TMessagePart {
    std::string contentType, fileName, contentId, encoding;
    bool attachment = false;
    std::string bytes;  // transfer encoding undone
    std::string text;   // a text part's text in UTF-8
};

// The leaf parts of a message (its lines joined with CRLF), in order, read
// along its boundaries; Problems receives what is wrong with its structure.
std::vector<TMessagePart> ReadMessageParts(std::string_view message, std::vector<std::string>& problems,
                                           const TRenderLimits& limits = {});

// The page text alone; parts go to Store. Result receives Charset,
// Attachment and problems (PagePath is left alone).
std::string BuildPage(const TRenderInput& in, TPartStore& store, TRenderResult& result,
                      const TRenderLimits& limits = {});

// The page's file: folder + "/" + the sender's name + n + ".htm", the first
// n whose file is free (written) or holds exactly this page (taken). Empty
// when it could not be written.
std::string WritePage(const std::string& folder, std::string_view from, std::string_view page, bool& reused);

// A file URL for a local path ("file:///abs/path", percent-encoded).
std::string FileUrl(std::string_view path);

// A part's file name from the message made safe to keep in the folder: the
// last path part, letters of any script kept, no control characters, no
// leading dots, not too long; "attachment" when nothing is left.
std::string SafePartName(std::string_view name);

// The copy of a page for the desktop's browser: no scripts, no event
// attributes, nothing fetched from elsewhere; the page's own hidden blocks
// shown, as nothing can toggle them there.
std::string BrowserCopy(std::string_view page);
// Writes BrowserCopy of the page beside it ("_view.htm" for ".htm"); the
// copy's path, or empty when it could not be written.
std::string WriteBrowserCopy(const std::string& pagePath);

}  // namespace mailbox
