// Changing archives that exist: deleting, moving, updating, renaming,
// attributes and comments, merging and repairing. Results must pass the
// peers, and destructive paths are checked by which entries and files
// remain and by their bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "platform/ui/prompter.h"
#include "tests/support/plants.h"
#include "tests/zip/zip_support.h"
#include "zip/arkivolt.h"
#include "zip/avrecords.h"

using namespace zip;
using namespace ziptest;

namespace {

constexpr time_t kWhen = 1262347384;  // 2010-01-01 12:03:04 UTC

// Entry name -> content, as Python's zipfile reads them.
std::map<std::string, std::string> Contents(const std::string& zip, const std::string& password = "") {
    const std::string script =
        "import sys,zipfile\n"
        "z=zipfile.ZipFile(sys.argv[1])\n"
        "pw=sys.argv[2].encode() if len(sys.argv)>2 else None\n"
        "for i in z.infolist():\n"
        "  d=z.read(i,pwd=pw)\n"
        "  sys.stdout.write('%s\\x00%d\\x00'%(i.filename,len(d)))\n"
        "  sys.stdout.flush(); sys.stdout.buffer.write(d); sys.stdout.buffer.flush()\n";
    const TRun r = Shell("/usr/bin/python3 -c " + Quote(script) + " " + Quote(zip) +
                         (password.empty() ? "" : " " + Quote(password)));
    EXPECT_EQ(r.status, 0) << r.output;
    std::map<std::string, std::string> out;
    for (size_t at = 0; at < r.output.size();) {
        const size_t a = r.output.find('\0', at), b = r.output.find('\0', a + 1);
        if (a == std::string::npos || b == std::string::npos) break;
        const size_t len = std::stoul(r.output.substr(a + 1, b - a - 1));
        out[r.output.substr(at, a - at)] = r.output.substr(b + 1, len);
        at = b + 1 + len;
    }
    return out;
}

// Python's view of one entry's metadata: "date_time|external attr|internal attr|comment".
std::string Meta(const std::string& zip, const std::string& name) {
    const std::string script =
        "import sys,zipfile\n"
        "i=zipfile.ZipFile(sys.argv[1]).getinfo(sys.argv[2])\n"
        "print('%s|%d|%d|%s'%(i.date_time,i.external_attr,i.internal_attr,i.comment.decode()),end='')\n";
    return Shell("/usr/bin/python3 -c " + Quote(script) + " " + Quote(zip) + " " + Quote(name)).output;
}

struct EditTest : ::testing::Test {
    TScratch dir;
    TArkivolt ark;
    ui::TScriptedPrompter prompter;
    std::string zip = dir / "a.zip";

    void SetUp() override { ark.Name = "Arkivolt1"; }
    void TearDown() override { EXPECT_EQ(prompter.unexpected, 0); }

    // A new archive of these entries (a name ending in "/" is a folder).
    void Make(const std::vector<std::pair<std::string, std::string>>& entries, const std::string& path = "") {
        ark.FileName = path.empty() ? zip : path;
        ark.OpenArchive(kModeCreate);
        ark.BeginUpdate();
        for (const auto& [name, data] : entries) {
            // A folder's name gets its "/" from its attribute.
            const bool folder = name.back() == '/';
            ark.AddFromString(folder ? name.substr(0, name.size() - 1) : name, data, folder ? faDirectory : faArchive,
                              kWhen);
        }
        ark.EndUpdate();
        ark.CloseArchive();
    }
    void Open() {
        ark.FileName = zip;
        ark.OpenArchive();
    }
    std::vector<std::string> Names() {
        std::vector<std::string> n;
        for (int32_t i = 0; i < ark.Directory().Count(); ++i) n.push_back(ark.Directory()[i].Name);
        return n;
    }
};

const std::vector<std::pair<std::string, std::string>> kThree = {
    {"a.txt", std::string(5000, 'a') + "first"}, {"b.txt", "second entry"}, {"c.txt", std::string(70000, 'c')}};

}  // namespace

// ---------------------------------------------------------------- delete

