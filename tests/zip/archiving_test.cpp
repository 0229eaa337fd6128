// Archiving of received pages: the run over an aged folder, and the
// mailbox window's right click that asks for the options and drives it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "mailbox/kwdsply.h"
#include "mailbox/kwem1.h"
#include "mailbox/kwem1_zip.h"
#include "mailbox/kwutzp.h"
#include "platform/ui/dialogs.h"
#include "tests/support/program_windows.h"
#include "tests/zip/zip_support.h"
#include "zip/arkivolt.h"

using namespace mailbox;
using namespace ziptest;

namespace {

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The entry names Python reads from an archive, in order.
std::vector<std::string> EntriesOf(const std::string& zipFile) {
    std::vector<std::string> names;
    std::istringstream in(PythonListing(zipFile));
    for (std::string line; std::getline(in, line);) names.push_back(line.substr(0, line.find('|')));
    return names;
}

struct Archiving : ::testing::Test {
    TScratch dir;
    zip::TArkivolt ark;
    ui::TScriptedDialogs dialogs;
    std::string box;

    void SetUp() override {
        box = dir / "rcvd/box";
        ark.Name = "Arkivolt1";
        ark.SetCompressionLevel(zip::clMax);
    }
    void TearDown() override { EXPECT_EQ(dialogs.unexpected, 0); }

    // Pages aged by DAYS (odd seconds included); returns their names.
    std::vector<std::string> Pages(const std::string& prefix, int count, int days) {
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i) {
            const std::string n = prefix + std::to_string(i) + ".htm";
            WriteFile(box + "/" + n, "<html>" + std::string(1000 + i, 'p') + n + "</html>");
            AgeFile(box + "/" + n, days);
            names.push_back(n);
        }
        return names;
    }
    TArchiveRequest Request(const std::vector<std::string>& files, const std::string& zipName) {
        TArchiveRequest r;
        r.Folder = box;
        r.Files = files;
        r.ZipName = dir / zipName;
        return r;
    }
    std::vector<std::string> Entries(const std::vector<std::string>& names) const {
        std::vector<std::string> e;
        for (const auto& n : names) e.push_back((box + "/" + n).substr(1));
        return e;
    }
};

}  // namespace

TEST_F(Archiving, ArchivesAndDeletesExactlyTheListedOldFiles) {
    const auto fresh = Pages("new", 2, 1);
    for (bool oneGo : {false, true}) {
        SCOPED_TRACE(oneGo);
        const auto old = Pages("old", 4, 40);
        TRcvdArchiver run(ark);
        TArchiveRequest r = Request(old, oneGo ? "batch.zip" : "each.zip");
        r.OneGo = oneGo;
        const std::string report = run.Run(r);
        ExpectPeersAccept(r.ZipName);
        EXPECT_EQ(EntriesOf(r.ZipName), Entries(old));
        EXPECT_EQ(FilesIn(box), fresh);
        for (const auto& n : old) EXPECT_NE(report.find("Adding " + box + "/" + n), std::string::npos) << report;
        EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 5);
        EXPECT_EQ(report.find("Failed"), std::string::npos) << report;
    }
}

TEST_F(Archiving, SameDayRerunSkipsWhatIsThereAndNeverTruncates) {
    const auto old = Pages("old", 3, 40);
    TRcvdArchiver run(ark);
    run.Run(Request(old, "day.zip"));
    const std::string first = ReadFile(dir / "day.zip");
    // The same files come back (a restore), one of them changed and newer.
    Pages("old", 3, 40);
    WriteFile(box + "/old1.htm", "changed");
    AgeFile(box + "/old1.htm", 35);
    const std::string report = run.Run(Request(old, "day.zip"));
    EXPECT_NE(report.find("Already archived " + box + "/old0.htm"), std::string::npos) << report;
    EXPECT_NE(report.find("Updating " + box + "/old1.htm"), std::string::npos) << report;
    EXPECT_EQ(report.find("Failed"), std::string::npos) << report;
    EXPECT_EQ(FilesIn(box), std::vector<std::string>{});
    ExpectPeersAccept(dir / "day.zip");
    EXPECT_NE(PythonListing(dir / "day.zip", true).find("old1.htm|changed"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "day.zip").substr(0, 100), first.substr(0, 100));
}

