// Archiving of received pages: the run, and TForm1's right-click on the
// received-folder button that asks for the options and drives it.
#include "mailbox/kwem1_zip.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <map>

#include "helpers/kwutil.h"
#include "mailbox/hdrdecode.h"
#include "mailbox/kwdsply.h"
#include "mailbox/kwem1.h"
#include "mailbox/kwutzp.h"
#include "platform/rtl/dateutils.h"
#include "platform/rtl/sysutils.h"

namespace mailbox {

namespace {

constexpr const char* kReportTitle = "Archive Emails Older than 30 Days - Results :-\r\n";

bool FileThere(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

std::string NextFreeArchiveName(const std::string& given, int& n) {
    const size_t slash = given.rfind('/');
    const size_t dot = given.rfind('.');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string stem = hasExt ? given.substr(0, dot) : given;
    const std::string ext = hasExt ? given.substr(dot) : std::string();
    for (;; ++n) {
        const std::string name = stem + "_" + std::to_string(n) + ext;
        if (!FileThere(name)) return name;
    }
}

void TRcvdArchiver::Open(const std::string& name, bool create) {
    ark_.FileName = name;
    ark_.OpenArchive(create ? zip::kModeCreate : uint16_t{2});
    ark_.BaseDir = "/";
    ark_.ExclusionMasks.clear();
    ark_.Options.SearchAttr = 10415;
    ark_.Options.OverwriteMode = zip::omAlways;
    ark_.Options.Recurse = false;
    ark_.FileMasks.clear();
    Archives.push_back(name);
}

void TRcvdArchiver::VerifyAndClose(std::vector<TFileState>& files) {
    const size_t current = Archives.size() - 1;
    for (auto& f : files)
        if (f.Archive == current && f.Taken) f.Verified = ark_.HoldsFile(f.Entry, f.Path);
    ark_.CloseArchive();
}

std::string TRcvdArchiver::Run(const TArchiveRequest& r) {
    Archives.clear();
    OpenFailed = false;
    std::string report = kReportTitle;
    auto status = [&](const std::string& s) {
        if (Status) Status(s);
    };
    auto stopped = [&] { return StopRequested && StopRequested(); };

    const bool split = r.Threshold > 0 || r.MaxFiles > 0;
    const bool oneGo = r.OneGo && !split;
    int number = 1;
    std::string zipName = split ? NextFreeArchiveName(r.ZipName, number) : r.ZipName;
    const bool update = !split && FileThere(zipName);
    ark_.SetPassword(r.Password);
    ark_.EncryptionMethod = static_cast<zip::TAvCryptoAlgorithm>(std::clamp(r.Method, 0, 3));
    ark_.SetCompressionMode(r.Level);
    // Whatever happens, the archive is closed when the run ends.
    struct Closer {
        zip::TArkivolt& a;
        ~Closer() {
            try {
                a.CloseArchive();
            } catch (const std::exception& e) {
                helpers::errlog(std::string("Closing the archive: ") + e.what());
            }
        }
    } closer{ark_};
    try {
        Open(zipName, !update);
    } catch (const std::exception& e) {
        OpenFailed = true;
        return "Problem with Archive " + zipName + "\r\n" + e.what();
    }

    // What the archive already holds, by name, with its DOS date-time.
    std::map<std::string, uint32_t> index;
    if (update) {
        status("Scanning Archive " + zipName + " ..");
        ark_.Options.Recurse = true;
        ark_.FileMasks = {"*.*"};
        zip::TAvArchiveItem item;
        for (bool ok = ark_.FindFirst(item); ok; ok = ark_.FindNext(item))
            index[item.StoragePath + item.FileName] = static_cast<uint32_t>(item.LastModFileDate) << 16 | item.LastModFileTime;
        ark_.Options.Recurse = false;
        ark_.FileMasks.clear();
    }

    std::vector<TFileState> files;
    int inThis = 0;
    // One commit per batch: the whole list in one go, or a maximum's worth
    // of files per archive. Only a size threshold needs a commit per file,
    // to know the archive's size after each one.
    const bool batched = oneGo || (r.MaxFiles > 0 && r.Threshold <= 0);
    auto commitBatch = [&] {
        if (ark_.FileMasks.empty()) return;
        try {
            ark_.AddFiles();
        } catch (const std::exception& e) {
            for (auto& f : files)
                if (f.Archive == Archives.size() - 1 && f.Failure.empty()) f.Failure = e.what();
        }
        ark_.FileMasks.clear();
    };
    auto nextArchive = [&] {
        VerifyAndClose(files);
        ++number;
        zipName = NextFreeArchiveName(r.ZipName, number);
        inThis = 0;
        try {
            Open(zipName, true);
            return true;
        } catch (const std::exception& e) {
            report += "Problem with Archive " + zipName + "\r\n" + e.what() + "\r\n";
            return false;
        }
    };
    const std::string count = helpers::numsep(static_cast<int64_t>(r.Files.size()));
    const std::string folder = r.Folder.size() > 1 && r.Folder.back() == '/' ? r.Folder.substr(0, r.Folder.size() - 1) : r.Folder;
    for (size_t i = 0; i < r.Files.size(); ++i) {
        if (stopped()) break;
        TFileState f;
        f.Path = folder + "/" + rtl::Trim(r.Files[i]);
        f.Entry = f.Path.substr(1);
        f.Archive = Archives.size() - 1;
        status("Archiving File " + helpers::numsep(static_cast<int64_t>(i + 1)) + " of " + count + " : " + f.Path +
               " to " + zipName);
        if (stopped()) break;
        struct stat st {};
        if (::stat(f.Path.c_str(), &st) != 0) {
            f.Line = "Adding " + f.Path;
            f.Failure = "the file cannot be read";
            files.push_back(f);
            continue;
        }
        const auto hit = index.find(f.Entry);
        // Compared in the archive's two-second form: odd seconds are no news.
        if (hit != index.end() && hit->second >= zip::UnixToDos(st.st_mtime)) {
            f.Line = "Already archived " + f.Path + " (" + helpers::numsep(st.st_size) + ") in " + zipName;
            f.Taken = true;
            files.push_back(f);
            continue;
        }
        f.Line = (hit == index.end() ? "Adding " : "Updating ") + f.Path + " (" + helpers::numsep(st.st_size) +
                 ") to " + zipName;
        const bool last = i + 1 == r.Files.size();
        if (batched) {
            ark_.FileMasks.push_back(f.Entry);
            f.Taken = true;
            files.push_back(f);
            if (split && ++inThis >= r.MaxFiles && !last) {
                commitBatch();
                if (!nextArchive()) break;
            }
            continue;
        }
        f.Line += " (" + helpers::numsep(ark_.ArchiveSize()) + ")";
        ark_.FileMasks = {f.Entry};
        try {
            ark_.AddFiles();
            f.Taken = true;
        } catch (const std::exception& e) {
            f.Failure = e.what();
        }
        files.push_back(f);
        if (!f.Taken) continue;
        ++inThis;
        const bool full = (r.Threshold > 0 && ark_.ArchiveSize() + st.st_size >= r.Threshold) ||
                          (r.MaxFiles > 0 && inThis >= r.MaxFiles);
        if (split && full && !last && !nextArchive()) break;
    }
    commitBatch();
    if (ark_.Active()) VerifyAndClose(files);

    for (const auto& f : files) {
        report += f.Line;
        if (f.Verified) report += " - Success\r\n";
        else if (!f.Failure.empty()) report += " - Failed : " + f.Failure + "\r\n";
        else report += " - Failed : the archive does not hold it as it is on disk\r\n";
    }
    // Only what the committed archive holds goes; everything else stays.
    for (const auto& f : files)
        if (f.Verified && !helpers::deleteretry(f.Path)) report += "Could not delete " + f.Path + "\r\n";
    return report;
}

// ------------------------------------------------------------- the window

void TForm1::xplorContextPopup(rtl::TObject*, ui::TPoint, bool& Handled) {
    Handled = true;
    if (ArchivingFlag) {
        ArchiveStopFlag = true;
        return;
    }
    const std::string folder = RcvdFolder();
    const double cutoff = rtl::Now() - 31;
    // The cutoff as a day number, whatever the locale's decimal point.
    char spec[64] = "-";
    const auto done = std::to_chars(spec + 1, spec + sizeof spec - 1, cutoff, std::chars_format::fixed, 6);
    const std::string listing = helpers::dirlist(folder, "*.*", std::string(spec, done.ptr), "", "");
    std::vector<std::string> names;
    for (size_t at = 0; at < listing.size();) {
        const size_t end = std::min(listing.find("\r\n", at), listing.size());
        if (end > at) names.push_back(listing.substr(at, end - at));
        at = end + 2;
    }
    kwutzp->Caption = "Pelliwox - Options for Archiving Received Emails Older than 30 Days";
    if (names.empty()) return;
    if (kwutzp->zpfnm->Text().empty()) {
        char day[16];
        const time_t now = ::time(nullptr);
        struct tm tm {};
        localtime_r(&now, &tm);
        std::strftime(day, sizeof day, "%Y%m%d", &tm);
        kwutzp->zpfnm->Text =
            ProgramFolder + "pelliwox_rcvd_" + RcvdFolderPath(Edit1->Text(), ProgramFolder, true) + "_" + day + ".zip";
        kwutzp->OpenDialog3->InitialDir = ProgramFolder;
    }
    int64_t total = 0;
    const std::string base = folder.size() > 1 && folder.back() == '/' ? folder : folder + "/";
    for (const auto& n : names) total += std::max<int64_t>(0, helpers::filesize64(base + rtl::Trim(n)));
    kwutzp->zpspn->Text = total > 2000000000LL ? "2000000000" : "0";
    kwutzp->zpmax->Text = names.size() > 25000 ? "25000" : "0";
    kwutzp->zpspnChange(kwutzp->zpspn);
    if (kwutzp->ShowModal() != ui::mrOk) return;
    TArchiveRequest request;
    request.Folder = folder;
    request.Files = std::move(names);
    request.ZipName = rtl::Trim(kwutzp->zpfnm->Text());
    request.Password = kwutzp->zppswd->Text();
    request.Method = kwutzp->Method();
    request.MaxFiles = static_cast<int>(rtl::StrToInt64Def(rtl::Trim(kwutzp->zpmax->Text()), 0));
    request.Threshold = rtl::StrToInt64Def(rtl::Trim(kwutzp->zpspn->Text()), 0);
    request.Level = kwutzp->Level();
    request.OneGo = kwutzp->chnkit->Checked();
    ArchiveRcvd(request);
}

void TForm1::ArchiveRcvd(const TArchiveRequest& request) {
    // The flags and the status come back however the run ends.
    struct Restore {
        TForm1& f;
        std::string status;
        ~Restore() {
            f.ArchivingFlag = false;
            f.ArchiveStopFlag = false;
            f.StatusText(status);
        }
    } restore{*this, StatusBar1->Panels[0]->Text};
    ArchivingFlag = true;
    ArchiveStopFlag = false;
    TRcvdArchiver run(*Arkivolt1);
    run.Status = [this](const std::string& s) {
        StatusText(s);
        ui::Application->ProcessMessages();
    };
    run.StopRequested = [this] { return ArchiveStopFlag; };
    const std::string report = run.Run(request);
    if (run.OpenFailed) helpers::errreport(report);
    else if (kwdsply) kwdsply->ShowReport(report);
}

}  // namespace mailbox