TEST_F(EditTest, DeleteKeepsExactlyTheOtherEntries) {
    struct Case {
        std::string mask;
        std::map<std::string, std::string> left;
    };
    const std::vector<Case> cases = {
        {"b.txt", {{"a.txt", kThree[0].second}, {"c.txt", kThree[2].second}}},
        {"c.txt", {{"a.txt", kThree[0].second}, {"b.txt", kThree[1].second}}},  // the last one
        {"a.txt", {{"b.txt", kThree[1].second}, {"c.txt", kThree[2].second}}},  // the first one
        {"*.txt", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mask);
        Make(kThree);
        const std::string before = ReadFile(zip);
        Open();
        ark.DeleteFiles(c.mask, 10431, "");
        ark.CloseArchive();
        EXPECT_EQ(Contents(zip), c.left);
        // unzip calls an archive without entries a failure: only its end record is checked then.
        if (c.left.empty()) EXPECT_EQ(ReadFile(zip).size(), 22u);
        else ExpectPeersAccept(zip);
        // What stood before the deleted entry is not touched.
        if (c.mask == "c.txt") {
            const std::string now = ReadFile(zip);
            const size_t dirAt = now.size() - 22 - 2 * (46 + 5);
            EXPECT_EQ(now.substr(0, dirAt), before.substr(0, dirAt));
        }
    }
}

TEST_F(EditTest, DeletingAMissingNameChangesNothingAndSaysSo) {
    Make(kThree);
    const std::string before = ReadFile(zip);
    Open();
    try {
        ark.DeleteFiles("nothere.txt", 10431, "");
        ADD_FAILURE() << "no error";
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 31);
        EXPECT_NE(e.Message.find("nothere.txt"), std::string::npos) << e.Message;
    }
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    ark.CloseArchive();
    EXPECT_EQ(ReadFile(zip), before);
}

TEST_F(EditTest, CancelledDeleteBatchRestoresTheArchive) {
    Make(kThree);
    const std::string before = ReadFile(zip);
    Open();
    ark.OnFileProgress = [](const std::string&, double, TAvProcessOperation, TAvProgressPhase ph, bool& cancel) {
        cancel = ph == ppProcess;
    };
    ark.BeginUpdate();
    ark.DeleteFiles("a.txt", 10431, "");
    ark.AddFromString("new.txt", "added in the same batch", faArchive, kWhen);
    EXPECT_THROW(ark.EndUpdate(), EAvBatchAborted);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    ark.CloseArchive();
    EXPECT_EQ(ReadFile(zip), before);
}

// ------------------------------------------------------------------ move

TEST_F(EditTest, MovedFilesGoOnlyOnceTheArchiveHoldsThem) {
    WriteFile(dir / "src/one.txt", "one");
    WriteFile(dir / "src/sub/two.txt", std::string(9000, '2'));
    Make({{"old.txt", "was here"}});
    Open();
    ark.BaseDir = dir.Path();
    ark.Options.Recurse = true;
    ark.FileMasks = {"src/*.*"};
    ark.MoveFiles();
    ark.CloseArchive();
    const auto c = Contents(zip);
    EXPECT_EQ(c.at("src/one.txt"), "one");
    EXPECT_EQ(c.at("src/sub/two.txt"), std::string(9000, '2'));
    EXPECT_EQ(c.at("old.txt"), "was here");
    ExpectPeersAccept(zip);
    EXPECT_FALSE(FileExists(dir / "src/one.txt"));
    EXPECT_FALSE(FileExists(dir / "src/sub/two.txt"));
    EXPECT_FALSE(FileExists(dir / "src/sub"));  // an emptied folder goes too
}

TEST_F(EditTest, CancelledMoveKeepsEverySource) {
    WriteFile(dir / "src/one.txt", "one");
    WriteFile(dir / "src/two.txt", "two");
    Make({{"old.txt", "was here"}});
    const std::string before = ReadFile(zip);
    Open();
    int started = 0;
    ark.OnFileProgress = [&](const std::string&, double, TAvProcessOperation, TAvProgressPhase ph, bool& cancel) {
        if (ph == ppStart) ++started;
        cancel = started == 2;
    };
    ark.BaseDir = dir.Path();
    ark.Options.Recurse = false;
    EXPECT_THROW(ark.MoveFiles("src/*.txt", faArchive, ""), EAvBatchAborted);
    ark.CloseArchive();
    EXPECT_EQ(ReadFile(dir / "src/one.txt"), "one");
    EXPECT_EQ(ReadFile(dir / "src/two.txt"), "two");
    EXPECT_EQ(ReadFile(zip), before);
}