TEST_F(Archiving, MaximumFilesSplitsIntoNumberedArchivesAndRerunsTakeTheNextFree) {
    auto old = Pages("old", 5, 40);
    TRcvdArchiver run(ark);
    TArchiveRequest r = Request(old, "split.zip");
    r.MaxFiles = 2;
    run.Run(r);
    EXPECT_EQ(run.Archives, (std::vector<std::string>{dir / "split_1.zip", dir / "split_2.zip", dir / "split_3.zip"}));
    EXPECT_EQ(EntriesOf(dir / "split_1.zip"), Entries({old[0], old[1]}));
    EXPECT_EQ(EntriesOf(dir / "split_3.zip"), Entries({old[4]}));
    for (const auto& z : run.Archives) ExpectPeersAccept(z);
    EXPECT_EQ(FilesIn(box), std::vector<std::string>{});
    const std::string firstBytes = ReadFile(dir / "split_1.zip");
    old = Pages("more", 1, 40);
    run.Run(Request(old, "split.zip"));  // no maximum: split.zip itself, new
    r = Request(Pages("last", 1, 40), "split.zip");
    r.MaxFiles = 2;
    run.Run(r);
    EXPECT_EQ(run.Archives, std::vector<std::string>{dir / "split_4.zip"});
    EXPECT_EQ(ReadFile(dir / "split_1.zip"), firstBytes);
}

TEST_F(Archiving, AFailedEntryIsReportedAndItsFileStays) {
    auto old = Pages("old", 2, 40);
    const std::string big = box + "/huge.bin";
    WriteFile(big, "");
    ASSERT_EQ(::truncate(big.c_str(), 5LL << 30), 0);
    AgeFile(big, 40);
    old.insert(old.begin() + 1, "huge.bin");
    TRcvdArchiver run(ark);
    // The engine's failure box, answered Ignore: the entry is left out.
    dialogs.QueueResult(ui::mrIgnore);
    const std::string report = run.Run(Request(old, "f.zip"));
    EXPECT_NE(report.find("huge.bin (5,368,709,120) to " + dir / "f.zip" + " (") , std::string::npos) << report;
    EXPECT_NE(report.find(" - Failed : "), std::string::npos) << report;
    size_t successes = 0;
    for (size_t at = 0; (at = report.find(" - Success", at)) != std::string::npos; ++at) ++successes;
    EXPECT_EQ(successes, 2u) << report;
    EXPECT_EQ(FilesIn(box), std::vector<std::string>{"huge.bin"});
    EXPECT_EQ(EntriesOf(dir / "f.zip"), Entries({"old0.htm", "old1.htm"}));
}

TEST_F(Archiving, StopKeepsEveryFileNotYetArchived) {
    const auto old = Pages("old", 5, 40);
    TRcvdArchiver run(ark);
    int seen = 0;
    run.Status = [&](const std::string& s) { seen += s.rfind("Archiving File", 0) == 0; };
    run.StopRequested = [&] { return seen > 2; };
    run.Run(Request(old, "stop.zip"));
    EXPECT_EQ(EntriesOf(dir / "stop.zip"), Entries({old[0], old[1]}));
    EXPECT_EQ(FilesIn(box), (std::vector<std::string>{old[2], old[3], old[4]}));
}

