// Extraction and testing: archives of the peers and our own read back
// byte-identical; damage, wrong passwords and hostile names are caught.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <random>

#include "platform/ui/prompter.h"
#include "tests/support/plants.h"
#include "tests/zip/zip_support.h"
#include "zip/arkivolt.h"
#include "zip/avcrypt.h"
#include "zip/avrecords.h"
#include "zip/avstream.h"

using namespace zip;
using namespace ziptest;
namespace fs = std::filesystem;

namespace {

// Every file below a folder: relative name to content.
std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = ReadFile(e.path().string());
    return files;
}

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(gen());
    return s;
}

void MakeSourceTree(const std::string& src) {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + " of a text that deflates well\n";
    WriteFile(src + "/a.txt", text);
    WriteFile(src + "/bin/random.bin", RandomBytes(300000, 7));
    WriteFile(src + "/empty.txt", "");
    WriteFile(src + "/d\xc3\xa9j\xc3\xa0/\xe6\x97\xa5\xe6\x9c\xac.txt", "utf-8 name\n");
    WriteFile(src + "/deep/er/x.txt", std::string(70000, 'x'));
}

struct Failure {
    std::string name;
    int native;
    std::string message;
};

class ZipExtract : public ::testing::Test {
protected:
    ui::TScriptedPrompter prompter;
    TScratch dir;
    std::vector<Failure> failures;

    void TearDown() override { EXPECT_EQ(prompter.unexpected, 0); }

    // An archiver on the archive, failures recorded and passed over.
    std::unique_ptr<TArkivolt> Open(const std::string& zip, const std::string& password = "") {
        auto ark = std::make_unique<TArkivolt>();
        ark->FileName = zip;
        ark->OpenArchive(kModeReadOnly);
        ark->SetPassword(password);
        ark->OnProcessFileFailure = [this](const std::string& name, TAvProcessOperation, int native, int,
                                           const std::string& message, TAvAction& action) {
            failures.push_back({name, native, message});
            action = fxaIgnore;
        };
        return ark;
    }

    std::map<std::string, std::string> Extract(const std::string& zip, const std::string& password = "") {
        const std::string out = dir / ("out-" + fs::path(zip).stem().string());
        auto ark = Open(zip, password);
        ark->BaseDir = out;
        ark->FileMasks = {"*.*"};
        ark->ExtractFiles();
        return Tree(out);
    }

    std::string Python(const std::string& script, const std::string& args) {
        const TRun r = Shell("/usr/bin/python3 -c " + Quote(script) + " " + args);
        EXPECT_EQ(r.status, 0) << r.output;
        return r.output;
    }
};

// Flips one byte of a file.
void FlipByte(const std::string& path, int64_t at) {
    std::string b = ReadFile(path);
    b[static_cast<size_t>(at)] = static_cast<char>(b[static_cast<size_t>(at)] ^ 0x55);
    WriteFile(path, b);
}

// Where entry Index's data start in the archive.
int64_t DataStart(const std::string& zip, int index) {
    TAvFileStream s(zip, TAvFileStream::ofRead);
    TAvDirManager m(&s);
    m.LoadDir(false);
    s.SetPosition(m.Items[index].Offset());
    const std::string h = s.ReadString(30);
    return m.Items[index].Offset() + 30 + Get16(h, 26) + Get16(h, 28);
}

}  // namespace

