// The archiver writing archives: what it writes must pass the peers'
// tests, appends keep what was there, failures and cancels keep the
// archive as it was and say so.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "platform/ui/prompter.h"
#include "tests/zip/zip_support.h"
#include "zip/arkivolt.h"
#include "zip/avcrypt.h"
#include "zip/avrecords.h"
#include "zip/avstream.h"

using namespace zip;
using namespace ziptest;

namespace {

struct ArchiveTest : ::testing::Test {
    TScratch dir;
    TArkivolt ark;
    ui::TScriptedPrompter prompter;

    void SetUp() override { ark.Name = "Arkivolt1"; }
    void TearDown() override { EXPECT_EQ(prompter.unexpected, 0); }

    std::string Src(const std::string& name) const { return dir / ("src/" + name); }
    // Adds files given relative to the scratch folder in one batch.
    void Add(const std::vector<std::string>& names) {
        ark.BaseDir = dir.Path();
        ark.Options.Recurse = false;
        ark.FileMasks = names;
        ark.AddFiles();
    }
    void Create(const std::string& zip) {
        ark.FileName = zip;
        ark.OpenArchive(kModeCreate);
    }
};

}  // namespace

TEST_F(ArchiveTest, NewArchivePassesEveryPeer) {
    WriteFile(Src("page.htm"), std::string(3000, 'a') + "<p>hello</p>");
    WriteFile(Src("empty.txt"), "");
    WriteFile(Src("sub/caf\xC3\xA9 \xF0\x9F\x98\x80.htm"), "utf-8 name");
    std::string big(3 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
    WriteFile(Src("big.bin"), big);
    const std::string zip = dir / "new.zip";
    ark.SetCompressionLevel(clMax);
    Create(zip);
    Add({"src/page.htm", "src/empty.txt", "src/sub/caf\xC3\xA9 \xF0\x9F\x98\x80.htm", "src/big.bin"});
    ark.CloseArchive();
    ExpectPeersAccept(zip);
    const std::string listing = PythonListing(zip, true);
    EXPECT_NE(listing.find("src/page.htm|" + std::string(3000, 'a')), std::string::npos);
    EXPECT_NE(listing.find("src/sub/caf\xC3\xA9 \xF0\x9F\x98\x80.htm|utf-8 name"), std::string::npos) << listing;
    // Stored and compressed as promised: the empty file stored, UTF-8 flagged.
    ark.OpenArchive(kModeReadOnly);
    const TAvDirArray& d = ark.Directory();
    ASSERT_EQ(d.Count(), 4);
    EXPECT_EQ(d[0].CompressionMethod, 8);
    EXPECT_EQ(d[1].CompressionMethod, 0);
    EXPECT_EQ(d[1].Crc32, 0u);
    EXPECT_EQ(d[2].Flags & kFlagUtf8, kFlagUtf8);
    EXPECT_EQ(d[0].Flags & kFlagUtf8, 0);
    EXPECT_EQ(d[3].USize(), static_cast<int64_t>(big.size()));
}

TEST_F(ArchiveTest, TheChosenLevelIsUsed) {
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i * 7919 % 1000) + " of the page\n";
    WriteFile(Src("t.txt"), text);
    int64_t sizes[2];
    int i = 0;
    for (int mode : {1, 9}) {
        ark.SetCompressionMode(mode);
        Create(dir / ("l" + std::to_string(mode) + ".zip"));
        Add({"src/t.txt"});
        sizes[i++] = ark.Directory()[0].CSize();
        ark.CloseArchive();
    }
    EXPECT_LT(sizes[1], sizes[0]);
    ark.SetCompressionMode(0);
    Create(dir / "l0.zip");
    Add({"src/t.txt"});
    EXPECT_EQ(ark.Directory()[0].CompressionMethod, 0);
    EXPECT_EQ(ark.Directory()[0].CSize(), static_cast<int64_t>(text.size()));
    ark.CloseArchive();
    ExpectPeersAccept(dir / "l0.zip");
}