TEST_F(EditTest, MovedFileChangedAfterItWasArchivedStays) {
    WriteFile(dir / "src/one.txt", "one");
    WriteFile(dir / "src/two.txt", "two");
    Make({});
    Open();
    // one.txt changes once its entry is written: its entry no longer holds it.
    ark.OnFileProgress = [&](const std::string& f, double, TAvProcessOperation, TAvProgressPhase ph, bool&) {
        if (ph == ppEnd && f == dir / "src/one.txt") WriteFile(f, "one, changed");
    };
    std::vector<std::pair<std::string, int>> failures;
    ark.OnProcessFileFailure = [&](const std::string& f, TAvProcessOperation, int native, int, const std::string&,
                                   TAvAction& a) {
        failures.emplace_back(f, native);
        a = fxaIgnore;
    };
    ark.BaseDir = dir.Path();
    ark.Options.Recurse = false;
    ark.MoveFiles("src/*.txt", faArchive, "");
    ark.CloseArchive();
    EXPECT_EQ(ReadFile(dir / "src/one.txt"), "one, changed");
    EXPECT_FALSE(FileExists(dir / "src/two.txt"));
    EXPECT_EQ(failures, (std::vector<std::pair<std::string, int>>{{dir / "src/one.txt", 27}}));
    EXPECT_EQ(Contents(zip), (std::map<std::string, std::string>{{"src/one.txt", "one"}, {"src/two.txt", "two"}}));
}

// ------------------------------------------------ rename, update, attributes