TEST_F(ZipExtract, PeerArchivesExtractByteIdentical) {
    const std::string src = dir / "src";
    MakeSourceTree(src);
    const auto want = Tree(src);
    const std::string py =
        "import sys,os,zipfile\n"
        "src,out=sys.argv[1],sys.argv[2]\n"
        "files=[]\n"
        "for r,d,fs in os.walk(src):\n"
        "  for f in fs: files.append(os.path.join(r,f))\n"
        "files.sort()\n"
        "for name,method in (('py-stored',zipfile.ZIP_STORED),('py-deflated',zipfile.ZIP_DEFLATED)):\n"
        "  with zipfile.ZipFile(os.path.join(out,name+'.zip'),'w',method) as z:\n"
        "    for p in files: z.write(p,os.path.relpath(p,src))\n"
        "with zipfile.ZipFile(os.path.join(out,'py-zip64.zip'),'w',zipfile.ZIP_DEFLATED) as z:\n"
        "  for p in files:\n"
        "    with open(p,'rb') as f, z.open(os.path.relpath(p,src),'w',force_zip64=True) as w: w.write(f.read())\n";
    Python(py, Quote(src) + " " + Quote(dir.Path()));
    const TRun r = Shell("cd " + Quote(src) +
                         " && zip -q -r ../zip-deflated.zip . && zip -q -0 -r ../zip-stored.zip ."
                         " && zip -q -P geheim -r ../zip-classic.zip . && zip -q -fz -r ../zip-fz.zip ."
                         " && 7zz a -tzip ../7z-deflated.zip . >/dev/null"
                         " && 7zz a -tzip -mem=ZipCrypto -pkennwort ../7z-classic.zip . >/dev/null"
                         " && 7zz a -tzip -mem=AES128 -pschluessel ../7z-aes128.zip . >/dev/null"
                         " && 7zz a -tzip -mem=AES256 -mm=Copy -pschluessel ../7z-aes256.zip . >/dev/null"
                         " && bsdtar --format zip -cf ../bsdtar-deflated.zip ."
                         " && bsdtar --format zip --options zip:compression=store -cf ../bsdtar-stored.zip .");
    ASSERT_EQ(r.status, 0) << r.output;
    const struct {
        const char* archive;
        const char* password;
    } cases[] = {
        {"py-stored.zip", ""},      {"py-deflated.zip", ""},   {"py-zip64.zip", ""},
        {"zip-deflated.zip", ""},   {"zip-stored.zip", ""},    {"zip-classic.zip", "geheim"},
        {"zip-fz.zip", ""},         {"7z-deflated.zip", ""},   {"7z-classic.zip", "kennwort"},
        {"7z-aes128.zip", "schluessel"}, {"7z-aes256.zip", "schluessel"},
        {"bsdtar-deflated.zip", ""}, {"bsdtar-stored.zip", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive);
        failures.clear();
        EXPECT_EQ(Extract(dir / c.archive, c.password), want);
        EXPECT_TRUE(failures.empty());
        // Testing reads everything back too and finds nothing wrong.
        auto ark = Open(dir / c.archive, c.password);
        ark->TestFiles("*.*", 10431, "");
        EXPECT_TRUE(failures.empty());
    }
}

TEST_F(ZipExtract, OwnArchivesRoundTrip) {
    const std::string src = dir / "src";
    MakeSourceTree(src);
    const struct {
        std::string password;
        TAvCryptoAlgorithm method;
    } cases[] = {{"", caPkzipClassic}, {"p\xc3\xa4ss", caPkzipClassic}, {"p\xc3\xa4ss", caAES_256}};
    for (const auto& [password, method] : cases) {
        SCOPED_TRACE(password + " " + std::to_string(method));
        const std::string zip = dir / ("own-" + std::to_string(method) + (password.empty() ? ".zip" : "-pw.zip"));
        {
            TArkivolt ark;
            ark.FileName = zip;
            ark.OpenArchive(kModeCreate);
            ark.SetPassword(password);
            ark.EncryptionMethod = method;
            ark.BaseDir = src;
            ark.AddFiles("*", 10415, "");
            ark.CloseArchive();
        }
        EXPECT_EQ(Extract(zip, password), Tree(src));
        EXPECT_TRUE(failures.empty());
    }
}

TEST_F(ZipExtract, TestModeFindsAFlippedByte) {
    const std::string src = dir / "src";
    WriteFile(src + "/s.txt", std::string(5000, 's'));
    WriteFile(src + "/d.txt", RandomBytes(5000, 3) + std::string(5000, 'd'));
    const TRun r = Shell("cd " + Quote(src) + " && zip -q -0 ../s.zip s.txt && zip -q ../d.zip d.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    for (const std::string name : {"s", "d"}) {
        SCOPED_TRACE(name);
        const std::string zip = dir / (name + ".zip");
        FlipByte(zip, DataStart(zip, 0) + 2500);
        failures.clear();
        auto ark = Open(zip);
        ark->TestFiles("*.*", 10431, "");
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0].name, name + ".txt");
        EXPECT_EQ(failures[0].native, 8);
        std::string text;
        EXPECT_THROW(ark->ExtractToString(name + ".txt", text), EAvException);
    }
}

