// Split and spanned archives and self-extracting stubs, against Info-ZIP's
// zip (joining sets, writing sets and stubs), unzip and the unzipsfx stub.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "platform/ui/prompter.h"
#include "tests/zip/zip_support.h"
#include "zip/arkivolt.h"

using namespace zip;
using namespace ziptest;

namespace {

// Incompressible bytes, so that the volumes fill as the sizes say.
std::string Noise(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

int64_t SizeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// Four files and two folders under src/ (the content the sets carry). No
// entry is larger than a volume: Info-ZIP's joiner loses data of an entry
// that spans three volumes, its own sets' too.
void MakeSources(const TScratch& t) {
    Shell("mkdir -p " + Quote(t / "src/docs/empty"));
    WriteFile(t / "src/docs/big.bin", Noise(50000, 1));
    WriteFile(t / "src/docs/big2.bin", Noise(50000, 3));
    WriteFile(t / "src/docs/notes.txt", std::string(20000, 'n') + "end\n");
    WriteFile(t / "src/small.bin", Noise(60000, 2));
}

void AddSources(TArkivolt& ark, const TScratch& t) {
    ark.BaseDir = t / "src";
    ark.Options.Recurse = true;
    ark.FileMasks = {"*"};
    ark.AddFiles();
}

// A new set of 64 KiB volumes named after Name, made in Mode from the sources.
void StartSet(TArkivolt& ark, const TScratch& t, const std::string& name, TAvSpanningMode mode) {
    ark.FileName = name;
    ark.TempDir = t.Path();
    ark.SetSpanningMode(mode);
    ark.SpanningOptions.VolumeSize = vsCustom;
    ark.SpanningOptions.SetCustomVolumeSize(65536);
    ark.OpenArchive(kModeCreate);
    AddSources(ark, t);
}

std::string Listing(TArkivolt& ark) {
    std::string out;
    const TAvDirArray& d = ark.Directory();
    for (int32_t i = 0; i < d.Count(); ++i) out += d[i].Name + "|" + std::to_string(d[i].USize()) + "\n";
    return out;
}

// Every entry's offset, taken in the volumes one after another, must hold
// that entry's local header.
void ExpectHeadersAtOffsets(TArkivolt& ark) {
    std::string all;
    for (const auto& v : ark.VolumeFiles()) all += ReadFile(v);
    const TAvDirArray& d = ark.Directory();
    for (int32_t i = 0; i < d.Count(); ++i) {
        const auto at = static_cast<size_t>(d[i].Offset());
        ASSERT_LT(at + 30, all.size()) << d[i].Name;
        EXPECT_EQ(all.substr(at, 4), std::string("PK\3\4")) << d[i].Name;
        EXPECT_EQ(all.substr(at + 30, d[i].Name.size()), d[i].Name);
    }
}

void ExpectJoinPasses(const std::string& last, const std::string& joined) {
    const TRun join = Shell("zip -q -s 0 " + Quote(last) + " --out " + Quote(joined));
    ASSERT_EQ(join.status, 0) << join.output;
    const TRun test = Shell("unzip -t " + Quote(joined));
    EXPECT_EQ(test.status, 0) << test.output;
}

}  // namespace

TEST(VolumeNames, FollowTheModeAndFindEitherCase) {
    TScratch t;
    struct Case {
        TAvSpanningMode mode;
        bool advanced;
        std::string stub;
        std::string archive;
        int index;
        std::string expected;
    } cases[] = {
        {smSplitting, false, "", "/d/mail.zip", 0, "/d/mail.z01"},
        {smSplitting, false, "", "/d/mail.zip", 11, "/d/mail.z12"},
        {smSplitting, false, "", "/d/mail.zip", -1, "/d/mail.zip"},
        {smSplitting, true, "", "/d/a.zip", 1, "/d/a_002.zip"},
        {smSplitting, false, "", "/d/x.exe", 0, "/d/x.exe"},
        {smSplitting, false, "", "/d/x.exe", 1, "/d/x.z02"},
        {smSplitting, false, "", "/d/x.exe", -1, "/d/x.zip"},
        {smSplitting, false, "/bin/stub", "/d/x.zip", 0, "/d/x.exe"},
        {smSpanning, false, "", "/d/a.zip", 2, "/d/a.zip"},
        {smSpanning, true, "", "/d/a.zip", 2, "/d/a_003.zip"},
        {smSpanning, false, "/bin/stub", "/d/a.zip", 0, "/d/a.exe"},
        {smNone, false, "", "/d/a.zip", 3, "/d/a.zip"},
    };
    for (const auto& c : cases) {
        TArkivolt ark;
        ark.SetSpanningMode(c.mode);
        ark.SpanningOptions.AdvancedNaming = c.advanced;
        ark.SFXStub = c.stub;
        std::string name = c.archive;
        ark.MakeDefaultVolumeName(name, c.index, false);
        EXPECT_EQ(name, c.expected) << c.archive << " " << c.index;
    }
    // A set written elsewhere in upper case is found.
    WriteFile(t / "old.Z01", "x");
    TArkivolt ark;
    ark.SetSpanningMode(smSplitting);
    std::string name = t / "old.zip";
    ark.MakeDefaultVolumeName(name, 0, true);
    EXPECT_EQ(name, t / "old.Z01");
}

TEST(Splitting, VolumesOfCustomSizeJoinAndReadBack) {
    TScratch t;
    MakeSources(t);
    ui::TScriptedPrompter prompter;  // splitting asks nobody
    TArkivolt ark;
    ark.FileName = t / "a.zip";
    ark.TempDir = t.Path();
    ark.SetSpanningMode(smSplitting);
    ark.SpanningOptions.VolumeSize = vsCustom;
    ark.SpanningOptions.SetCustomVolumeSize(1000);  // raised to 65,536
    ark.SetCompressionMode(6);
    ark.OpenArchive(kModeCreate);
    AddSources(ark, t);
    const std::vector<std::string> files = ark.VolumeFiles();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0], t / "a.z01");
    EXPECT_EQ(files[1], t / "a.z02");
    EXPECT_EQ(files[2], t / "a.zip");
    for (const auto& f : files) EXPECT_LE(SizeOf(f), 65536) << f;
    EXPECT_FALSE(FileExists(t / "a.z03"));
    // One batch per set: a second one is refused.
    try {
        ark.AddFromString("late.txt", "late", faArchive, 0);
        FAIL() << "a second batch was taken";
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 62);
    }
    const std::string written = Listing(ark);
    ark.CloseArchive();
    // No work file is left beside the volumes.
    EXPECT_EQ(Shell("ls " + Quote(t.Path()) + " | grep -c FC").output, "0\n");

    ExpectJoinPasses(t / "a.zip", t / "joined.zip");
    const TRun sz = Shell("7zz t " + Quote(t / "a.zip"));
    EXPECT_EQ(sz.status, 0) << sz.output;
    // The joined archive extracts to the sources, folders included.
    const TRun diff = Shell("unzip -q " + Quote(t / "joined.zip") + " -d " + Quote(t / "out") + " && diff -r " +
                            Quote(t / "src") + " " + Quote(t / "out"));
    EXPECT_EQ(diff.status, 0) << diff.output.substr(0, 2000);
    TArkivolt back;
    back.FileName = t / "a.zip";
    back.OpenArchive();
    EXPECT_EQ(back.SpanningMode(), smSplitting);
    EXPECT_EQ(back.VolumeFiles(), files);
    EXPECT_EQ(Listing(back), written);
    ExpectHeadersAtOffsets(back);
    EXPECT_TRUE(prompter.prompts.empty());
}

