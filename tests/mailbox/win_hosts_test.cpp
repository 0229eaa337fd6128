// The hosts file (its enciphered form and field rules) and the hosts
// configuration window's grid: load, save, revert, add, delete, transcribe.
#include <gtest/gtest.h>

#include <QDir>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "mailbox/hstinf.h"
#include "mailbox/kwdlgsrc.h"
#include "tests/mailbox/win_fixture.h"

using namespace mailbox;

namespace {

std::string readfile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writefile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

TEST(HostsFile, FieldsRoundTripThroughTheEncipheredFile) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/kwpop3hosts.txt";
    const std::vector<THostFields> rows = {
        {"pop.example.org/+995 (Work, main)", "alice", "pa\"ss", "smtp.example.org/-465", "alice@example.org"},
        {"mail.example.net", "bob", "", "", ""},
        {"", "nohost", "x", "", ""},
        {"onlyhost", "", "x", "", ""},
    };
    const std::string text = HostsText(rows);
    EXPECT_EQ(text,
              "\"pop.example.org/+995 (Work, main)\",alice,pa'ss,smtp.example.org/-465,alice@example.org\r\n"
              "mail.example.net,bob,,,\r\n");
    ASSERT_TRUE(WriteHostsFile(path, text));
    const std::string stored = readfile(path);
    ASSERT_EQ(stored.size(), 1 + 3 * text.size());
    EXPECT_EQ(stored[0], '@');
    EXPECT_EQ(stored.find_first_not_of("0123456789", 1), std::string::npos);
    EXPECT_EQ(stored.find("alice"), std::string::npos);

    EXPECT_EQ(ReadHostsFile(path), text);
    const std::vector<THostFields> back = ParseHostsText(ReadHostsFile(path));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0][0], "pop.example.org/+995 (Work, main)");
    EXPECT_EQ(back[0][2], "pa'ss");
    EXPECT_EQ(back[0][4], "alice@example.org");
    EXPECT_EQ(back[1], rows[1]);
    EXPECT_EQ(HostsKeyTable().size(), 85u);
}

// The modes of the files made in a folder, each read the moment it appears.
class TCreationWatch {
public:
    explicit TCreationWatch(const std::string& dir)
        : dirfd_(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)), fd_(::inotify_init1(IN_CLOEXEC)) {
        if (::pipe(stop_) != 0 || dirfd_ < 0 || fd_ < 0 || ::inotify_add_watch(fd_, dir.c_str(), IN_CREATE) < 0)
            throw std::runtime_error("cannot watch " + dir);
        thread_ = std::thread([this] { run(); });
    }
    ~TCreationWatch() {
        if (thread_.joinable()) Stop();
        for (int f : {dirfd_, fd_, stop_[0], stop_[1]}) ::close(f);
    }
    // Every file seen with the permission bits it had then.
    std::vector<std::pair<std::string, mode_t>> Stop() {
        [[maybe_unused]] const ssize_t w = ::write(stop_[1], "x", 1);
        thread_.join();
        return seen_;
    }