TEST_F(ZipExtract, InflatedOutputStopsAtTheDeclaredSize) {
    // 10 MB of zeros declared as 1000 bytes, the CRC of the first 1000.
    const std::string zip = dir / "bomb.zip";
    Python("import sys,zipfile,zlib,struct\n"
           "with zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED) as z: z.writestr('z.bin',bytes(10000000))\n"
           "b=bytearray(open(sys.argv[1],'rb').read())\n"
           "crc=zlib.crc32(bytes(1000))\n"
           "for sig,off in ((b'PK\\x03\\x04',14),(b'PK\\x01\\x02',16)):\n"
           "  i=b.find(sig); struct.pack_into('<I',b,i+off,crc); struct.pack_into('<I',b,i+off+8,1000)\n"
           "open(sys.argv[1],'wb').write(b)\n",
           Quote(zip));
    auto ark = Open(zip);
    TAvMemoryStream out;
    try {
        ark->ExtractToStream("z.bin", out);
        FAIL() << "extracted";
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 8);
    }
    EXPECT_LE(out.Size(), 1000);
}

TEST_F(ZipExtract, ShortOrCutEntriesAreErrors) {
    const std::string src = dir / "src";
    WriteFile(src + "/d.txt", RandomBytes(20000, 5));
    const TRun r = Shell("cd " + Quote(src) + " && zip -q ../d.zip d.txt && zip -q -0 ../s.zip d.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    // The deflate stream cut in the middle (sizes and CRC left as they were),
    // and a stored entry whose data run past the end of the file.
    const std::string cut = dir / "cut.zip", past = dir / "past.zip";
    Python("import sys,struct\n"
           "b=bytearray(open(sys.argv[1],'rb').read())\n"
           "for sig,off in ((b'PK\\x03\\x04',18),(b'PK\\x01\\x02',20)):\n"
           "  i=b.find(sig); struct.pack_into('<I',b,i+off,struct.unpack_from('<I',b,i+off)[0]//2)\n"
           "open(sys.argv[2],'wb').write(b)\n"
           "b=bytearray(open(sys.argv[3],'rb').read())\n"
           "for sig,off in ((b'PK\\x03\\x04',18),(b'PK\\x01\\x02',20)):\n"
           "  i=b.find(sig); struct.pack_into('<I',b,i+off,10**8); struct.pack_into('<I',b,i+off+4,10**8)\n"
           "open(sys.argv[4],'wb').write(b)\n",
           Quote(dir / "d.zip") + " " + Quote(cut) + " " + Quote(dir / "s.zip") + " " + Quote(past));
    EXPECT_TRUE(Extract(cut).empty());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].native, 8);
    // Data the file cannot hold make the directory itself damaged: nothing
    // is extracted, and the run says which entry is lost.
    failures.clear();
    auto ark = Open(past);
    ark->BaseDir = dir / "out";
    try {
        ark->ExtractFiles("*.*", 10431, "");
        FAIL();
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 48);
        EXPECT_NE(e.Message.find("\"d.txt\""), std::string::npos) << e.Message;
    }
    EXPECT_EQ(ark->Damage().Lost, std::vector<std::string>{"d.txt"});
    EXPECT_FALSE(FileExists(dir / "out/d.txt"));
}