TEST_F(EditTest, RenameWritesTheNewNameInBothHeaders) {
    struct Case {
        std::string from, to;
        std::map<std::string, std::string> after;
    };
    const std::vector<Case> cases = {
        {"b.txt", "x/renamed.txt", {{"a.txt", "A"}, {"docs/", ""}, {"docs/a.txt", "in docs"}, {"x/renamed.txt", "B"}}},
        {"docs/", "papers/", {{"a.txt", "A"}, {"b.txt", "B"}, {"papers/", ""}, {"papers/a.txt", "in docs"}}},
        {"a.txt", "caf\xC3\xA9.txt", {{"caf\xC3\xA9.txt", "A"}, {"b.txt", "B"}, {"docs/", ""}, {"docs/a.txt", "in docs"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.from);
        Make({{"a.txt", "A"}, {"docs/", ""}, {"docs/a.txt", "in docs"}, {"b.txt", "B"}});
        Open();
        ark.Options.Recurse = false;
        ark.RenameFile(c.from, c.to);
        ark.CloseArchive();
        // Python refuses an entry whose local name differs from the directory's.
        EXPECT_EQ(Contents(zip), c.after);
        ExpectPeersAccept(zip);
        // A later rewrite copies the renamed entries by their new names.
        Open();
        ark.ChangeFilesComment(ark.Directory()[0].Name, "later");
        ark.CloseArchive();
        EXPECT_EQ(Contents(zip), c.after);
    }
}

TEST_F(EditTest, RenameRefusesMissingAndTakenNames) {
    Make({{"a.txt", "A"}, {"b.txt", "B"}});
    const std::string before = ReadFile(zip);
    Open();
    try {
        ark.RenameFile("none.txt", "x.txt");
        ADD_FAILURE();
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 30);
    }
    EXPECT_THROW(ark.RenameFile("a.txt", "B.TXT"), rtl::Exception);
    ark.CloseArchive();
    EXPECT_EQ(ReadFile(zip), before);
}

TEST_F(EditTest, UpdateTakesOnlyNewerFiles) {
    WriteFile(dir / "newer.txt", "old newer");
    WriteFile(dir / "same.txt", "old same");
    AgeFile(dir / "newer.txt", 3);
    AgeFile(dir / "same.txt", 3);
    ark.FileName = zip;
    ark.OpenArchive(kModeCreate);
    ark.BaseDir = dir.Path();
    ark.Options.Recurse = false;
    ark.FileMasks = {"newer.txt", "same.txt"};
    ark.AddFiles();
    ark.CloseArchive();
    WriteFile(dir / "newer.txt", "new content");
    AgeFile(dir / "newer.txt", 1);
    WriteFile(dir / "same.txt", "changed but not newer");
    AgeFile(dir / "same.txt", 3);
    Open();
    ark.BaseDir = dir.Path();
    ark.Options.OverwriteMode = omIfNewer;
    ark.UpdateFiles("*.txt", 10431, "");
    ark.CloseArchive();
    EXPECT_EQ(Contents(zip),
              (std::map<std::string, std::string>{{"newer.txt", "new content"}, {"same.txt", "old same"}}));
    ExpectPeersAccept(zip);
}

TEST_F(EditTest, AttributesAndCommentsReachTheDirectory) {
    Make({{"docs/", ""}, {"docs/a.txt", "A"}, {"b.txt", "B"}});
    Open();
    ark.Options.Recurse = false;
    ark.ChangeFilesAttr("docs/", faReadOnly);
    ark.ChangeFilesIntAttr("b.txt", 1);
    ark.ChangeFilesComment("b.txt", "a comment");
    for (auto [code, call] : std::vector<std::pair<int, std::function<void()>>>{
             {31, [&] { ark.ChangeFilesAttr("none", 1); }},
             {38, [&] { ark.ChangeFilesIntAttr("none", 1); }},
             {31, [&] { ark.ChangeFilesComment("none", "x"); }}}) {
        try {
            call();
            ADD_FAILURE() << code;
        } catch (const EAvException& e) {
            EXPECT_EQ(e.NativeError, code);
        }
    }
    ark.CloseArchive();
    EXPECT_EQ(Meta(zip, "docs/").substr(Meta(zip, "docs/").find('|')), "|17|0|");
    EXPECT_EQ(Meta(zip, "b.txt").substr(Meta(zip, "b.txt").find('|')), "|32|1|a comment");
    EXPECT_EQ(Contents(zip), (std::map<std::string, std::string>{{"docs/", ""}, {"docs/a.txt", "A"}, {"b.txt", "B"}}));
    ExpectPeersAccept(zip);
}

// ----------------------------------------------------------------- merge

TEST_F(EditTest, MergeTakesNewNamesAndFollowsTheOverwriteMode) {
    // The other archive is Info-ZIP's, with its own extra fields.
    WriteFile(dir / "o/shared.txt", "theirs");
    WriteFile(dir / "o/only-theirs.txt", std::string(20000, 't'));
    const TRun z = Shell("cd " + Quote(dir / "o") + " && zip -q ../other.zip shared.txt only-theirs.txt");
    ASSERT_EQ(z.status, 0) << z.output;
    for (auto [mode, shared] : std::vector<std::pair<TAvOverwriteMode, std::string>>{{omNever, "ours"},
                                                                                   {omAlways, "theirs"}}) {
        SCOPED_TRACE(shared);
        Make({{"shared.txt", "ours"}, {"only-ours.txt", "mine"}});
        Open();
        ark.Options.OverwriteMode = mode;
        ark.MergeWith(dir / "other.zip");
        ark.CloseArchive();
        EXPECT_EQ(Contents(zip), (std::map<std::string, std::string>{{"shared.txt", shared},
                                                                     {"only-ours.txt", "mine"},
                                                                     {"only-theirs.txt", std::string(20000, 't')}}));
        ExpectPeersAccept(zip);
    }
    // A cancel while the other archive's data are copied leaves this one as it was.
    Make({{"shared.txt", "ours"}});
    const std::string before = ReadFile(zip);
    Open();
    ark.OnFileProgress = [](const std::string& f, double, TAvProcessOperation op, TAvProgressPhase ph, bool& cancel) {
        cancel = op == poMerge && ph == ppProcess && f == "only-theirs.txt";
    };
    EXPECT_THROW(ark.MergeWith(dir / "other.zip"), EAvBatchAborted);
    ark.CloseArchive();
    ark.OnFileProgress = nullptr;
    EXPECT_EQ(ReadFile(zip), before);

    Open();
    ark.BeginUpdate();
    try {
        ark.MergeWith(dir / "other.zip");
        ADD_FAILURE();
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 26);
    }
    ark.CancelUpdate();
    ark.CloseArchive();
}