// Every archive of a split run is encrypted with the chosen method, and its
// AE-2 entries (which store CRC 0) are still verified before a page goes.
TEST_F(Archiving, APasswordEncryptsEveryArchiveOfTheRunWithTheChosenMethod) {
    const auto old = Pages("old", 3, 40);
    TRcvdArchiver run(ark);
    TArchiveRequest r = Request(old, "pw.zip");
    r.Password = "secret";
    r.Method = 1;
    r.MaxFiles = 2;
    run.Run(r);
    ASSERT_EQ(run.Archives.size(), 2u);
    EXPECT_EQ(EntriesOf(run.Archives[0]), Entries({old[0], old[1]}));
    EXPECT_EQ(EntriesOf(run.Archives[1]), Entries({old[2]}));
    for (const auto& a : run.Archives) {
        const TRun listing = Shell("7zz l -slt -psecret " + Quote(a));
        EXPECT_NE(listing.output.find("Method = AES-128"), std::string::npos) << listing.output;
        EXPECT_EQ(Shell("7zz t -psecret " + Quote(a)).status, 0) << a;
        EXPECT_NE(Shell("7zz t -pwrong " + Quote(a)).status, 0) << a;
    }
    EXPECT_EQ(FilesIn(box), std::vector<std::string>{});
}

// AE-2 entries store CRC 0: a later session vouches for pages an earlier
// one archived by decrypting the entries and comparing, so they go as
// classic ones do; a changed page or a wrong password vouches for nothing.
TEST_F(Archiving, PagesArchivedWithAesInAnEarlierSessionAreVerifiedByTheirData) {
    const auto old = Pages("old", 3, 40);
    std::map<std::string, std::string> pages;
    for (const auto& n : old) pages[n] = ReadFile(box + "/" + n);
    TArchiveRequest r = Request(old, "aes.zip");
    r.Password = "secret";
    r.Method = 3;
    {
        zip::TArkivolt first;
        TRcvdArchiver run(first);
        run.Run(r);
    }
    ASSERT_EQ(FilesIn(box), std::vector<std::string>{});
    // The pages come back as they were (from a backup, say), one changed in
    // a byte; a new session archives the folder again.
    auto restore = [&] {
        for (const auto& [n, content] : pages) {
            std::string c = content;
            if (n == old[2]) c[10] = 'X';
            WriteFile(box + "/" + n, c);
            AgeFile(box + "/" + n, 40);
        }
    };
    restore();
    zip::TArkivolt wrong;
    TRcvdArchiver guess(wrong);
    TArchiveRequest w = r;
    w.Password = "guessed";
    const std::string refused = guess.Run(w);
    EXPECT_EQ(FilesIn(box), old) << refused;
    zip::TArkivolt second;
    TRcvdArchiver run(second);
    const std::string report = run.Run(r);
    auto line = [&](const std::string& n) {
        const size_t at = report.find("Already archived " + box + "/" + n + " (");
        return at == std::string::npos ? std::string() : report.substr(at, report.find("\r\n", at) - at);
    };
    EXPECT_NE(line(old[0]).find(" - Success"), std::string::npos) << report;
    EXPECT_NE(line(old[1]).find(" - Success"), std::string::npos) << report;
    EXPECT_NE(line(old[2]).find(" - Failed"), std::string::npos) << report;
    EXPECT_EQ(FilesIn(box), std::vector<std::string>{old[2]});
    EXPECT_EQ(Shell("7zz t -psecret " + Quote(r.ZipName)).status, 0);
}

TEST_F(Archiving, TheChosenLevelIsUsed) {
    const auto old = Pages("old", 1, 40);
    TRcvdArchiver run(ark);
    TArchiveRequest r = Request(old, "stored.zip");
    r.Level = 0;
    run.Run(r);
    EXPECT_EQ(Shell("unzip -v " + Quote(dir / "stored.zip") + " | grep -c Stored").output, "1\n");
}

TEST_F(Archiving, AnArchiveThatCannotBeOpenedDeletesNothing) {
    const auto old = Pages("old", 2, 40);
    WriteFile(dir / "junk.zip", "this is no zip file at all");
    TRcvdArchiver run(ark);
    const std::string report = run.Run(Request(old, "junk.zip"));
    EXPECT_TRUE(run.OpenFailed);
    EXPECT_EQ(report.rfind("Problem with Archive " + dir / "junk.zip" + "\r\n", 0), 0u) << report;
    EXPECT_EQ(FilesIn(box), old);
    EXPECT_EQ(ReadFile(dir / "junk.zip"), "this is no zip file at all");
}