// Info-ZIP cannot join this one; 7-Zip reads the set itself.
TEST(Splitting, AnEntryOverManyVolumes) {
    TScratch t;
    TArkivolt ark;
    ark.FileName = t / "big.zip";
    ark.SetSpanningMode(smSplitting);
    ark.SpanningOptions.VolumeSize = vsCustom;
    ark.SpanningOptions.SetCustomVolumeSize(65536);
    ark.OpenArchive(kModeCreate);
    ark.BeginUpdate();
    ark.AddFromString("x/big.bin", Noise(200000, 7), faArchive, 0);
    ark.AddFromString("small.txt", "small\n", faArchive, 0);
    ark.EndUpdate();
    EXPECT_EQ(ark.VolumeFiles().size(), 4u);
    ark.CloseArchive();
    const TRun x = Shell("cd " + Quote(t.Path()) + " && 7zz x -y -oout big.zip");
    ASSERT_EQ(x.status, 0) << x.output;
    EXPECT_EQ(ReadFile(t / "out/x/big.bin"), Noise(200000, 7));
    EXPECT_EQ(ReadFile(t / "out/small.txt"), "small\n");
}

// A self-extracting split set: the stub leads the first volume, "x.exe";
// opening x.exe finds the directory in x.zip.
TEST(Splitting, SelfExtractingSetStartsWithTheStub) {
    TScratch t;
    MakeSources(t);
    const int64_t stub = SizeOf("/usr/bin/unzipsfx");
    ASSERT_GT(stub, 65536);
    auto split = [&](TArkivolt& ark) {
        ark.FileName = t / "x.zip";
        ark.SFXStub = "/usr/bin/unzipsfx";
        ark.SetSpanningMode(smSplitting);
        ark.SpanningOptions.VolumeSize = vsCustom;
        ark.SpanningOptions.SetCustomVolumeSize(65536);
        ark.OpenArchive(kModeCreate);
        AddSources(ark, t);
    };
    {
        // The stub is larger than a volume.
        TArkivolt ark;
        try {
            split(ark);
            FAIL() << "the stub was split";
        } catch (const EAvException& e) {
            EXPECT_EQ(e.NativeError, 47);
        }
        EXPECT_EQ(Shell("ls " + Quote(t.Path())).output, "src\n");
    }
    TArkivolt ark;
    ark.SpanningOptions.FirstVolumeSize = stub + 65536;
    split(ark);
    const std::vector<std::string> files = ark.VolumeFiles();
    ASSERT_GE(files.size(), 3u);
    EXPECT_EQ(files.front(), t / "x.exe");
    EXPECT_EQ(files[1], t / "x.z02");
    EXPECT_EQ(files.back(), t / "x.zip");
    struct stat st {};
    ASSERT_EQ(::stat(files.front().c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    EXPECT_EQ(ReadFile(files.front()).substr(0, static_cast<size_t>(stub)), ReadFile("/usr/bin/unzipsfx"));
    const std::string written = Listing(ark);
    ark.CloseArchive();

    TArkivolt back;
    back.FileName = t / "x.exe";
    back.OpenArchive(kModeReadOnly);
    EXPECT_EQ(back.VolumeFiles(), files);
    EXPECT_EQ(Listing(back), written);
    ExpectHeadersAtOffsets(back);
}

TEST(Splitting, InfoZipSetsAreReadInEitherCase) {
    TScratch t;
    MakeSources(t);
    ASSERT_EQ(Shell("cd " + Quote(t / "src") + " && zip -q -r -s 64k ../z.zip .").status, 0);
    ASSERT_TRUE(FileExists(t / "z.z02"));
    ExpectJoinPasses(t / "z.zip", t / "zj.zip");
    const std::string expected = PythonListing(t / "zj.zip");
    for (bool upper : {false, true}) {
        if (upper)
            for (const char* ext : {"z01", "z02", "z03", "zip"}) {
                std::string up = ext;
                for (char& c : up) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                std::rename((t / (std::string("z.") + ext)).c_str(), (t / ("z." + up)).c_str());
            }
        TArkivolt ark;
        ark.FileName = t / (upper ? "z.ZIP" : "z.zip");
        ark.OpenArchive();
        EXPECT_EQ(ark.SpanningMode(), smSplitting);
        EXPECT_GE(ark.VolumeFiles().size(), 3u);
        std::string ours;
        const TAvDirArray& d = ark.Directory();
        for (int32_t i = 0; i < d.Count(); ++i) {
            char crc[16];
            std::snprintf(crc, sizeof crc, "%08x", d[i].Crc32);
            ours += d[i].Name + "|" + std::to_string(d[i].USize()) + "|" + crc + "\n";
        }
        EXPECT_EQ(ours, expected) << (upper ? "upper case" : "lower case");
        ExpectHeadersAtOffsets(ark);
    }
}

TEST(Spanning, AsksForEachDiskAndReadsTheSetBack) {
    TScratch t;
    MakeSources(t);
    Shell("mkdir -p " + Quote(t / "d1") + " " + Quote(t / "d2") + " " + Quote(t / "d3"));
    ui::TScriptedPrompter prompter;
    for (const char* d : {"d1", "d2", "d3"}) prompter.QueueInput(t / d);
    TArkivolt ark;
    StartSet(ark, t, t / "home/a.zip", smSpanning);
    ASSERT_EQ(prompter.prompts.size(), 3u);
    EXPECT_EQ(prompter.prompts[0].text, "Please insert a blank disk #1");
    EXPECT_EQ(prompter.prompts[2].text, "Please insert a blank disk #3");
    EXPECT_EQ(prompter.unexpected, 0);
    const std::string written = Listing(ark);
    ark.CloseArchive();
    EXPECT_FALSE(FileExists(t / "home/a.zip"));
    for (const char* d : {"d1", "d2", "d3"}) {
        EXPECT_TRUE(FileExists(t / (std::string(d) + "/a.zip"))) << d;
        EXPECT_LE(SizeOf(t / (std::string(d) + "/a.zip")), 65536) << d;
    }

    // Read back: the last disk first, then the others in order.
    ui::TScriptedPrompter reader;
    for (const char* d : {"d3", "d1", "d2"}) reader.QueueInput(t / d);
    TArkivolt back;
    back.FileName = t / "home/a.zip";
    back.SetSpanningMode(smSpanning);
    back.OpenArchive(kModeReadOnly);
    ASSERT_EQ(reader.prompts.size(), 3u);
    EXPECT_EQ(reader.prompts[0].text, "Please insert the last disk");
    EXPECT_EQ(reader.prompts[1].text, "Please insert the first disk");
    EXPECT_EQ(reader.prompts[2].text, "Please insert disk #2");
    EXPECT_EQ(reader.unexpected, 0);
    EXPECT_EQ(Listing(back), written);
    ExpectHeadersAtOffsets(back);

    // The disks laid side by side are an ordinary split set.
    for (int i = 1; i <= 2; ++i)
        Shell("cp " + Quote(t / ("d" + std::to_string(i) + "/a.zip")) + " " + Quote(t / ("s.z0" + std::to_string(i))));
    Shell("cp " + Quote(t / "d3/a.zip") + " " + Quote(t / "s.zip"));
    ExpectJoinPasses(t / "s.zip", t / "sj.zip");
}

TEST(Spanning, CancelledDiskRequestLeavesNoVolumes) {
    TScratch t;
    MakeSources(t);
    Shell("mkdir -p " + Quote(t / "d1"));
    ui::TScriptedPrompter prompter;
    prompter.QueueInput(t / "d1");
    prompter.QueueInput("", false);  // the second disk is refused
    TArkivolt ark;
    ark.FileName = t / "a.zip";
    ark.SetSpanningMode(smSpanning);
    ark.SpanningOptions.VolumeSize = vsCustom;
    ark.SpanningOptions.SetCustomVolumeSize(65536);
    ark.OpenArchive(kModeCreate);
    try {
        AddSources(ark, t);
        FAIL() << "the refusal was not reported";
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 45);
    }
    ark.CloseArchive();
    EXPECT_FALSE(FileExists(t / "d1/a.zip"));
    EXPECT_EQ(Shell("ls " + Quote(t.Path()) + " | grep -c FC").output, "0\n");
}

namespace {

// Runs the self-extracting archive in an empty folder; the files it
// extracts must be the sources.
void ExpectRunsAndExtracts(const TScratch& t, const std::string& sfx) {
    struct stat st {};
    ASSERT_EQ(::stat(sfx.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR) << "the stub's execute bit was lost";
    const std::string out = t / ("run-" + sfx.substr(sfx.rfind('/') + 1));
    Shell("rm -rf " + Quote(out) + " && mkdir -p " + Quote(out));
    const TRun run = Shell("cd " + Quote(out) + " && " + Quote(sfx));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(ReadFile(out + "/docs/big.bin"), Noise(50000, 1));
    EXPECT_EQ(ReadFile(out + "/small.bin"), Noise(60000, 2));
    const TRun test = Shell("unzip -t " + Quote(sfx));
    EXPECT_EQ(test.status, 0) << test.output;
}

}  // namespace

TEST(SelfExtracting, NewArchiveWithStubRuns) {
    TScratch t;
    MakeSources(t);
    TArkivolt ark;
    ark.FileName = t / "new.exe";
    ark.SFXStub = "/usr/bin/unzipsfx";
    ark.OpenArchive(kModeCreate);
    AddSources(ark, t);
    ark.CloseArchive();
    ExpectRunsAndExtracts(t, t / "new.exe");
}

TEST(SelfExtracting, MakeSFXShiftsTheDirectoryAndRefusesCleanly) {
    TScratch t;
    MakeSources(t);
    {
        TArkivolt ark;
        ark.FileName = t / "plain.zip";
        ark.OpenArchive(kModeCreate);
        AddSources(ark, t);
        ark.CloseArchive();
    }
    TArkivolt ark;
    ark.FileName = t / "plain.zip";
    try {
        ark.MakeSFX(t / "none");
        FAIL();
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 17);
    }
    ark.SFXStub = t / "missing-stub";
    try {
        ark.MakeSFX(t / "none");
        FAIL();
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 18);
    }
    ark.SFXStub = "/usr/bin/unzipsfx";
    // Onto the archive itself: refused, the archive left whole.
    const std::string before = ReadFile(t / "plain.zip");
    try {
        ark.MakeSFX(t / "plain.zip");
        FAIL();
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 19);
    }
    EXPECT_EQ(ReadFile(t / "plain.zip"), before);
    ark.MakeSFX(t / "made");
    ExpectRunsAndExtracts(t, t / "made");
    EXPECT_EQ(PythonListing(t / "made"), PythonListing(t / "plain.zip"));

    // An archive that already has a stub: refused, and no stub-only file.
    TArkivolt again;
    again.FileName = t / "made";
    again.SFXStub = "/usr/bin/unzipsfx";
    try {
        again.MakeSFX(t / "twice");
        FAIL();
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 50);
    }
    EXPECT_FALSE(FileExists(t / "twice"));
}