// ---------------------------------------------------------------- repair

namespace {

// An archive whose directory is cut off and whose second entry has a byte
// flipped inside its data.
void Damage(const std::string& zip) {
    std::string bytes = ReadFile(zip);
    const size_t first = bytes.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(first, std::string::npos);
    bytes.resize(first + 30);  // part of the directory stays, without its end
    const size_t second = bytes.find(std::string("PK\x03\x04", 4), 4);
    bytes[second + 30 + 5 + 14] ^= 0x55;
    WriteFile(zip, bytes);
}

}  // namespace

TEST_F(EditTest, RepairKeepsEveryIntactEntryAsItWasStored) {
    const std::string big(60000, 'b');
    std::string noisy;
    for (int i = 0; i < 3000; ++i) noisy += std::to_string(i * 7919 % 1000);
    Make({{"a.txt", "first entry"}, {"b.txt", noisy}, {"d/", ""}, {"d/c.txt", big}});
    const std::string metaA = Meta(zip, "a.txt");
    Damage(zip);
    const std::string damaged = ReadFile(zip);
    std::vector<std::string> reported;
    ark.OnProcessFileFailure = [&](const std::string& f, TAvProcessOperation, int, int, const std::string&,
                                   TAvAction& a) {
        reported.push_back(f);
        a = fxaIgnore;
    };
    ark.FileName = zip;
    const std::string out = dir / "repaired.zip";
    EXPECT_EQ(ark.RepairArchive(out), std::vector<std::string>{"b.txt"});
    EXPECT_EQ(reported, std::vector<std::string>{"b.txt"});
    EXPECT_EQ(ReadFile(zip), damaged);  // the original is left alone
    EXPECT_EQ(Contents(out),
              (std::map<std::string, std::string>{{"a.txt", "first entry"}, {"d/", ""}, {"d/c.txt", big}}));
    EXPECT_EQ(Meta(out, "a.txt").substr(0, Meta(out, "a.txt").find('|')), metaA.substr(0, metaA.find('|')));
    ExpectPeersAccept(out);
    const TRun p = Shell("unzip -p " + Quote(out) + " d/c.txt");
    EXPECT_EQ(p.output, big);
}

TEST_F(EditTest, RepairInPlaceKeepsTheDamagedFileAndTheEncryption) {
    // In place, asked for with no name or with the archive's own.
    for (const std::string dest : {std::string(), zip}) {
        SCOPED_TRACE(dest);
        ::unlink((zip + ".bak").c_str());
        ark.SetPassword("secret");
        Make({{"a.txt", std::string(3000, 'x') + "one"}, {"b.txt", std::string(3000, 'y') + "two"},
              {"c.txt", "three"}});
        Damage(zip);
        const std::string damaged = ReadFile(zip);
        // The repair copies entries as stored: a different password now must
        // not re-encrypt anything.
        ark.SetPassword("other");
        ark.EncryptionMethod = caPkzipClassic;
        ark.OnProcessFileFailure = [](const std::string&, TAvProcessOperation, int, int, const std::string&,
                                      TAvAction& a) { a = fxaIgnore; };
        ark.FileName = zip;
        ark.RepairArchive(dest);
        EXPECT_EQ(ReadFile(zip + ".bak"), damaged);
        // Encrypted entries cannot be checked without their password: all three
        // are kept, b.txt with its flipped byte, which the peers then catch.
        const TRun one = Shell("unzip -p -P secret " + Quote(zip) + " a.txt c.txt");
        EXPECT_EQ(one.output, std::string(3000, 'x') + "one" + "three");
        const TRun listed = Shell("unzip -Z1 " + Quote(zip));
        EXPECT_EQ(listed.output, "a.txt\nb.txt\nc.txt\n");
    }
}

TEST_F(EditTest, RepairNeedsAClosedArchive) {
    Make(kThree);
    Open();
    try {
        ark.RepairArchive(dir / "x.zip");
        ADD_FAILURE();
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 37);
    }
    ark.CloseArchive();
    EXPECT_FALSE(FileExists(dir / "x.zip"));
}