TEST(ArchivingWindow, PasswordChoosesAesAndSplittingDisablesOneGo) {
    Tkwutzp w(nullptr);
    ui::TScriptedDialogs dialogs;
    w.zppswd->Text = "x";
    w.zppswdChange(w.zppswd);
    EXPECT_EQ(w.zipencmthd->ItemIndex(), 3);
    EXPECT_EQ(w.Method(), 3);
    w.zppswd->Text = "";
    w.zppswdChange(w.zppswd);
    EXPECT_EQ(w.zipencmthd->ItemIndex(), -1);
    w.chnkit->Checked = true;
    w.zpmax->Text = "25000";
    w.zpspnChange(w.zpmax);
    EXPECT_FALSE(w.chnkit->Checked());
    EXPECT_FALSE(w.chnkit->Enabled());
    w.zpmax->Text = "0";
    w.zpspnChange(w.zpmax);
    EXPECT_TRUE(w.chnkit->Enabled());
    EXPECT_EQ(dialogs.unexpected, 0);
}

// Through the mailbox window: the right click lists the old pages, shows
// the options, archives and shows the report.
TEST(ArchivingWindow, RightClickArchivesTheOldPagesOfTheMailbox) {
    const std::string folder = testsupport::NewProgramFolder("zip");
    testsupport::StartProgramWindows(folder);
    ASSERT_NE(Form1, nullptr);
    Form1->Edit1->Text = "someone@example.org";
    const std::string box = Form1->RcvdFolder();
    for (const char* n : {"a.htm", "b.htm", "new.htm"}) WriteFile(box + "/" + n, std::string("page ") + n);
    AgeFile(box + "/a.htm", 40);
    AgeFile(box + "/b.htm", 32);
    ui::TScriptedDialogs dialogs;
    std::string zipName;
    dialogs.QueueModal([&](ui::TForm& f) {
        EXPECT_EQ(f.Caption(), "Pelliwox - Options for Archiving Received Emails Older than 30 Days");
        zipName = kwutzp->zpfnm->Text();
        kwutzp->despatchClick(nullptr);
        return ui::mrNone;
    });
    std::string report;
    dialogs.QueueModal([&](ui::TForm&) {
        report = kwdsply->Memo1->Text();
        return ui::mrOk;
    });
    bool handled = false;
    Form1->xplorContextPopup(Form1->xplor, {0, 0}, handled);
    EXPECT_TRUE(handled);
    EXPECT_FALSE(Form1->ArchivingFlag);
    EXPECT_EQ(zipName.rfind(folder + "pelliwox_rcvd_someone_example_org_", 0), 0u) << zipName;
    EXPECT_EQ(FilesIn(box), std::vector<std::string>{"new.htm"});
    EXPECT_EQ(EntriesOf(zipName), (std::vector<std::string>{(box + "/a.htm").substr(1), (box + "/b.htm").substr(1)}));
    EXPECT_NE(report.find("Archive Emails Older than 30 Days - Results"), std::string::npos) << report;
    // A password typed in the window encrypts with AES-256; the archive of
    // the same day is extended.
    AgeFile(box + "/new.htm", 40);
    dialogs.QueueModal([&](ui::TForm&) {
        kwutzp->zppswd->Text = "secret";
        kwutzp->zppswdChange(kwutzp->zppswd);
        kwutzp->despatchClick(nullptr);
        return ui::mrNone;
    });
    dialogs.QueueModal([&](ui::TForm&) { return ui::mrOk; });
    Form1->xplorContextPopup(Form1->xplor, {0, 0}, handled);
    EXPECT_TRUE(FilesIn(box).empty());
    const TRun listing = Shell("7zz l -slt -psecret " + Quote(zipName));
    EXPECT_NE(listing.output.find("Path = " + (box + "/new.htm").substr(1) + "\n"), std::string::npos) << listing.output;
    EXPECT_NE(listing.output.find("Method = AES-256"), std::string::npos) << listing.output;
    EXPECT_EQ(Shell("7zz t -psecret " + Quote(zipName)).status, 0);
    EXPECT_EQ(dialogs.unexpected, 0);
    kwutzp->zppswd->Text = "";
    std::filesystem::remove_all(folder);
}