TEST(SelfExtracting, StubInFrontIsKeptWhenEntriesAreAdded) {
    TScratch t;
    MakeSources(t);
    ASSERT_EQ(Shell("cd " + Quote(t / "src") + " && zip -q -r ../z.zip .").status, 0);
    // zip -A adjusts the offsets; a stub simply put in front does not, so
    // every entry (the folders too) must be shifted on reading.
    Shell("cat /usr/bin/unzipsfx " + Quote(t / "z.zip") + " > " + Quote(t / "adjusted") + " && chmod +x " +
          Quote(t / "adjusted") + " && zip -q -A " + Quote(t / "adjusted"));
    Shell("cat /usr/bin/unzipsfx " + Quote(t / "z.zip") + " > " + Quote(t / "shifted") + " && chmod +x " +
          Quote(t / "shifted"));
    for (const char* name : {"adjusted", "shifted"}) {
        const std::string sfx = t / name;
        {
            TArkivolt ark;
            ark.FileName = sfx;
            ark.OpenArchive();
            ark.AddFromString("added.txt", "added later\n", faArchive, 0);
            ark.CloseArchive();
        }
        ExpectRunsAndExtracts(t, sfx);
        EXPECT_EQ(ReadFile(t / (std::string("run-") + name + "/added.txt")), "added later\n");
        {
            // Replacing an entry rewrites the file; it stays executable.
            TArkivolt ark;
            ark.FileName = sfx;
            ark.OpenArchive();
            ark.AddFromString("added.txt", "replaced\n", faArchive, 0);
            ark.CloseArchive();
        }
        ExpectRunsAndExtracts(t, sfx);
        EXPECT_EQ(ReadFile(t / (std::string("run-") + name + "/added.txt")), "replaced\n");
        EXPECT_EQ(ReadFile(sfx).substr(0, SizeOf("/usr/bin/unzipsfx")), ReadFile("/usr/bin/unzipsfx")) << name;
    }
}