TEST_F(EditTest, RepairTakesStreamedEntriesWithTheirDataDescriptors) {
    // Writers on a pipe put sizes and CRC behind the data: Info-ZIP with
    // 4-byte sizes, Python's zipfile with a zip64 block and 8-byte sizes.
    const std::string python =
        "import sys,zipfile,io\n"
        "class W(io.RawIOBase):\n"
        "  def writable(s): return True\n"
        "  def write(s,b): return sys.stdout.buffer.write(b)\n"
        "with zipfile.ZipFile(W(),'w',zipfile.ZIP_DEFLATED) as z:\n"
        "  with z.open('a.txt','w',force_zip64=True) as e: e.write(open('a.txt','rb').read())\n"
        "  with z.open('b.txt','w') as e: e.write(b'bee')\n";
    WriteFile(dir / "s/a.txt", std::string(40000, 'a') + "end");
    WriteFile(dir / "s/b.txt", "bee");
    for (const std::string& writer : {std::string("zip -q - a.txt b.txt"), "/usr/bin/python3 -c " + Quote(python)}) {
        SCOPED_TRACE(writer);
        const TRun z = Shell("cd " + Quote(dir / "s") + " && " + writer + " | cat > ../streamed.zip");
        ASSERT_EQ(z.status, 0) << z.output;
        std::string bytes = ReadFile(dir / "streamed.zip");
        ASSERT_NE(bytes[6] & 8, 0);  // the first entry carries a data descriptor
        bytes.resize(bytes.find(std::string("PK\x01\x02", 4)) + 10);
        WriteFile(dir / "streamed.zip", bytes);
        ark.FileName = dir / "streamed.zip";
        EXPECT_TRUE(ark.RepairArchive(zip).empty());
        EXPECT_EQ(Contents(zip),
                  (std::map<std::string, std::string>{{"a.txt", std::string(40000, 'a') + "end"}, {"b.txt", "bee"}}));
        ExpectPeersAccept(zip);
    }
}

TEST_F(EditTest, RepairOfAFileWithoutEntriesLeavesNothingBehind) {
    WriteFile(dir / "junk.zip", std::string(5000, 'j'));
    ark.FileName = dir / "junk.zip";
    try {
        ark.RepairArchive(zip);
        ADD_FAILURE();
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 35);
    }
    const TRun left = Shell("ls " + Quote(dir.Path()));
    EXPECT_EQ(left.output, "junk.zip\n");
}

TEST_F(EditTest, ItemStepsNeedABatchAndAnIndex) {
    Make({{"a.txt", "A"}});
    WriteFile(dir / "a.txt", "new A");
    Open();
    const std::vector<std::pair<int, std::function<void()>>> cases = {
        {21, [&] { ark.DeleteItem(5); }},
        {22, [&] { ark.DeleteItem(0); }},
        {24, [&] { ark.UpdateItem(-1, dir / "a.txt"); }},
        {25, [&] { ark.UpdateItem(0, dir / "a.txt"); }},
    };
    for (const auto& [code, call] : cases) {
        try {
            call();
            ADD_FAILURE() << code;
        } catch (const EAvException& e) {
            EXPECT_EQ(e.NativeError, code);
        }
    }
    ark.BeginUpdate();
    ark.UpdateItem(0, dir / "a.txt");
    ark.EndUpdate();
    ark.CloseArchive();
    EXPECT_EQ(Contents(zip), (std::map<std::string, std::string>{{"a.txt", "new A"}}));
}

// A link or a pipe planted where an archive is made: the archive is not
// written through the link, nothing is made where it points, nothing waits
// on the pipe, and the failure names what stands there.
TEST_F(EditTest, AnArchiveIsNeverWrittenThroughPlants) {
    testsupport::TPlantBed bed;
    for (const testsupport::TPlant kind : testsupport::kPlants) {
        SCOPED_TRACE(testsupport::PlantName(kind));
        const std::string path = bed.Plant(kind, "a.zip");
        testsupport::TPipeWatch watch(path);
        const std::string message = testsupport::FailureOf<std::exception>([&] { Make(kThree, path); });
        EXPECT_FALSE(watch.Blocked());
        EXPECT_NE(message.find(bed.WriteRefusal(kind, path)), std::string::npos) << message;
        EXPECT_TRUE(bed.Untouched(kind));
        ark.CloseArchive();
    }
}