TEST_F(Archiving, ASizeThresholdStartsTheNextArchiveAfterTheFileThatReachesIt) {
    const auto old = Pages("old", 3, 40);
    TRcvdArchiver run(ark);
    TArchiveRequest r = Request(old, "size.zip");
    r.Threshold = 1;
    const std::string report = run.Run(r);
    EXPECT_EQ(run.Archives, (std::vector<std::string>{dir / "size_1.zip", dir / "size_2.zip", dir / "size_3.zip"}));
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(EntriesOf(run.Archives[i]), Entries({old[i]}));
    EXPECT_EQ(report.find("Failed"), std::string::npos) << report;
    EXPECT_EQ(FilesIn(box), std::vector<std::string>{});
}

TEST_F(Archiving, NamesThatDifferOnlyInCaseDoNotOverwriteEachOther) {
    WriteFile(box + "/Page.htm", "upper");
    WriteFile(box + "/page.htm", "lower");
    AgeFile(box + "/Page.htm", 40);
    AgeFile(box + "/page.htm", 40);
    for (bool oneGo : {false, true}) {
        SCOPED_TRACE(oneGo);
        TRcvdArchiver run(ark);
        TArchiveRequest r = Request({"Page.htm", "page.htm"}, oneGo ? "case-batch.zip" : "case-each.zip");
        r.OneGo = oneGo;
        const std::string report = run.Run(r);
        EXPECT_EQ(PythonListing(r.ZipName, true), (box + "/Page.htm").substr(1) + "|upper\n");
        EXPECT_NE(report.find("page.htm (5) to " + r.ZipName), std::string::npos);
        EXPECT_NE(report.find(" - Failed : "), std::string::npos) << report;
        EXPECT_EQ(FilesIn(box), std::vector<std::string>{"page.htm"});
        WriteFile(box + "/Page.htm", "upper");
        AgeFile(box + "/Page.htm", 40);
    }
}

TEST_F(Archiving, AnExceptionInTheRunStillClosesTheArchive) {
    const auto old = Pages("old", 2, 40);
    TRcvdArchiver run(ark);
    run.Status = [](const std::string& s) {
        if (s.rfind("Archiving File 2", 0) == 0) throw std::runtime_error("window gone");
    };
    EXPECT_THROW(run.Run(Request(old, "ex.zip")), std::runtime_error);
    EXPECT_FALSE(ark.Active());
    EXPECT_EQ(FilesIn(box), old);  // nothing deleted: the run did not end
    EXPECT_EQ(EntriesOf(dir / "ex.zip"), Entries({old[0]}));
}

TEST(ArchiveNames, NumberGoesBeforeTheExtensionAndSkipsTakenNames) {
    TScratch dir;
    WriteFile(dir / "a.b/taken_1.zip", "x");
    struct Case {
        std::string given;
        int from;
        std::string expected;
        int number;
    } cases[] = {
        {dir / "a.b/box.zip", 1, dir / "a.b/box_1.zip", 1},
        {dir / "a.b/box.ZIP", 3, dir / "a.b/box_3.ZIP", 3},
        {dir / "a.b/box", 1, dir / "a.b/box_1", 1},
        {dir / "a.b/taken.zip", 1, dir / "a.b/taken_2.zip", 2},
    };
    for (const auto& c : cases) {
        int n = c.from;
        EXPECT_EQ(NextFreeArchiveName(c.given, n), c.expected);
        EXPECT_EQ(n, c.number);
    }
}
