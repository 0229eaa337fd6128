// TForm1's reply, reply to all and forward: the selected row's page quoted
// into the template, the pictures and attachments its own rendering saved
// carried over to the composer's lists.
#include <algorithm>
#include <filesystem>

#include "helpers/kwutil.h"
#include "mailbox/kwem1.h"
#include "mailbox/msgrender.h"
#include "platform/rtl/sysutils.h"

namespace mailbox {

namespace {

constexpr const char* kReplyHead = "<BR><BR>In reply to :-<BR><BLOCKQUOTE STYLE";
constexpr const char* kForwardHead = "<BR><BR>Forwarding :-<BR><BLOCKQUOTE STYLE";

std::string lower(std::string_view s) { return rtl::LowerCase(std::string(s)); }

// Every block from Start (any case) up to and including the next
// "</span><br>" removed; an unclosed block and what follows stay.
std::string removeBlocks(const std::string& text, std::string_view start) {
    const std::string low = lower(text);
    std::string out;
    size_t from = 0;
    while (true) {
        const size_t at = low.find(start, from);
        if (at == std::string::npos) break;
        const size_t close = low.find("</span><br>", at + start.size());
        if (close == std::string::npos) break;
        out.append(text, from, at - from);
        from = close + 11;
    }
    out.append(text, from, std::string::npos);
    return out;
}

// The local file a link names, when the link is exactly the renderer's URL
// of one of Own, the files the message's own rendering saved; empty
// otherwise. Other links, to files of other messages too, stay links.
std::string linkedFile(const std::string& url, const std::vector<std::string>& own) {
    if (url.rfind("file:///", 0) != 0) return {};
    const std::string path = helpers::urldecode(url.substr(7), false);
    if (path.size() < 2 || path[0] != '/' || path[1] == '/' || FileUrl(path) != url) return {};
    if (path.find("/./") != std::string::npos || path.find("/../") != std::string::npos) return {};
    return std::find(own.begin(), own.end(), path) != own.end() ? path : std::string();
}

bool fileThere(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// Pictures the page shows from saved files become the new message's
// inserted images (or "IMAGE:" + path when the file is gone).
void carryPictures(std::string& text, const std::vector<std::string>& own, std::vector<std::string>& images) {
    size_t from = 0;
    while (true) {
        const std::string low = lower(text);
        const size_t at = low.find("src=\"file:///", from);
        if (at == std::string::npos) return;
        const size_t urlAt = at + 5;
        const size_t close = text.find('"', urlAt);
        if (close == std::string::npos) return;
        const std::string url = text.substr(urlAt, close - urlAt);
        const std::string path = linkedFile(url, own);
        if (path.empty()) {
            from = close;
            continue;
        }
        std::string ref;
        if (fileThere(path)) {
            images.push_back(path);
            ref = "cid:IMAGE" + std::to_string(images.size());
        } else {
            // Not listed: the list's n-th entry must stay the body's IMAGE n.
            ref = "IMAGE:" + helpers::replaceall(path, "\"", "&quot;", true);
        }
        text = helpers::replaceall(text, "\"" + url + "\"", "\"" + ref + "\"", true);
        from = urlAt;
    }
}

// Attachment links to saved files become attachments of the new message.
void carryAttachments(std::string& text, const std::vector<std::string>& own,
                      std::vector<std::string>& attachments) {
    constexpr std::string_view kLink = "<br> attachment <a ";
    size_t from = 0;
    while (true) {
        const std::string low = lower(text);
        const size_t at = low.find(kLink, from);
        if (at == std::string::npos) return;
        const size_t tagEnd = low.find('>', at + kLink.size());
        const size_t href = low.find("href=\"", at + kLink.size());
        const size_t end = tagEnd == std::string::npos ? tagEnd : low.find("</a><br>", tagEnd);
        if (end == std::string::npos || href == std::string::npos || href > tagEnd) {
            from = at + kLink.size();
            continue;
        }
        const size_t urlAt = href + 6;
        const size_t close = text.find('"', urlAt);
        const std::string url = close < tagEnd ? text.substr(urlAt, close - urlAt) : std::string();
        const std::string path = linkedFile(url, own);
        if (path.empty()) {
            from = end;
            continue;
        }
        std::string shown;
        if (fileThere(path)) {
            shown = "<BR><I> ATTACHMENT " + url + "</I><BR>";
            if (std::find(attachments.begin(), attachments.end(), path) == attachments.end())
                attachments.push_back(path);
        } else {
            shown = "<BR><I> ATTACHMENT FILE:" + helpers::htmlescape(path) + "</I><BR>";
        }
        text.replace(at, end + 8 - at, shown);
        from = at + shown.size();
    }
}

}  // namespace

std::string TForm1::StripReplyPrefixes(const std::string& Subject) {
    std::string s = Subject;
    while (true) {
        const size_t lead = s.find_first_not_of(" \t");
        if (lead == std::string::npos) return {};
        const std::string head = lower(std::string_view(s).substr(lead, 3));
        if (head != "re:" && head != "fw:") return s.substr(lead);
        s.erase(0, lead + 3);
    }
}

std::string TForm1::OwnAddress(const std::string& From) {
    std::string own = lower(From);
    const size_t open = own.find('<');
    const size_t close = open == std::string::npos ? open : own.find('>', open);
    if (close != std::string::npos) own = own.substr(open + 1, close - open - 1);
    return rtl::Trim(own);
}

std::string TForm1::ReplyAddresses(const std::string& From, const std::string& ReplyTo, const std::string& RowTo,
                                   const std::string& Own, bool All) {
    std::string to = ReplyTo.empty() ? From : ReplyTo;
    if (!All) return to;
    size_t from = 0;
    while (from <= RowTo.size()) {
        size_t cut = RowTo.find_first_of(",;", from);
        if (cut == std::string::npos) cut = RowTo.size();
        const std::string address = rtl::Trim(RowTo.substr(from, cut - from));
        from = cut + 1;
        if (address.empty()) continue;
        // Without an own address nobody is left out.
        if (!Own.empty() && lower(address).find(Own) != std::string::npos) continue;
        to += ";" + address;
    }
    return to;
}

std::string TForm1::StripToggleBlocks(const std::string& Page) {
    std::string text = Page;
    for (const char* start :
         {"<span style=\"cursor:pointer; padding:1px 10px; border-radius:8px;", "<span id=\"kwemallhdrs\"",
          "<span id=\"kwemplaintex\"", "<span id=\"kwemattached\""})
        text = removeBlocks(text, start);
    // Pages of today hold each block in a disclosure element; with its label
    // and block gone, the empty shell would still draw a triangle.
    constexpr std::string_view shell = "<details><summary style=\"cursor:pointer;\"></summary></details>";
    const std::string low = lower(text);
    std::string out;
    size_t from = 0;
    for (size_t at = low.find(shell); at != std::string::npos; at = low.find(shell, from)) {
        out.append(text, from, at - from);
        from = at + shell.size();
        if (low.compare(from, 2, "\r\n") == 0) from += 2;
    }
    out.append(text, from, std::string::npos);
    return out;
}

TForm1::TQuoted TForm1::QuotePage(const std::string& Page, const std::string& BlockStyle,
                                  const std::vector<std::string>& OwnFiles) {
    TQuoted q;
    // Attachments are taken from the whole page: those after the message's
    // HTML stand in the "Attachments" block, which the quote leaves out.
    std::string whole = Page;
    carryAttachments(whole, OwnFiles, q.Attachments);
    std::string text = StripToggleBlocks(whole);
    const std::string low = lower(text);
    size_t end = low.find("</body>");
    if (end == std::string::npos) end = low.find("</html>");
    if (end != std::string::npos) text.resize(end);
    carryPictures(text, OwnFiles, q.Images);
    // Pictures the quote does not show go as attachments.
    std::vector<std::string> pictures;
    carryPictures(whole, OwnFiles, pictures);
    for (const std::string& p : pictures)
        if (std::find(q.Images.begin(), q.Images.end(), p) == q.Images.end() &&
            std::find(q.Attachments.begin(), q.Attachments.end(), p) == q.Attachments.end())
            q.Attachments.push_back(p);
    q.Html = std::string(kReplyHead) + "=\"" + BlockStyle + "\">\r\n" + text + "</BLOCKQUOTE>";
    return q;
}

std::vector<std::string> TForm1::SavedFiles(int Row) const {
    std::vector<std::string> files;
    if (Row < 0 || Row >= rows_->RowCount()) return files;
    const std::string list(rows_->Text(Row, rtAttachment));
    for (size_t from = 0; from < list.size();) {
        size_t bar = list.find('|', from);
        if (bar == std::string::npos) bar = list.size();
        const std::string path = list.substr(from, bar - from);
        if (!path.empty() && std::find(files.begin(), files.end(), path) == files.end()) files.push_back(path);
        from = bar + 1;
    }
    return files;
}

std::vector<std::string> TForm1::SavedFilesOfPage(const std::string& PagePath) const {
    for (int r = 0; r < rows_->RowCount(); ++r)
        if (!PagePath.empty() && rows_->Text(r, rtPagePath) == PagePath) return SavedFiles(r);
    return {};
}

TForm1::TQuoted TForm1::BuildQuotedBody(const std::string& Page, const std::vector<std::string>& OwnFiles) {
    return QuotePage(Page, Composer ? Composer->QuoteStyle() : std::string(kDefaultQuoteStyle), OwnFiles);
}

TForm1::TQuoted TForm1::QuoteInTemplate(const std::string& Page, bool Forward,
                                        const std::vector<std::string>& OwnFiles) {
    TQuoted q = BuildQuotedBody(Page, OwnFiles);    if (Forward) q.Html.replace(0, std::string(kReplyHead).size(), kForwardHead);
    std::string body = helpers::loadtext(TemplatePath());
    const size_t close = lower(body).find("</body>");
    if (close != std::string::npos)
        body.insert(close, q.Html);
    else
        body += q.Html;  // a template without a body end still carries the quote
    q.Html = std::move(body);
    return q;
}

void TForm1::ReplyToRow(int Mode) {
    if (!Composer) return;
    const int r = SelectedIndex();
    if (r < 0) return;
    LoadMessage(r, false, false);
    if (ListView1->CanFocus()) ListView1->SetFocus();
    // The own address is the selected mailbox's.
    SyncComposerAccount();

    const TRowStore& rows = Rows();
    TComposerPort::TReplyFields f;
    if (Mode != rmForward) {
        f.To = ReplyAddresses(std::string(rows.Text(r, rtFrom)), std::string(rows.Text(r, rtReplyTo)),
                              std::string(rows.Text(r, rtTo)), OwnAddress(Composer->FromAddress()),
                              Mode == rmReplyAll);
        f.Cc = rows.Text(r, rtCc);
    }
    const std::string pagePath(rows.Text(r, rtPagePath));
    // Only the files this message's rendering saved go with it: a page may
    // link files of other messages, which must never leave unasked.
    TQuoted q = QuoteInTemplate(pagePath.empty() ? std::string() : helpers::loadtext(pagePath), Mode == rmForward,
                                SavedFiles(r));
    f.Body = std::move(q.Html);
    f.Subject = (Mode == rmForward ? "FW: " : "RE: ") + StripReplyPrefixes(std::string(rows.Text(r, rtSubject)));
    f.Attachments = std::move(q.Attachments);
    f.Images = std::move(q.Images);
    Composer->ReplyMessage(f);
    ShowComposer(false);
}

void TForm1::BitBtn10Click(rtl::TObject*) { ReplyToRow(rmReply); }

void TForm1::BitBtn10ContextPopup(rtl::TObject*) { ReplyToRow(rmReplyAll); }

void TForm1::BitBtn13Click(rtl::TObject*) { ReplyToRow(rmForward); }

void TForm1::bindReply() {
    BitBtn10->OnClick = [this](rtl::TObject* s) { BitBtn10Click(s); };
    BitBtn10->OnContextPopup = [this](rtl::TObject* s, ui::TPoint, bool& handled) {
        handled = true;
        BitBtn10ContextPopup(s);
    };
    BitBtn13->OnClick = [this](rtl::TObject* s) { BitBtn13Click(s); };
}

}  // namespace mailbox