// A set made earlier takes a batch: the changed archive is written as a new
// set of volumes of the same size, which takes the old set's place; volumes
// it no longer needs go. A cancelled batch leaves the old set as it was.
TEST(Splitting, AnExistingSetIsChangedByWritingItAnew) {
    TScratch t;
    MakeSources(t);
    ui::TScriptedPrompter prompter;
    {
        TArkivolt ark;
        StartSet(ark, t, t / "a.zip", smSplitting);
        ark.CloseArchive();
    }
    const std::vector<std::string> three{t / "a.z01", t / "a.z02", t / "a.zip"};
    auto open = [&](TArkivolt& ark) {
        ark.FileName = t / "a.zip";
        ark.TempDir = t.Path();
        ark.OpenArchive();
    };
    {
        TArkivolt ark;
        open(ark);
        ASSERT_EQ(ark.VolumeFiles(), three);
        const std::string before = ReadFile(t / "a.z01") + ReadFile(t / "a.z02") + ReadFile(t / "a.zip");
        ark.BeginUpdate();
        ark.AddFromString("cancelled.txt", "never", faArchive, 0);
        ark.CancelUpdate();
        ark.CloseArchive();
        EXPECT_EQ(ReadFile(t / "a.z01") + ReadFile(t / "a.z02") + ReadFile(t / "a.zip"), before);
    }
    {
        TArkivolt ark;
        open(ark);
        ASSERT_EQ(ark.SpanningMode(), smSplitting);
        ark.AddFromString("late.txt", Noise(60000, 4), faArchive, 0);
        EXPECT_EQ(ark.VolumeFiles(), (std::vector<std::string>{t / "a.z01", t / "a.z02", t / "a.z03", t / "a.zip"}));
        for (const auto& f : ark.VolumeFiles()) EXPECT_LE(SizeOf(f), 65536) << f;
        ExpectHeadersAtOffsets(ark);
        ark.CloseArchive();
    }
    ExpectJoinPasses(t / "a.zip", t / "joined.zip");
    EXPECT_EQ(Shell("7zz t " + Quote(t / "a.zip")).status, 0);
    EXPECT_NE(PythonListing(t / "joined.zip").find("late.txt|60000|"), std::string::npos);
    {
        TArkivolt ark;
        open(ark);
        ark.DeleteFiles("*.bin", 10431, "");
        ark.CloseArchive();
    }
    // What is left fits one volume: the set is the archive alone now, and
    // no other file than it and the sources is there.
    EXPECT_EQ(Shell("ls -A " + Quote(t.Path())).output, "a.zip\njoined.zip\nsrc\n");
    TArkivolt back;
    open(back);
    EXPECT_EQ(Listing(back), "docs/|0\ndocs/empty/|0\ndocs/notes.txt|20004\nlate.txt|60000\n");
    back.CloseArchive();
    ExpectPeersAccept(t / "a.zip");
    EXPECT_TRUE(prompter.prompts.empty());
}