TEST_F(ArchiveTest, AppendKeepsThePrefixAndCrashLeavesAValidArchive) {
    for (const char* n : {"a.htm", "b.htm", "c.htm", "d.htm"}) WriteFile(Src(n), std::string(70000, n[0]));
    const std::string zip = dir / "app.zip";
    Create(zip);
    Add({"src/a.htm", "src/b.htm"});
    ark.CloseArchive();
    const std::string before = ReadFile(zip);
    ark.OpenArchive(kModeReadWrite);
    const int64_t oldDir = ark.Directory()[1].Offset() + 30 + 9 + ark.Directory()[1].CSize();
    // What a crash in the middle of the commit would leave behind.
    std::string snapshot;
    ark.OnFileProgress = [&](const std::string& f, double, TAvProcessOperation, TAvProgressPhase ph, bool&) {
        if (ph == ppStart && f.find("d.htm") != std::string::npos) snapshot = ReadFile(zip);
    };
    Add({"src/c.htm", "src/d.htm"});
    ark.CloseArchive();
    EXPECT_EQ(ReadFile(zip).substr(0, oldDir), before.substr(0, oldDir));
    ExpectPeersAccept(zip);
    EXPECT_EQ(PythonListing(zip).find("src/d.htm|70000|"), PythonListing(zip).rfind("src/d.htm|70000|"));
    ASSERT_FALSE(snapshot.empty());
    WriteFile(dir / "crash.zip", snapshot);
    const TRun t = Shell("unzip -t " + Quote(dir / "crash.zip"));
    EXPECT_EQ(t.status, 0) << t.output;
    EXPECT_NE(t.output.find("src/b.htm"), std::string::npos);
    EXPECT_EQ(t.output.find("src/c.htm"), std::string::npos);
}