TEST_F(ZipExtract, WrongClassicPasswordIsRefused) {
    const std::string src = dir / "src";
    WriteFile(src + "/p.txt", std::string(3000, 'p') + "end");
    const TRun r = Shell("cd " + Quote(src) + " && zip -q -P richtig ../pw.zip p.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    auto ark = Open(dir / "pw.zip");
    EXPECT_TRUE(ark->IsFilePasswordValid("p.txt", "richtig"));
    EXPECT_FALSE(ark->IsFilePasswordValid("p.txt", "falsch"));
    EXPECT_EQ(ark->Password(), "");
    // A wrong password that passes the one check byte is still caught by the data.
    TAvFileStream s(dir / "pw.zip", TAvFileStream::ofRead);
    TAvDirManager m(&s);
    m.LoadDir(false);
    s.SetPosition(DataStart(dir / "pw.zip", 0));
    const std::string header = s.ReadString(12);
    std::string lucky;
    for (int i = 0; lucky.empty(); ++i) {
        uint8_t h[12];
        std::memcpy(h, header.data(), 12);
        TZipKey keys;
        const std::string candidate = "try" + std::to_string(i);
        ZipKeyInit(candidate, keys, h);
        if (ZipHeaderMatches(h, m.Items[0].Crc32, m.Items[0].LastModTime, m.Items[0].Flags)) lucky = candidate;
    }
    EXPECT_FALSE(ark->IsFilePasswordValid("p.txt", lucky));
    ark->SetPassword(lucky);
    std::string text;
    EXPECT_THROW(ark->ExtractToString("p.txt", text), EAvException);
    // Asked for another, the user gives the right one; then one that fails
    // and skips: no data and an error, not an empty success.
    ark->SetPassword("falsch");
    prompter.QueueInput("richtig");
    ark->ExtractToString("p.txt", text);
    EXPECT_EQ(text, std::string(3000, 'p') + "end");
    EXPECT_EQ(ark->Password(), "richtig");
    ark->SetPassword("falsch");
    prompter.QueueInput("", false);
    try {
        ark->ExtractToString("p.txt", text);
        FAIL();
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 67);
    }
}

TEST_F(ZipExtract, PasswordSkipLeavesNoFileAndTheRunGoesOn) {
    const std::string src = dir / "src";
    WriteFile(src + "/a.txt", "aaa");
    WriteFile(src + "/b.txt", "bbb");
    const TRun r = Shell("cd " + Quote(src) + " && zip -q -P pw ../pw.zip a.txt && zip -q ../pw.zip b.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    auto ark = Open(dir / "pw.zip");
    int asked = 0;
    ark->OnPassword = [&](const std::string& name, std::string&, bool& skip) {
        EXPECT_EQ(name, "a.txt");
        ++asked;
        skip = true;
    };
    ark->BaseDir = dir / "out";
    ark->ExtractFiles("*.*", 10431, "");
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(Tree(dir / "out"), (std::map<std::string, std::string>{{"b.txt", "bbb"}}));
    // A handler that gives back the same wrong password is not asked for ever.
    ark->SetPassword("wrong");
    ark->OnPassword = [&](const std::string&, std::string&, bool&) { ++asked; };
    ark->ExtractFiles("a.txt", 10431, "");
    EXPECT_EQ(asked, 2);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].native, 67);
}

TEST_F(ZipExtract, NamesThatLeaveTheDestinationAreRefused) {
    const std::string zip = dir / "slip.zip", out = dir / "a/b/out";
    const std::vector<std::string> bad = {"../evil1.txt",     "x/../../evil2.txt", "/tmp/evil3-" + fs::path(dir.Path()).filename().string(),
                                          "C:/evil4.txt",     "c:evil5.txt",       "..\\evil6.txt",
                                          "ok/..\\..\\evil7.txt"};
    std::string names;
    for (const auto& n : bad) names += " " + Quote(n);
    Python("import sys,zipfile\n"
           "with zipfile.ZipFile(sys.argv[1],'w') as z:\n"
           "  z.writestr('good.txt','good')\n"
           "  for n in sys.argv[2:]:\n"
           "    i=zipfile.ZipInfo('x'); i.filename=n; z.writestr(i,'evil')\n"
           "  z.writestr('link/inside.txt','evil')\n"
           "  z.writestr('file-link','new')\n",
           Quote(zip) + names);
    // A link already in the destination is not followed either.
    fs::create_directories(out);
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", out + "/link");
    // A link in place of a file is refused: neither written through nor replaced.
    WriteFile(dir / "victim.txt", "keep");
    fs::create_symlink(dir / "victim.txt", out + "/file-link");
    auto ark = Open(zip);
    ark->BaseDir = out;
    ark->ExtractFiles("*.*", 10431, "");
    std::vector<std::string> refused;
    for (const auto& f : failures) refused.push_back(f.name);
    std::vector<std::string> want = bad;
    want.push_back("link/inside.txt");
    want.push_back("file-link");
    EXPECT_EQ(refused, want);
    for (const auto& f : failures) EXPECT_TRUE(f.native == 19 || f.native == 20) << f.name << " " << f.native;
    EXPECT_NE(failures.back().message.find(out + "/file-link is a link (to " + (dir / "victim.txt") + ")"),
              std::string::npos)
        << failures.back().message;
    EXPECT_TRUE(fs::is_symlink(out + "/file-link"));
    fs::remove(out + "/file-link");
    EXPECT_EQ(Tree(dir.Path() + "/a"), (std::map<std::string, std::string>{{"b/out/good.txt", "good"}}));
    EXPECT_EQ(ReadFile(dir / "victim.txt"), "keep");
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
    EXPECT_FALSE(FileExists("/tmp/evil3-" + fs::path(dir.Path()).filename().string()));
    for (const auto& f : Tree(dir.Path())) EXPECT_EQ(f.first.find("evil"), std::string::npos) << f.first;
}

