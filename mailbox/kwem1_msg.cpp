// TForm1's message showing: a row's message fetched whole and rendered to
// its page, the page shown in the viewer or the desktop's browser, the
// summary in the text window, the companion windows' places, and the
// remove-to-folder run.
#include <algorithm>
#include <filesystem>

#include "helpers/edithelpers.h"
#include "helpers/kwutil.h"
#include "mailbox/commslog.h"
#include "mailbox/hdrdecode.h"
#include "mailbox/kwdlgsrc.h"
#include "mailbox/kwdsply.h"
#include "mailbox/kwem1.h"
#include "mailbox/msgrender.h"
#include "platform/rtl/sysutils.h"

namespace mailbox {

namespace {

const char* const kSummaryCaption = "Pelliwox Email Summary";
const char* const kNotRetrieved = "Could not retrieve email";
const char* const kLoadingText = "Please Wait - Loading ...";

// A page of the viewer's own: a heading and a line of text.
std::string noticePage(const std::string& Heading, const std::string& Text) {
    return "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>" + helpers::htmlescape(Heading) +
           "</title></head>\r\n<body style=\"font-family:sans-serif\"><h2>" + helpers::htmlescape(Heading) +
           "</h2>\r\n<p>" + helpers::htmlescape(Text) + "</p></body></html>\r\n";
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

// The number a text starts with (after blanks); 0 when it starts with none,
// or with one too large for a row count.
int leadingNumber(const std::string& text) {
    const std::string t = rtl::Trim(text);
    int64_t n = 0;
    for (size_t i = 0; i < t.size() && t[i] >= '0' && t[i] <= '9' && n <= MaxMsgRows; ++i) n = n * 10 + (t[i] - '0');
    return static_cast<int>(std::min<int64_t>(n, MaxMsgRows + 1));
}

}  // namespace

std::string TForm1::RcvdFolder() const { return RcvdFolderPath(Edit1->Text(), ProgramFolder, false); }

// ---------------------------------------------------------------- loading

bool TForm1::fetchWhole(int No) {
    // The rows' numbers name messages of the mailbox they were listed from,
    // in the session they were listed in: after another login they must
    // still name the same messages, or the wrong message would be shown,
    // and marked or deleted by a run that relies on it.
    const char* why = nullptr;
    if (Account() != rowsAccount_) why = "The host or user name has changed since the messages were listed.";
    else if (!SslPop3Cli1->Connected() && !Pop3Connect()) {
        loadFailure_ = lastFailure_;
        return false;
    } else {
        switch (RowsStillValid()) {
            case rcSame: break;
            case rcChanged: why = "The mailbox has changed since its messages were listed."; break;
            case rcUnknown: why = "The mailbox could not be checked against the list of messages."; break;
        }
    }
    if (why) {
        rowsUnusable_ = true;
        loadFailure_ = why;
        dropMarks(why);
        helpers::errreport(std::string(why) + "\r\nNo message was fetched. Please get the emails again.");
        return false;
    }
    if (!Pop3Command("RETR " + rtl::IntToStr(No))) {
        loadFailure_ = "RETR " + rtl::IntToStr(No) + ": " + lastFailure_;
        return false;
    }
    return true;
}

bool TForm1::LoadMessage(int R, bool Reload, bool Show) {
    loadFailure_.clear();
    if (ReceivingFlag) {
        if (!Viewer.Visible()) helpers::errreport("Please Wait - Still Receiving Message ...");
        loadFailure_ = "still receiving";
        return false;
    }
    // Another run owns the connection and the rows, unless the run itself asks.
    if (RunActive() && !ownFetch_) {
        StatusText(kBusy);
        loadFailure_ = kBusy;
        return false;
    }
    const std::string folder = RcvdFolder();
    helpers::forcedirs(folder);
    if (R == -1) R = SelectedIndex();
    if (R < 0 || R >= RowCount()) return false;
    std::string page(rows_->Text(R, rtPagePath));
    if (Reload || !fileExists(page)) {
        TFlagScope receiving(ReceivingFlag);
        TScopeExit after([this] {
            if (hostChangeWaiting_) pop3hostChange(pop3host);
        });
        const TMsgRow& row = rows_->Row(R);
        if (Viewer.Visible()) {
            Viewer.Form->Caption = "Pelliwox Loading Message " + helpers::numsep(row.MessageNo) + " of " +
                                   helpers::numsep(RowCount()) + " - " + std::string(rows_->Text(R, rtSubject));
            if (Viewer.Browse) Viewer.Browse();
            Viewer.PagePath = kLoadingText;
            showNotice("kwemload.htm", kLoadingText, "The message is being fetched from the server.", false);
        }
        if (!fetchWhole(row.MessageNo)) return false;
        TRenderInput in;
        in.lines = LineList;
        in.From = rows_->Text(R, rtFrom);
        in.Subject = rows_->Text(R, rtSubject);
        in.Charset = rows_->Text(R, rtCharset);
        in.Attachment = rows_->Text(R, rtAttachment);
        in.PagePath = page;
        in.Enciphered = row.Enciphered;
        const mail::TSslPop3Cli& c = *SslPop3Cli1;
        in.HdrFrom = c.HdrFrom();
        in.HdrTo = c.HdrTo();
        in.HdrCc = c.HdrCc();
        in.HdrDate = c.HdrDate();
        in.HdrSubject = c.HdrSubject();
        in.folder = folder;
        in.programFolder = ProgramFolder;
        in.mailKey = MessageKey;
        in.reload = true;
        const TRenderResult r = RenderMessage(in);
        for (const std::string& p : r.problems) CommsLogAppend("! Message " + rtl::IntToStr(row.MessageNo) + ": " + p);
        if (!r.ok) {
            loadFailure_ = r.problems.empty() ? std::string("the page could not be written") : r.problems.back();
            return false;
        }
        rows_->SetText(R, rtPagePath, r.PagePath);
        rows_->SetText(R, rtCharset, r.Charset);
        rows_->SetText(R, rtAttachment, r.Attachment);
        RefreshRow(R);
        page = r.PagePath;
    }
    if (Show) {
        if (Viewer.Visible()) Viewer.Form->SetFocus();
        else {
            // The desktop's browser gets the copy without scripts or
            // anything fetched from elsewhere.
            const std::string copy = WriteBrowserCopy(page);
            if (!copy.empty()) helpers::shellopen(copy);
        }
    }
    return true;
}

void TForm1::OpenMessage(bool Reload) {
    const int sel = SelectedIndex();
    if (sel < 0) return;
    const bool loaded = LoadMessage(sel, Reload, true);
    const bool told = loadFailure_.empty() || rowsUnusable_ || loadFailure_ == kBusy || loadFailure_ == "still receiving";
    if (Viewer.Visible()) {
        // The viewer went to the loading page: it now shows the message
        // fetched, or why there is none.
        if (loaded) showInViewer(sel);
        else if (loadFailure_ != kBusy && loadFailure_ != "still receiving") showFailure(sel);
    }
    if (!loaded && !told) helpers::errreport(std::string(kNotRetrieved) + "\r\n" + loadFailure_);
    rowsUnusable_ = false;
}

bool TForm1::showNotice(const std::string& Name, const std::string& Heading, const std::string& Text, bool Always) {
    const std::string path = ProgramFolder + Name;
    if ((Always || !fileExists(path)) && !helpers::savetext(path, noticePage(Heading, Text), 0666)) return false;
    try {
        if (Viewer.Browser) {
            if (Viewer.Browser->Busy()) Viewer.Browser->Stop();
            Viewer.Browser->Navigate(FileUrl(path));
        }
    } catch (const std::exception& e) {
        Viewer.PagePath = e.what();
        return false;
    }
    return true;
}

void TForm1::showFailure(int R) {
    const std::string why = loadFailure_.empty() ? std::string(kNotRetrieved) : loadFailure_;
    Viewer.Form->Caption = "Pelliwox Message " + helpers::numsep(rows_->Row(R).MessageNo) + " of " +
                           helpers::numsep(RowCount()) + " - " + kNotRetrieved;
    Viewer.PagePath = why;
    Viewer.Row = R;
    showNotice("kwemfail.htm", kNotRetrieved, why, true);
}

// ---------------------------------------------------------------- showing

std::string TForm1::SummaryTitle(int R) const {
    return std::string(rows_->Row(R).DeleteMark ? "*Deleted* " : "") + "Subject: " +
           std::string(rows_->Text(R, rtSubject));
}

std::string TForm1::SummaryText(int R) const {
    auto text = [&](TRowText f) { return std::string(rows_->Text(R, f)); };
    std::string s = "To: " + text(rtTo);
    if (!text(rtCc).empty()) s += "\r\nCc: " + text(rtCc);
    s += "\r\nFrom: " + text(rtFrom);
    if (!text(rtReplyTo).empty()) s += "\r\nReply To: " + text(rtReplyTo);
    return s + "\r\n" + std::string(70, '~') + "\r\n" + text(rtFirstlines);
}

void TForm1::ListView1Click(rtl::TObject*) {
    if (!SummaryFlag && !Viewer.Visible()) return;
    const int r = SelectedIndex();
    if (r < 0 || r >= RowCount()) return;
    if (SummaryFlag && kwdsply) {
        if (kwdsply->Visible()) {
            kwdsply->titls->Caption = SummaryTitle(r);
            helpers::edsettext(kwdsply->Memo1, SummaryText(r));
        } else {
            kwdsply->ShowText(kSummaryCaption, SummaryTitle(r), false, true, false, false, 8, SummaryText(r));
        }
    }
    if (Viewer.Visible()) showInViewer(r);
    else if (ListView1->CanFocus()) ListView1->SetFocus();
}

void TForm1::showInViewer(int R) {
    // A received message is read, not edited: the navigation bar, and no
    // editing left over from a preview.
    if (Viewer.Browse) Viewer.Browse();
    if (!fileExists(std::string(rows_->Text(R, rtPagePath)))) {
        if (ReceivingFlag) helpers::waitpump(370);
        if (ReceivingFlag) return;
        LoadMessage(R, false, false);
    }
    const std::string page(rows_->Text(R, rtPagePath));
    if (!fileExists(page)) {
        if (loadFailure_ != kBusy && loadFailure_ != "still receiving") showFailure(R);
        if (!rowsUnusable_ && loadFailure_ != kBusy) helpers::errreport(kNotRetrieved);
        rowsUnusable_ = false;
        return;
    }
    SelectRow(R);
    Viewer.Row = R;
    try {
        if (Viewer.Browser) {
            if (Viewer.Browser->Busy()) Viewer.Browser->Stop();
            Viewer.Browser->Navigate(FileUrl(page));
        }
    } catch (const std::exception& e) {
        helpers::errreport(e.what());
        return;
    }
    std::string title = SummaryTitle(R);
    const int at = rtl::Pos("Subject: ", title);
    if (at > 0) rtl::Delete(title, at, 9);
    Viewer.Form->Caption = "Pelliwox Message " + helpers::numsep(rows_->Row(R).MessageNo) + " of " +
                           helpers::numsep(RowCount()) + " - " + title;
    Viewer.PagePath = page;
}

void TForm1::ListView1KeyUp(rtl::TObject* Sender, uint16_t& Key, ui::TShiftState) {
    switch (Key) {
        case ui::VK_DOWN:
        case ui::VK_UP:
        case ui::VK_PRIOR:
        case ui::VK_NEXT:
        case ui::VK_END:
        case ui::VK_HOME: ListView1Click(Sender); break;
        default: break;
    }
}

void TForm1::BitBtn11Click(rtl::TObject*) {
    SummaryFlag = !SummaryFlag;
    ListView1->ShowHint = SummaryFlag;
    if (!kwdsply) return;
    if (!SummaryFlag) {
        kwdsply->Hide();
        return;
    }
    PlaceCompanionWindows();
    kwdsply->ShowText(kSummaryCaption, "", false, true, false, false, 8, "");
    kwdsply->Memo1->Font->Assign(*ListView1->Font);
    kwdsply->CheckBox1->Checked = true;
    ListView1Click(ListView1);
}

void TForm1::BitBtn12Click(rtl::TObject*) {
    if (!Viewer.Form) return;
    Viewer.Form->Visible = !Viewer.Form->Visible();
    if (!Viewer.Form->Visible()) return;
    PlaceCompanionWindows();
    SelectRow(std::max(0, SelectedIndex()));
    ListView1Click(ListView1);
    if (Viewer.Form->CanFocus()) Viewer.Form->SetFocus();
}

void TForm1::shwmmohntContextPopup(rtl::TObject*, ui::TPoint, bool& Handled) {
    if (Viewer.Form) Viewer.Form->Visible = !Viewer.Form->Visible();
    Handled = true;
}

void TForm1::PlaceCompanionWindows() {
    static bool placed = false;
    if (placed) return;
    placed = true;
    const int sw = ui::Screen->Width, sh = ui::Screen->Height;
    const auto centredTop = [sh](int height) { return (sh - height) / 2; };
    // Room between two windows' edges for the frames and a little space.
    constexpr int kGap = 20, kNavBarWidth = 660;
    Left = 10;
    // The viewer goes beside the main window, never over it: covered, its
    // text is hidden whenever the main window is on top. The main window
    // gives up width, down to its minimum, for a viewer wide enough for its
    // navigation bar on one row; narrower, the bar wraps.
    int w = int(Width);
    const int roomFor = sw - 10 - kGap - 10;  // main window plus viewer
    if (roomFor - w < kNavBarWidth) {
        w = std::max(int(Constraints->MinWidth), std::min(w, roomFor - kNavBarWidth));
        if (w != int(Width)) SetBounds(10, int(Top), w, int(Height));
    }
    const int wide = sw - (w + 50);
    const int besideLeft = 10 + w + kGap;
    int textLeft = std::min(besideLeft, sw - 660), textWidth = std::clamp(wide, 350, 800);
    if (kwdsply) {
        kwdsply->Position = ui::poDesigned;
        kwdsply->SetBounds(textLeft, centredTop(kwdsply->Height), textWidth, kwdsply->Height);
    }
    if (Viewer.Form) {
        const int height = sh * 5 / 6;
        const int width = std::clamp(sw - besideLeft - 10, 350, 1024);
        // A screen too narrow for both: on the screen at least.
        Viewer.Form->SetBounds(std::max(0, std::min(besideLeft, sw - width - 10)), sh / 12, width, height);
    }
    if (cmmslog) {
        const int width = std::min(textWidth, 640);
        cmmslog->SetBounds(textLeft, centredTop(cmmslog->Height), width, cmmslog->Height);
    }
    // The composer's place is set when the composer is built.
}

// ---------------------------------------------------------------- remove to folder

void TForm1::gtgdemsClick(rtl::TObject*) {
    if (removeRun_) {
        removeStop_ = true;
        return;
    }
    if (RunActive()) {
        StatusText(kBusy);
        return;
    }
    if (kwgrabstr) {
        kwgrabstr->Label2->Caption =
            "You can sort the list into an order, by clicking on the column header. Click again to reverse the sort.";
        kwgrabstr->Label2->Visible = true;
    }
    bool ok;
    {
        TScopeExit hide([] {
            if (kwgrabstr) kwgrabstr->Label2->Visible = false;
        });
        ok = kwgrabstr && kwgrabstr->Execute("Pelliwox - Retain the top how many emails?",
                                             "Enter the number of items at the top of the list you want to leave on "
                                             "the server :-",
                                             retainAnswer_);
    }
    {
        TScopeExit after([this] {
            if (hostChangeWaiting_) pop3hostChange(pop3host);
        });
        TFlagScope run(removeRun_);
        TFlagScope busy(BusyFlag);
        removeStop_ = false;
        markStop_ = false;  // closing the window asks runs to stop through it
        rowsUnusable_ = false;
        if (ok) {
            const int keep = leadingNumber(retainAnswer_);
            for (int i = keep; !removeStop_ && !markStop_ && !rowsUnusable_ && i < RowCount(); ++i) {
                StatusText("Retrieving Row " + helpers::numsep(i + 1));
                TMsgRow& row = rows_->Row(i);
                if (row.DeleteMark || row.NotFetched) continue;
                bool loaded;
                {
                    TFlagScope own(ownFetch_);
                    loaded = LoadMessage(i, false, false);
                }
                if (!loaded) continue;
                // Marked white: the message goes at the next disconnect, its page stays.
                TMsgRow& done = rows_->Row(i);
                done.WhiteHit = true;
                done.DeleteMark = true;
                RefreshRow(i);
            }
        }
    }
    rowsUnusable_ = false;
    if (ListView1->CanFocus()) ListView1->SetFocus();
    ListView1Click(ListView1);
    ShowConnState();
}

void TForm1::xplorClick(rtl::TObject*) {
    const std::string folder = RcvdFolder();
    helpers::forcedirs(folder);
    helpers::shellopen(folder);
}

}  // namespace mailbox