TEST_F(ArchiveTest, ReplacingAMiddleEntryRewritesBesideTheArchive) {
    for (const char* n : {"a.htm", "b.htm", "c.htm"}) WriteFile(Src(n), std::string(5000, n[0]) + "old");
    const std::string zip = dir / "rep.zip";
    Create(zip);
    Add({"src/a.htm", "src/b.htm", "src/c.htm"});
    ark.CloseArchive();
    struct stat before {};
    ::stat(zip.c_str(), &before);
    WriteFile(Src("b.htm"), "new b");
    ark.OpenArchive(kModeReadWrite);
    ark.Options.OverwriteMode = omAlways;
    Add({"src/b.htm"});
    ark.CloseArchive();
    struct stat after {};
    ::stat(zip.c_str(), &after);
    EXPECT_NE(before.st_ino, after.st_ino);  // a new file took its place
    ExpectPeersAccept(zip);
    const std::string listing = PythonListing(zip, true);
    EXPECT_NE(listing.find("src/b.htm|new b\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("src/c.htm|" + std::string(5000, 'c') + "old"), std::string::npos);
    EXPECT_EQ(Shell("ls " + Quote(dir.Path()) + " | grep -c FC").output, "0\n");
}

TEST_F(ArchiveTest, OverwriteRulesCompareTwoSecondDosTimes) {
    WriteFile(Src("a.htm"), "first");
    const std::string zip = dir / "ow.zip";
    Create(zip);
    Add({"src/a.htm"});
    ark.CloseArchive();
    // Same DOS time (one second later is the same two-second step), new content.
    WriteFile(Src("a.htm"), "second");
    struct stat st {};
    ::stat(Src("a.htm").c_str(), &st);
    ark.OpenArchive(kModeReadWrite);
    const uint32_t stored = ark.Directory()[0].DosDateTime();
    ark.Options.OverwriteMode = omIfNewer;
    Add({"src/a.htm"});
    const bool newer = UnixToDos(st.st_mtime) > stored;
    ark.CloseArchive();
    EXPECT_NE(PythonListing(zip, true).find(newer ? "|second" : "|first"), std::string::npos);
    ark.OpenArchive(kModeReadWrite);
    ark.Options.OverwriteMode = omNever;
    WriteFile(Src("a.htm"), "third");
    Add({"src/a.htm"});
    ark.CloseArchive();
    EXPECT_EQ(PythonListing(zip, true).find("|third"), std::string::npos);
}

TEST_F(ArchiveTest, ClassicEncryptionPassesThePeersWithThePassword) {
    WriteFile(Src("secret.htm"), std::string(10000, 's') + "end");
    WriteFile(Src("tiny.txt"), "t");
    const std::string zip = dir / "enc.zip";
    Create(zip);
    ark.SetPassword("pa55 word");
    Add({"src/secret.htm", "src/tiny.txt"});
    ark.CloseArchive();
    ExpectPeersAccept(zip, "pa55 word");
    EXPECT_NE(PythonListing(zip, true, "pa55 word").find("src/tiny.txt|t"), std::string::npos);
    EXPECT_NE(Shell("unzip -t -P wrong " + Quote(zip)).status, 0);
    ark.OpenArchive(kModeReadOnly);
    EXPECT_TRUE(ark.Encrypted());
    const TDirItem it = ark.Directory()[0];
    ark.CloseArchive();
    // The 12 header bytes decrypt to the CRC's high 16 bits at their end.
    const std::string bytes = ReadFile(zip);
    std::string header = bytes.substr(static_cast<size_t>(it.Offset()) + 30 + it.Name.size(), 12);
    TZipKey keys;
    ZipKeyInit("pa55 word", keys, reinterpret_cast<uint8_t*>(header.data()));
    EXPECT_EQ(static_cast<uint8_t>(header[10]), static_cast<uint8_t>(it.Crc32 >> 16));
    EXPECT_EQ(static_cast<uint8_t>(header[11]), static_cast<uint8_t>(it.Crc32 >> 24));
}

TEST_F(ArchiveTest, FailedEntryIsLeftOutOrAbortsTheWholeBatch) {
    for (const char* n : {"a.htm", "b.htm", "c.htm"}) WriteFile(Src(n), std::string(3000, n[0]));
    const std::string zip = dir / "fail.zip";
    Create(zip);
    Add({"src/a.htm"});
    ark.CloseArchive();
    const std::string before = ReadFile(zip);
    // b.htm vanishes between the walk and the commit.
    ark.OnConfirmProcessFile = [&](const std::string& f, TAvProcessOperation, bool& ok) {
        ok = true;
        if (f.find("b.htm") != std::string::npos) ::unlink(f.c_str());
    };
    // The default failure box, answered Abort: nothing of the batch stays
    // and the caller hears of it.
    ark.OpenArchive(kModeReadWrite);
    prompter.QueueResult(ui::mrAbort);
    EXPECT_THROW(Add({"src/b.htm", "src/c.htm"}), EAvBatchAborted);
    ASSERT_EQ(prompter.prompts.size(), 1u);
    EXPECT_NE(prompter.prompts[0].text.find("File processing error"), std::string::npos);
    EXPECT_EQ(ark.Directory().Count(), 1);
    ark.CloseArchive();
    EXPECT_EQ(ReadFile(zip), before);
    // Ignore: the other entries are written, the failed one is not listed.
    WriteFile(Src("b.htm"), std::string(3000, 'b'));
    ark.OpenArchive(kModeReadWrite);
    int failures = 0;
    ark.OnProcessFileFailure = [&](const std::string&, TAvProcessOperation, int native, int, const std::string&,
                                   TAvAction& action) {
        EXPECT_EQ(native, 33);
        ++failures;
        action = fxaIgnore;
    };
    Add({"src/b.htm", "src/c.htm"});
    EXPECT_EQ(failures, 1);
    EXPECT_FALSE(ark.HoldsFile("src/b.htm", Src("b.htm")));
    EXPECT_TRUE(ark.HoldsFile("src/c.htm", Src("c.htm")));
    ark.CloseArchive();
    ExpectPeersAccept(zip);
    EXPECT_EQ(PythonListing(zip).find("src/b.htm"), std::string::npos);
}

TEST_F(ArchiveTest, CancelDuringTheSecondFileRestoresTheBytes) {
    for (const char* n : {"a.htm", "b.htm", "c.htm", "d.htm"}) WriteFile(Src(n), std::string(3000, n[0]));
    const std::string zip = dir / "cancel.zip";
    Create(zip);
    Add({"src/a.htm", "src/b.htm"});
    ark.CloseArchive();
    const std::string before = ReadFile(zip);
    ark.OnFileProgress = [&](const std::string& f, double, TAvProcessOperation, TAvProgressPhase ph, bool& cancel) {
        cancel = ph == ppProcess && f.find("d.htm") != std::string::npos;
    };
    for (const std::vector<std::string>& batch :
         {std::vector<std::string>{"src/c.htm", "src/d.htm"}, std::vector<std::string>{"src/a.htm", "src/d.htm"}}) {
        ark.OpenArchive(kModeReadWrite);
        EXPECT_THROW(Add(batch), EAvBatchAborted);
        ark.CloseArchive();
        EXPECT_EQ(ReadFile(zip), before);
    }
}

TEST_F(ArchiveTest, ReadOnlyAccessRefusesABatch) {
    WriteFile(Src("a.htm"), "a");
    const std::string zip = dir / "ro.zip";
    Create(zip);
    Add({"src/a.htm"});
    ark.CloseArchive();
    for (uint16_t mode : {uint16_t(0), kModeReadOnly}) {
        ark.OpenArchive(mode);
        try {
            Add({"src/a.htm"});
            FAIL();
        } catch (const EAvException& e) {
            EXPECT_EQ(e.NativeError, 32);
        }
        ark.CloseArchive();
    }
    ark.FileName = dir / "missing.zip";
    try {
        ark.OpenArchive(2);
        FAIL();
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 12);
        EXPECT_NE(e.Message.find("Arkivolt1: File \"" + dir / "missing.zip" + "\" not found"), std::string::npos);
    }
}

TEST_F(ArchiveTest, ClosingAnEmptyNewArchiveLeavesOnlyAnEndRecord) {
    const std::string zip = dir / "empty.zip";
    Create(zip);
    ark.CloseArchive();
    const TRun py = Shell("/usr/bin/python3 -c " + Quote("import zipfile,sys; zipfile.ZipFile(sys.argv[1],'w').close()") +
                          " " + Quote(dir / "py.zip"));
    ASSERT_EQ(py.status, 0) << py.output;
    EXPECT_EQ(ReadFile(zip), ReadFile(dir / "py.zip"));
    EXPECT_EQ(Shell("7zz t " + Quote(zip)).status, 0);
}

TEST_F(ArchiveTest, FilesOverFourGigabytesFailWithCode41) {
    const std::string big = Src("sparse.bin");
    WriteFile(big, "");
    ASSERT_EQ(::truncate(big.c_str(), 5LL << 30), 0);
    WriteFile(Src("small.txt"), "s");
    Create(dir / "z64.zip");
    std::vector<int> codes;
    ark.OnProcessFileFailure = [&](const std::string&, TAvProcessOperation, int native, int, const std::string&,
                                   TAvAction& action) {
        codes.push_back(native);
        action = fxaIgnore;
    };
    Add({"src/sparse.bin", "src/small.txt"});
    EXPECT_EQ(codes, std::vector<int>{41});
    ASSERT_EQ(ark.Directory().Count(), 1);
    EXPECT_EQ(ark.Directory()[0].Name, "src/small.txt");
    ark.CloseArchive();
    ExpectPeersAccept(dir / "z64.zip");
}

TEST_F(ArchiveTest, SearchFoldersMasksAndFileCount) {
    const std::string zip = dir / "s.zip";
    Create(zip);
    ark.AddFromString("top.txt", "t", faArchive, 0);
    ark.AddFromString("docs/a.txt", "a", faArchive, 0);
    ark.AddFromString("docs/", "", faDirectory, 0);
    EXPECT_EQ(ark.GetFileCount(), 2);
    ark.Options.Recurse = false;
    ark.FileMasks = {"*.*"};
    TAvArchiveItem item;
    std::vector<std::string> found;
    for (bool ok = ark.FindFirst(item); ok; ok = ark.FindNext(item)) found.push_back(item.StoragePath + item.FileName);
    EXPECT_EQ(found, std::vector<std::string>{"top.txt"});
    ark.Options.Recurse = true;
    for (const char* mask : {"a.txt", "docs/*.txt", "DOCS\\A.TXT"}) {
        ASSERT_TRUE(ark.FindFirst(mask, item, 10431, "")) << mask;
        EXPECT_EQ(item.StoragePath, "docs/");
        EXPECT_EQ(item.FileName, "a.txt");
    }
    EXPECT_FALSE(ark.FindFirst("*.txt", item, 10431, "*a.txt") && item.FileName == "a.txt");
    ark.CloseArchive();
    ExpectPeersAccept(zip);
}

TEST_F(ArchiveTest, PropertiesAndNestedBatches) {
    EXPECT_EQ(ark.CompressionMode(), 1);
    try {
        ark.SetCompressionMode(10);
        FAIL();
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 5);
    }
    EXPECT_EQ(ark.CompressionMode(), 1);
    EXPECT_EQ(ark.CompressionLevel(), clFastest);
    ark.SetCompressionMode(5);
    EXPECT_EQ(ark.CompressionLevel(), clNormal);
    const std::string zip = dir / "n.zip";
    Create(zip);
    ark.BeginUpdate();
    ark.BeginUpdate();
    ark.AddFromString("x.txt", "x", faArchive, 0);
    ark.EndUpdate();
    EXPECT_EQ(ReadFile(zip).size(), 0u);  // nothing written before the outer end
    ark.EndUpdate();
    EXPECT_GT(ReadFile(zip).size(), 22u);
    ark.CloseArchive();
    ExpectPeersAccept(zip);
}