// A link or a pipe planted where an entry is to be written: the entry is
// refused with the reason, whatever the overwrite rule, and nothing is
// written through the link, made where it points, or waited for.
TEST_F(ZipExtract, PlantsAtAnEntrysPathAreRefused) {
    const std::string zip = dir / "plant.zip";
    Python("import sys,zipfile\n"
           "with zipfile.ZipFile(sys.argv[1],'w') as z:\n"
           "  z.writestr('target','from the archive')\n",
           Quote(zip));
    testsupport::TPlantBed bed;
    auto extract = [&](TAvOverwriteMode mode) {
        return [&, mode](const std::string& path) {
            failures.clear();
            auto ark = Open(zip);
            ark->BaseDir = fs::path(path).parent_path().string();
            ark->Options.OverwriteMode = mode;
            ark->ExtractFiles("*.*", 10431, "");
            if (failures.size() == 1 && failures[0].native == 19) throw std::runtime_error(failures[0].message);
            if (!failures.empty()) throw std::logic_error("unexpected failures");
        };
    };
    const auto refusal = [](const std::string& path, const std::string& reason) {
        return "Cannot create file \"" + path + "\": " + reason + " - Native error: 00019";
    };
    testsupport::ExpectNoWritesThroughPlants(
        bed, {{"overwrite always", extract(omAlways), refusal}, {"overwrite never", extract(omNever), refusal}});
}