private:
    void run() {
        for (bool stopping = false; !stopping;) {
            pollfd p[2] = {{fd_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
            if (::poll(p, 2, -1) < 0) return;
            stopping = p[1].revents != 0;
            if (!(p[0].revents & POLLIN)) continue;
            alignas(inotify_event) char buf[4096];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
                struct stat st {};
                if (e->len && ::fstatat(dirfd_, e->name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                    seen_.emplace_back(e->name, st.st_mode & 07777);
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
    }
    int dirfd_, fd_, stop_[2] = {-1, -1};
    std::thread thread_;
    std::vector<std::pair<std::string, mode_t>> seen_;
};

// The file holds passwords under a key every copy of the program knows: it
// is its owner's alone from the moment it exists, whatever the umask lets
// through, and a mode its owner chose is not changed behind their back.
TEST(HostsFile, OnlyItsOwnerCanEverReadIt) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string path = folder + "/kwpop3hosts.txt";
    struct UmaskScope {
        mode_t old = ::umask(022);
        ~UmaskScope() { ::umask(old); }
    } umaskScope;
    // Long enough that the file is seen while it is still being written.
    std::string text;
    while (text.size() < (4u << 20)) text += "pop.example.org/+995 (Work),alice,secret,smtp.example.org,a@example.org\r\n";
    std::vector<std::pair<std::string, mode_t>> seen;
    {
        TCreationWatch watch(folder);
        ASSERT_TRUE(WriteHostsFile(path, text));
        seen = watch.Stop();
    }
    ASSERT_FALSE(seen.empty()) << "the file was never seen being made";
    for (const auto& [name, mode] : seen) EXPECT_EQ(mode & 077, 0u) << name << " had mode " << std::oct << mode;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    ASSERT_EQ(::chmod(path.c_str(), 0400), 0);
    ASSERT_TRUE(WriteHostsFile(path, "mail.example.net,bob,,,\r\n"));
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0400u) << "the owner's own choice stays";
    EXPECT_EQ(ReadHostsFile(path), "mail.example.net,bob,,,\r\n");
}

TEST(HostsFile, PlainLinesAreReadWhateverTheirEnds) {
    const std::vector<THostFields> rows = ParseHostsText(" h1 , u1,p1,s1,e1\nh2,u2\r\n\r\n,u3,p3\rh4,\"u,4\",p4,s4,e4,extra\n");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (THostFields{"h1", "u1", "p1", "s1", "e1"}));
    EXPECT_EQ(rows[1], (THostFields{"h2", "u2", "", "", ""}));
    EXPECT_EQ(rows[2], (THostFields{"h4", "u,4", "p4", "s4", "e4"}));
    EXPECT_EQ(ReadHostsFile("/nonexistent/kwpop3hosts.txt"), "");
}

class HostsWindowTest : public WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        grabstr = std::make_unique<Tkwgrabstr>(nullptr);
        hosts = std::make_unique<Thostinfo>(nullptr);
        hosts->OnHostsSaved = [this](rtl::TObject*) { ++saves; };
    }
    ui::TStringGrid* grid() const { return hosts->StringGrid1; }
    THostFields row(int r) const {
        THostFields f;
        for (int c = 0; c < 5; ++c) f[c] = grid()->Cells[c][r];
        return f;
    }
    bool changed() const { return hosts->svfltrsbtn->Enabled && hosts->rvrtsvdbtn->Enabled; }
    bool clean() const { return !hosts->svfltrsbtn->Enabled && !hosts->rvrtsvdbtn->Enabled; }
    void load(const std::vector<THostFields>& rows) {
        ASSERT_TRUE(WriteHostsFile(hosts->HostsPath, HostsText(rows)));
        hosts->LoadGrid();
    }
    // The user opens a cell's editor on Was and leaves it with Now.
    void edit(int col, int r, std::string was, const std::string& now) {
        hosts->StringGrid1GetEditText(grid(), col, r, was);
        grid()->Cells[col][r] = now;
        hosts->StringGrid1SetEditText(grid(), col, r, now);
    }

    std::unique_ptr<Tkwgrabstr> grabstr;
    std::unique_ptr<Thostinfo> hosts;
    int saves = 0;
};

const THostFields kAlice = {"pop.example.org/+995 (Work)", "alice", "secret", "smtp.example.org", "a@example.org"};
const THostFields kBob = {"mail.example.net", "bob", "pw", "", "b@example.net"};

TEST_F(HostsWindowTest, APlainFileIsLoadedAndSavedEnciphered) {
    EXPECT_EQ(hosts->HostsPath, file("kwpop3hosts.txt")) << "the program folder's file by default";
    writefile(hosts->HostsPath, "h1,u1,p1,s1,e1\nh2 , u2 ,p2\r\n,u3\r\nh4,,p4\r\n");
    hosts->LoadGrid();
    EXPECT_EQ(grid()->RowCount, 3);
    EXPECT_EQ(row(1), (THostFields{"h1", "u1", "p1", "s1", "e1"}));
    EXPECT_EQ(row(2), (THostFields{"h2", "u2", "p2", "", ""}));
    EXPECT_TRUE(clean());

    hosts->svfltrsbtnClick(hosts->svfltrsbtn);
    EXPECT_EQ(readfile(hosts->HostsPath)[0], '@');
    EXPECT_EQ(hosts->ReadHostsText(), "h1,u1,p1,s1,e1\r\nh2,u2,p2,,\r\n");
    EXPECT_EQ(saves, 1);
    EXPECT_TRUE(clean());
}