TEST_F(ArchiveTest, AppendingToAZip64ArchiveKeepsItReadable) {
    WriteFile(Src("a.txt"), std::string(3000, 'a'));
    WriteFile(Src("b.txt"), "bee");
    const TRun r = Shell("cd " + Quote(dir.Path()) + " && zip -q -fz z64.zip src/a.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string zip = dir / "z64.zip";
    ark.FileName = zip;
    ark.OpenArchive(kModeReadWrite);
    Add({"src/b.txt"});
    ark.CloseArchive();
    ExpectPeersAccept(zip);
    EXPECT_EQ(PythonListing(zip, true), "src/a.txt|" + std::string(3000, 'a') + "\nsrc/b.txt|bee\n");
}

TEST_F(ArchiveTest, ClosingReportsAFailedCommitAndStillCloses) {
    const std::string zip = dir / "close.zip";
    Create(zip);
    ark.AddFromString("kept.txt", "kept", faArchive, 0);
    ark.CloseArchive();
    const std::string before = ReadFile(zip);
    ark.OpenArchive(kModeReadWrite);
    ark.BeginUpdate();
    ark.AddFromString("late.txt", "late", faArchive, 0);
    ark.OnFileProgress = [](const std::string&, double, TAvProcessOperation, TAvProgressPhase, bool& cancel) {
        cancel = true;
    };
    EXPECT_THROW(ark.CloseArchive(), EAvBatchAborted);
    EXPECT_FALSE(ark.Active());
    EXPECT_EQ(ReadFile(zip), before);
}

TEST_F(ArchiveTest, StreamsBuffersCommentsAndLookups) {
    const std::string zip = dir / "misc.zip";
    Create(zip);
    const std::string data = "0123456789abcdef";
    ark.AddFromBuffer("buf.bin", data.data(), 4, faArchive, 0);
    auto stream = std::make_shared<TAvMemoryStream>(data);
    stream->SetPosition(3);
    ark.AddFromStream("copied.bin", stream, true, 10, 0, faArchive, 0);
    EXPECT_EQ(stream->Position(), 3);  // the caller's position is kept
    ark.AddFromStream("docs\\kept.bin", stream, false, 2, 5, faArchive, 0);
    ark.SetComment("made by the tests");
    ark.CloseArchive();
    ExpectPeersAccept(zip);
    EXPECT_EQ(PythonListing(zip, true), "buf.bin|0123\ncopied.bin|abcdef\ndocs/kept.bin|23456\n");
    const TRun c = Shell("/usr/bin/python3 -c " + Quote("import zipfile,sys; print(zipfile.ZipFile(sys.argv[1]).comment.decode())") +
                         " " + Quote(zip));
    EXPECT_EQ(c.output, "made by the tests\n");
    ark.SetActive(true);
    EXPECT_EQ(ark.OpenMode(), kModeReadWrite);
    EXPECT_EQ(ark.Comment(), "made by the tests");
    int32_t index = -1;
    EXPECT_TRUE(ark.GetFileCendralDirItemNo("COPIED.BIN", index));
    EXPECT_EQ(index, 1);
    ark.Options.Recurse = true;
    EXPECT_TRUE(ark.GetFileCendralDirItemNo("kept.bin", index));
    EXPECT_EQ(index, 2);
    EXPECT_FALSE(ark.GetFileCendralDirItemNo("none.bin", index));
    ark.SetActive(false);
    EXPECT_FALSE(ark.Active());
}

// An archive in memory, written to FileName once switched off; an archive
// on a caller's stream, made, changed and read there. Both are rewritten
// when an entry goes, as a file is.
TEST_F(ArchiveTest, InMemoryAndOnACallersStream) {
    const std::string zip = dir / "mem.zip";
    auto code = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const EAvException& e) {
            return e.NativeError;
        }
        return 0;
    };
    ark.FileName = zip;
    ark.SetInMemory(true);
    EXPECT_EQ(code([&] { ark.OpenArchive(kModeReadWrite); }), 28);
    ark.OpenArchive();
    ark.AddFromString("a.txt", std::string(3000, 'a'), 32, 0);
    ark.AddFromString("b.txt", "beta", 32, 0);
    ark.DeleteFiles("a.txt", 10431, "");
    EXPECT_FALSE(FileExists(zip));
    ark.SetInMemory(false);
    ASSERT_TRUE(ark.Active());
    ark.AddFromString("c.txt", "gamma", 32, 0);
    ark.CloseArchive();
    ExpectPeersAccept(zip);
    EXPECT_EQ(PythonListing(zip, true), "b.txt|beta\nc.txt|gamma\n");
    struct stat st {};
    ASSERT_EQ(::stat(zip.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    TAvMemoryStream mem("old bytes that the new archive replaces");
    TArkivolt own;
    own.OpenArchive(mem, true);
    own.AddFromString("x.txt", std::string(2000, 'x'), 32, 0);
    own.AddFromString("y.txt", "why", 32, 0);
    own.DeleteFiles("x.txt", 10431, "");
    own.CloseArchive();
    WriteFile(dir / "stream.zip", mem.Data());
    ExpectPeersAccept(dir / "stream.zip");
    TArkivolt reader;
    reader.OpenArchive(mem, false);
    std::string text;
    reader.ExtractToString("y.txt", text);
    EXPECT_EQ(text, "why");
    EXPECT_EQ(reader.GetFileCount(), 1);

    TArkivolt split;
    split.SetSpanningMode(smSplitting);
    EXPECT_EQ(code([&] { split.OpenArchive(mem, false); }), 51);
    TArkivolt nameless;
    nameless.SetInMemory(true);
    nameless.OpenArchive();
    EXPECT_EQ(code([&] { nameless.SetInMemory(false); }), 29);
}