TEST_F(ZipExtract, NoLinkDeviceOrSetIdFileAndTheUmaskHolds) {
    const std::string zip = dir / "modes.zip", out = dir / "out";
    Python("import sys,zipfile\n"
           "with zipfile.ZipFile(sys.argv[1],'w') as z:\n"
           "  for n,mode,data in (('link',0o120777,'/etc/passwd'),('setuid',0o104777,'s'),('fifo',0o010666,'f'),"
           "('plain',0o100777,'p')):\n"
           "    i=zipfile.ZipInfo(n); i.create_system=3; i.external_attr=mode<<16; z.writestr(i,data)\n",
           Quote(zip));
    const mode_t old = ::umask(027);
    auto ark = Open(zip);
    ark->BaseDir = out;
    ark->ExtractFiles("*.*", 10431, "");
    ::umask(old);
    EXPECT_TRUE(failures.empty());
    for (const std::string name : {"link", "setuid", "fifo", "plain"}) {
        SCOPED_TRACE(name);
        struct stat st {};
        ASSERT_EQ(::lstat((out + "/" + name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, name == "fifo" ? 0640u : 0750u);
    }
    EXPECT_EQ(ReadFile(out + "/link"), "/etc/passwd");
}

TEST_F(ZipExtract, AFailedExtractionLeavesTheOldTarget) {
    const std::string src = dir / "src", out = dir / "out";
    WriteFile(src + "/t.txt", std::string(4000, 'n'));
    const TRun r = Shell("cd " + Quote(src) + " && zip -q ../t.zip t.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string zip = dir / "t.zip", bad = dir / "bad.zip";
    fs::copy_file(zip, bad);
    FlipByte(bad, DataStart(bad, 0) + 5);
    WriteFile(out + "/t.txt", "old");
    // A second name for the old file: written in place, it would change too.
    fs::create_hard_link(out + "/t.txt", dir / "second-link");
    auto ark = Open(bad);
    ark->BaseDir = out;
    ark->ExtractFiles("*.*", 10431, "");
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(Tree(out), (std::map<std::string, std::string>{{"t.txt", "old"}}));
    auto good = Open(zip);
    good->BaseDir = out;
    good->ExtractFiles("*.*", 10431, "");
    EXPECT_EQ(Tree(out), (std::map<std::string, std::string>{{"t.txt", std::string(4000, 'n')}}));
    EXPECT_EQ(ReadFile(dir / "second-link"), "old");
    // Asked to keep damaged data (here: a wrong CRC), it gets the data and
    // the failure is still reported.
    const std::string badCrc = dir / "badcrc.zip";
    fs::copy_file(zip, badCrc);
    WriteFile(out + "/t.txt", "old");
    for (const char* header : {"PK\x03\x04", "PK\x01\x02"})
        FlipByte(badCrc, static_cast<int64_t>(ReadFile(badCrc).find(header)) + (header[2] == 3 ? 14 : 16));
    auto keep = Open(badCrc);
    keep->BaseDir = out;
    keep->ExtractCorruptedFiles = true;
    keep->ExtractFiles("*.*", 10431, "");
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[1].native, 8);
    EXPECT_EQ(ReadFile(out + "/t.txt"), std::string(4000, 'n'));
}

TEST_F(ZipExtract, OverwriteRulesAndReadOnlyTargets) {
    const std::string src = dir / "src", out = dir / "out";
    WriteFile(src + "/r.txt", "new");
    const TRun r = Shell("cd " + Quote(src) + " && zip -q ../r.zip r.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    WriteFile(out + "/r.txt", "old");
    ::chmod((out + "/r.txt").c_str(), 0444);
    auto ark = Open(dir / "r.zip");
    ark->BaseDir = out;
    ark->Options.ReplaceReadOnly = false;
    ark->ExtractFiles("*.*", 10431, "");
    EXPECT_EQ(ReadFile(out + "/r.txt"), "old");
    ark->Options.ReplaceReadOnly = true;
    ark->Options.OverwriteMode = omNever;
    ark->ExtractFiles("*.*", 10431, "");
    EXPECT_EQ(ReadFile(out + "/r.txt"), "old");
    ark->Options.OverwriteMode = omPrompt;
    prompter.QueueResult(ui::mrNo);
    ark->ExtractFiles("*.*", 10431, "");
    EXPECT_EQ(ReadFile(out + "/r.txt"), "old");
    prompter.QueueResult(ui::mrYes);
    ark->ExtractFiles("*.*", 10431, "");
    EXPECT_EQ(ReadFile(out + "/r.txt"), "new");
    EXPECT_TRUE(failures.empty());
}

TEST_F(ZipExtract, BufferRangesUnsupportedMethodsAndValidity) {
    const std::string src = dir / "src";
    std::string data;
    for (int i = 0; i < 300; ++i) data += static_cast<char>('A' + i % 26);
    WriteFile(src + "/r.txt", data);
    WriteFile(src + "/big.bin", std::string(100000, 'b') + RandomBytes(1000, 9));
    const TRun r = Shell("cd " + Quote(src) + " && zip -q ../r.zip r.txt"
                         " && 7zz a -tzip -mm=Deflate64 ../d64.zip big.bin >/dev/null"
                         " && 7zz a -tzip -mem=AES256 -ppw ../aes.zip r.txt >/dev/null");
    // AES entries: the right password reads them, a wrong one does not, and a
    // flipped byte fails the authentication code.
    {
        auto a = Open(dir / "aes.zip", "pw");
        std::string plain;
        a->ExtractToString("r.txt", plain);
        EXPECT_EQ(plain, data);
        EXPECT_FALSE(a->IsFilePasswordValid("r.txt", "wrong"));
        const std::string flipped = dir / "aes-flipped.zip";
        WriteFile(flipped, ReadFile(dir / "aes.zip"));
        FlipByte(flipped, DataStart(flipped, 0) + 16 + 2 + 5);
        failures.clear();
        Open(flipped, "pw")->TestFiles("*.*", 10431, "");
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0].native, 8);
    }
    ASSERT_EQ(r.status, 0) << r.output;
    auto ark = Open(dir / "r.zip");
    char buf[10];
    ark->ExtractToBuffer("r.txt", buf, 10, 100);
    EXPECT_EQ(std::string(buf, 10), data.substr(100, 10));
    EXPECT_THROW(ark->ExtractToBuffer("r.txt", buf, 10, 295), EAvException);
    std::string text;
    try {
        ark->ExtractToString("missing.txt", text);
        FAIL();
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 15);
    }
    const struct {
        const char* archive;
        const char* entry;
        int native;
    } methods[] = {{"d64.zip", "big.bin", 55}};
    for (const auto& m : methods) {
        auto a = Open(dir / m.archive, "pw");
        try {
            a->ExtractToString(m.entry, text);
            FAIL() << m.archive;
        } catch (const EAvException& e) {
            EXPECT_EQ(e.NativeError, m.native) << m.archive;
        }
    }
    TArkivolt probe;
    probe.FileName = dir / "r.zip";
    EXPECT_TRUE(probe.IsValidArchiveFile());
    WriteFile(dir / "text.zip", "just some text, no archive\n");
    probe.FileName = dir / "text.zip";
    EXPECT_FALSE(probe.IsValidArchiveFile());
    // Without its directory an archive is damaged, however well its entries read.
    const std::string bytes = ReadFile(dir / "r.zip");
    WriteFile(dir / "nodir.zip", bytes.substr(0, bytes.find("PK\x01\x02")));
    probe.FileName = dir / "nodir.zip";
    EXPECT_FALSE(probe.IsValidArchiveFile());
}