TEST_F(HostsWindowTest, CellsWithCommasAndQuotesComeBackAsSaved) {
    hosts->LoadGrid();
    edit(0, 1, "", "pop.example.org/+995 (Home, old)");
    edit(1, 1, "", "al\"ice");
    EXPECT_TRUE(changed());
    hosts->addfltrbtnClick(hosts->addfltrbtn);
    grid()->Cells[0][2] = "no user name";  // dropped when saving
    hosts->svfltrsbtnClick(hosts->svfltrsbtn);
    hosts->LoadGrid();
    EXPECT_EQ(grid()->RowCount, 2);
    EXPECT_EQ(row(1), (THostFields{"pop.example.org/+995 (Home, old)", "al'ice", "", "", ""}));
}

TEST_F(HostsWindowTest, AMissingFileLeavesOneEmptyRow) {
    hosts->LoadGrid();
    EXPECT_EQ(grid()->RowCount, 2);
    EXPECT_EQ(row(1), THostFields{});
    EXPECT_TRUE(clean());
}

TEST_F(HostsWindowTest, OnlyADifferentTextMarksTheGridChanged) {
    load({kAlice});
    edit(1, 1, "alice", "alice");
    EXPECT_TRUE(clean());
    edit(1, 1, "alice", "alicia");
    EXPECT_TRUE(changed());

    // The real editor opened and closed without typing changes nothing.
    hosts->LoadGrid();
    show(hosts.get());
    grid()->Row = 1;
    grid()->Col = 1;
    grid()->EditorMode = true;
    ASSERT_TRUE(grid()->EditorMode());
    grid()->EditorMode = false;
    EXPECT_TRUE(clean());
    hosts->Hide();
}

TEST_F(HostsWindowTest, RevertAsksAndReloads) {
    load({kAlice});
    edit(2, 1, "secret", "changed");
    answers->QueueResult(ui::mrNo);
    hosts->rvrtsvdbtnClick(hosts->rvrtsvdbtn);
    EXPECT_EQ(grid()->Cells[2][1](), "changed");
    EXPECT_TRUE(changed());
    answers->QueueResult(ui::mrYes);
    hosts->rvrtsvdbtnClick(hosts->rvrtsvdbtn);
    EXPECT_EQ(row(1), kAlice);
    EXPECT_TRUE(clean());
    ASSERT_EQ(answers->prompts.size(), 2u);
    EXPECT_EQ(question(0), "You will lose changes - Are you sure ?");
}

TEST_F(HostsWindowTest, DeleteMovesRowsUpAndCountsOnlyNonEmptyRows) {
    load({kAlice, kBob});
    hosts->addfltrbtnClick(hosts->addfltrbtn);
    EXPECT_EQ(grid()->RowCount, 4);
    EXPECT_EQ(grid()->Row, 3);
    EXPECT_TRUE(clean()) << "adding alone is no change";
    hosts->delfltrbtnClick(hosts->delfltrbtn);
    EXPECT_EQ(grid()->RowCount, 3);
    EXPECT_TRUE(clean()) << "deleting an empty row is no change";

    grid()->Row = 1;
    hosts->delfltrbtnClick(hosts->delfltrbtn);
    EXPECT_EQ(grid()->RowCount, 2);
    EXPECT_EQ(row(1), kBob);
    EXPECT_TRUE(changed());

    // Deleting the only data row leaves one empty row.
    hosts->delfltrbtnClick(hosts->delfltrbtn);
    EXPECT_EQ(grid()->RowCount, 2);
    EXPECT_EQ(row(1), THostFields{});
}

TEST_F(HostsWindowTest, TranscribeCopiesTheRowWithTheTextReplacedInEveryCase) {
    load({{"Pop.Example.org", "user@EXAMPLE.org", "pw", "smtp.example.org", "x@Example.Org"}});
    std::vector<std::string> proposals;
    auto type = [&](const std::string& text, bool ok = true) {
        answers->QueueModal([&proposals, text, ok](ui::TForm& f) {
            auto& d = static_cast<Tkwgrabstr&>(f);
            proposals.push_back(d.Caption() + "|" + d.Label1->Caption() + "|" + d.Edit1->Text());
            d.Edit1->Text = text;
            return ok ? ui::mrOk : ui::mrCancel;
        });
    };
    type("example");
    type("sample");
    hosts->clonebtnClick(hosts->clonebtn);
    ASSERT_EQ(grid()->RowCount, 3);
    EXPECT_EQ(row(1), (THostFields{"Pop.Example.org", "user@EXAMPLE.org", "pw", "smtp.example.org", "x@Example.Org"}));
    EXPECT_EQ(row(2), (THostFields{"Pop.sample.org", "user@sample.org", "pw", "smtp.sample.org", "x@sample.Org"}));
    EXPECT_EQ(grid()->Row, 2);
    EXPECT_EQ(grid()->Col, 0);
    EXPECT_TRUE(changed());
    EXPECT_EQ(proposals, (std::vector<std::string>{"Clone Record Substitution|Search String (Case Insensitive)|",
                                                   "Clone Record Substitution|Replace example With|"}));

    // The last texts are proposed again; Cancel at the second question copies nothing.
    type("sample");
    type("", false);
    hosts->clonebtnClick(hosts->clonebtn);
    EXPECT_EQ(grid()->RowCount, 3);
    EXPECT_EQ(proposals[2], "Clone Record Substitution|Search String (Case Insensitive)|example");
    EXPECT_EQ(proposals[3], "Clone Record Substitution|Replace sample With|sample");
}