TEST_F(ZipExtract, ACancelStopsTheRunAndSaysSo) {
    const std::string src = dir / "src", out = dir / "out";
    for (const char* n : {"1.txt", "2.txt", "3.txt"}) WriteFile(src + "/" + n, std::string(3000, n[0]));
    const TRun r = Shell("cd " + Quote(src) + " && zip -q ../c.zip 1.txt 2.txt 3.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    auto ark = Open(dir / "c.zip");
    ark->BaseDir = out;
    ark->OnFileProgress = [](const std::string& name, double, TAvProcessOperation, TAvProgressPhase phase,
                             bool& cancel) { cancel = name == "2.txt" && phase == ppProcess; };
    EXPECT_THROW(ark->ExtractFiles("*.*", 10431, ""), EAvBatchAborted);
    EXPECT_EQ(Tree(out), (std::map<std::string, std::string>{{"1.txt", std::string(3000, '1')}}));
}

TEST_F(ZipExtract, TheHandlerNamesTheFileAndFoldersCanBeLeftOut) {
    const std::string src = dir / "src";
    WriteFile(src + "/top.txt", "top");
    WriteFile(src + "/deep/er/x.txt", "x");
    const TRun r = Shell("cd " + Quote(src) + " && zip -q -r ../h.zip top.txt deep");
    ASSERT_EQ(r.status, 0) << r.output;
    auto ark = Open(dir / "h.zip");
    ark->BaseDir = dir / "named";
    ark->OnExtractFile = [](std::string& name, uint32_t&, const std::string&) {
        if (name == "top.txt") name = "renamed/top2.txt";
        // Even a handler's name stays below the destination.
        if (name == "deep/er/x.txt") name = "/tmp/escaped-x.txt";
    };
    ark->ExtractFiles("*.*", 10431, "");
    EXPECT_EQ(Tree(dir / "named"), (std::map<std::string, std::string>{{"renamed/top2.txt", "top"}}));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].name, "deep/er/x.txt");
    EXPECT_FALSE(FileExists("/tmp/escaped-x.txt"));
    failures.clear();
    auto flat = Open(dir / "h.zip");
    flat->BaseDir = dir / "flat";
    flat->Options.CreateDirs = false;
    flat->ExtractFiles("*.*", 10431, "");
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(Tree(dir / "flat"), (std::map<std::string, std::string>{{"top.txt", "top"}, {"x.txt", "x"}}));
}