TEST_F(HostsWindowTest, AFailedSaveKeepsTheChangesUnsaved) {
    load({kAlice});
    hosts->HostsPath = file("missing/kwpop3hosts.txt");
    edit(1, 1, "alice", "alicia");
    answers->QueueResult(ui::mrOk);  // the report of the failure
    hosts->svfltrsbtnClick(hosts->svfltrsbtn);
    EXPECT_TRUE(changed());
    EXPECT_EQ(saves, 0);
    ASSERT_EQ(answers->prompts.size(), 1u);
    EXPECT_NE(answers->prompts[0].text.find("Could not"), std::string::npos);

    // Closing asks to save; when that fails the window stays open.
    answers->QueueResult(ui::mrYes);
    answers->QueueResult(ui::mrOk);
    bool canClose = true;
    hosts->FormCloseQuery(hosts.get(), canClose);
    EXPECT_FALSE(canClose);
    EXPECT_EQ(question(1), "Save Changes ?");
}

TEST_F(HostsWindowTest, ClosingAsksToSaveChanges) {
    load({kAlice});
    bool canClose = false;
    hosts->FormCloseQuery(hosts.get(), canClose);
    EXPECT_TRUE(canClose) << "nothing to save, nothing asked";
    EXPECT_TRUE(answers->prompts.empty());

    edit(1, 1, "alice", "alicia");
    answers->QueueResult(ui::mrNo);
    hosts->FormCloseQuery(hosts.get(), canClose);
    EXPECT_TRUE(canClose);
    EXPECT_EQ(ParseHostsText(hosts->ReadHostsText())[0][1], "alice");

    answers->QueueResult(ui::mrYes);
    hosts->FormCloseQuery(hosts.get(), canClose);
    EXPECT_TRUE(canClose);
    EXPECT_EQ(ParseHostsText(hosts->ReadHostsText())[0][1], "alicia");
    EXPECT_EQ(saves, 1);
}

TEST_F(HostsWindowTest, ShowingReloadsOnlyWithoutChangesAndKeepsTheCell) {
    load({kAlice, kBob});
    grid()->Row = 2;
    grid()->Col = 3;
    writefile(hosts->HostsPath, HostsText({kAlice}));
    hosts->FormShow(hosts.get());
    EXPECT_EQ(grid()->RowCount, 2);
    EXPECT_EQ(grid()->Row, 1) << "clamped to the last row";
    EXPECT_EQ(grid()->Col, 3);
    EXPECT_EQ(grid()->Cells[0][0](), " POP3 Host (Optional Description)");

    edit(1, 1, "alice", "alicia");
    writefile(hosts->HostsPath, HostsText({kAlice, kBob}));
    hosts->FormShow(hosts.get());
    EXPECT_EQ(grid()->RowCount, 2) << "unsaved changes are kept";
    EXPECT_EQ(grid()->Cells[1][1](), "alicia");
}

TEST_F(HostsWindowTest, ResizingSharesTheWidthAndKeepsColumnsReadable) {
    for (int c = 0; c < 5; ++c) grid()->ColWidths[c] = 100;
    hosts->Width = 1040;
    hosts->FormResize(hosts.get());
    for (int c = 0; c < 5; ++c) EXPECT_EQ(grid()->ColWidths[c], 100 * 1020 / 540) << c;
    hosts->Width = 300;
    hosts->FormResize(hosts.get());
    for (int c = 0; c < 5; ++c) EXPECT_EQ(grid()->ColWidths[c], 80) << c;
}

}  // namespace
