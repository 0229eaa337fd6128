// Archives written by other tools, read by the directory manager: the
// listing must equal Python's, and classic-encrypted data must decrypt.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>

#include "tests/zip/zip_support.h"
#include "zip/arkivolt.h"
#include "zip/avcrypt.h"
#include "zip/avrecords.h"
#include "zip/avstream.h"

using namespace zip;
using namespace ziptest;

namespace {

std::string OurListing(const std::string& zipFile) {
    TArkivolt ark;
    ark.FileName = zipFile;
    ark.OpenArchive(kModeReadOnly);
    std::string out;
    const TAvDirArray& d = ark.Directory();
    for (int32_t i = 0; i < d.Count(); ++i) {
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08x", d[i].Crc32);
        out += d[i].Name + "|" + std::to_string(d[i].USize()) + "|" + crc + "\n";
    }
    return out;
}

std::string RawInflate(const std::string& in) {
    z_stream zs{};
    inflateInit2(&zs, -MAX_WBITS);
    std::string out;
    char buf[65536];
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = static_cast<uInt>(in.size());
    int r;
    do {
        zs.next_out = reinterpret_cast<Bytef*>(buf);
        zs.avail_out = sizeof buf;
        r = inflate(&zs, Z_NO_FLUSH);
        out.append(buf, sizeof buf - zs.avail_out);
    } while (r == Z_OK);
    inflateEnd(&zs);
    return out;
}

// The data of entry i, decrypted with the classic cipher and inflated.
std::string ClassicEntry(const std::string& zipFile, int i, const std::string& password, bool* checkOk) {
    TAvFileStream s(zipFile, TAvFileStream::ofRead);
    TAvDirManager m(&s);
    m.LoadDir(false);
    const TDirItem& it = m.Items[i];
    s.SetPosition(it.Offset());
    const std::string h = s.ReadString(30);
    std::string data = s.ReadString(Get16(h, 26) + Get16(h, 28) + it.CSize()).substr(Get16(h, 26) + Get16(h, 28));
    TZipKey keys;
    auto* p = reinterpret_cast<uint8_t*>(data.data());
    ZipKeyInit(password, keys, p);
    *checkOk = ZipHeaderMatches(p, it.Crc32, it.LastModTime, it.Flags);
    ZipDecryptBuffer(p + 12, data.size() - 12, keys);
    const std::string body = data.substr(12);
    return it.CompressionMethod == 8 ? RawInflate(body) : body;
}

}  // namespace

TEST(ZipReaders, InfoZipZip64AndPassword) {
    TScratch dir;
    WriteFile(dir / "in/one.txt", std::string(4000, '1'));
    WriteFile(dir / "in/two.txt", "two");
    const std::string z64 = dir / "z64.zip", pw = dir / "pw.zip";
    TRun r = Shell("cd " + Quote(dir.Path()) + " && zip -q -fz -r z64.zip in && zip -q -P geheim -r pw.zip in");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(OurListing(z64), PythonListing(z64));
    EXPECT_NE(OurListing(z64).find("in/one.txt|4000|"), std::string::npos);
    EXPECT_EQ(OurListing(pw), PythonListing(pw));
    // zip sets the descriptor bit, so its check byte is the time's.
    TAvFileStream s(pw, TAvFileStream::ofRead);
    TAvDirManager m(&s);
    m.LoadDir(false);
    int one = -1;
    ASSERT_TRUE(m.Items.FileExists("in/one.txt", one));
    bool ok = false;
    EXPECT_EQ(ClassicEntry(pw, one, "geheim", &ok), std::string(4000, '1'));
    EXPECT_TRUE(ok);
    ClassicEntry(pw, one, "wrong!", &ok);
    // One check byte: a wrong password passes it only by a 1-in-256 chance.
    (void)ok;
}

TEST(ZipReaders, SevenZipClassicEncryption) {
    TScratch dir;
    WriteFile(dir / "f.txt", std::string(777, 'q') + "z");
    const std::string zip = dir / "7.zip";
    const TRun r = Shell("cd " + Quote(dir.Path()) + " && 7zz a -tzip -mem=ZipCrypto -pkennwort 7.zip f.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(OurListing(zip), PythonListing(zip));
    bool ok = false;
    EXPECT_EQ(ClassicEntry(zip, 0, "kennwort", &ok), std::string(777, 'q') + "z");
    EXPECT_TRUE(ok);
}

TEST(ZipReaders, PythonManyEntriesNamesCommentsAndDescriptors) {
    TScratch dir;
    const std::string many = dir / "many.zip", misc = dir / "misc.zip";
    const TRun r = Shell("/usr/bin/python3 -c " +
                       Quote("import sys,zipfile,io\n"
                             "with zipfile.ZipFile(sys.argv[1],'w') as z:\n"
                             "  for i in range(65536): z.writestr('e%05d'%i, b'')\n"
                             "class U(io.RawIOBase):\n"
                             "  def __init__(s,f): s.f=f\n"
                             "  def writable(s): return True\n"
                             "  def write(s,b): return s.f.write(b)\n"
                             "with open(sys.argv[2],'wb') as f:\n"
                             "  with zipfile.ZipFile(U(f),'w',zipfile.ZIP_DEFLATED) as z:\n"
                             "    z.comment=b'archive comment'\n"
                             "    i=zipfile.ZipInfo('d\\u00e9j\\u00e0/\\u65e5\\u672c.txt'); i.comment=b'entry comment'\n"
                             "    z.writestr(i,'x'*5000)\n"
                             "    with z.open('streamed.txt','w') as w: w.write(b'y'*3000)\n") +
                       " " + Quote(many) + " " + Quote(misc));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(OurListing(many), PythonListing(many));
    EXPECT_EQ(OurListing(misc), PythonListing(misc));
    TArkivolt ark;
    ark.FileName = misc;
    ark.OpenArchive(kModeReadOnly);
    EXPECT_EQ(ark.Comment(), "archive comment");
    EXPECT_EQ(ark.Directory()[0].Comment, "entry comment");
    EXPECT_TRUE(ark.Directory()[1].Flags & kFlagDescriptor);
}

TEST(ZipReaders, StubInFrontAndLostDirectory) {
    TScratch dir;
    WriteFile(dir / "a.txt", std::string(2000, 'a'));
    WriteFile(dir / "b.txt", "bbb");
    const TRun r = Shell("cd " + Quote(dir.Path()) + " && zip -q plain.zip a.txt b.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string plain = ReadFile(dir / "plain.zip");
    const std::string stub(1000, '\x7f');
    WriteFile(dir / "stub.zip", stub + plain);
    // Offsets not adjusted: every entry moves by the stub's size.
    TAvFileStream s(dir / "stub.zip", TAvFileStream::ofRead);
    TAvDirManager m(&s);
    m.LoadDir(false);
    ASSERT_EQ(m.Items.Count(), 2);
    for (int i = 0; i < 2; ++i) {
        s.SetPosition(m.Items[i].Offset());
        EXPECT_EQ(Get32(s.ReadString(4), 0), kLocalSig);
    }
    // The end record cut off: the directory comes back from the local headers.
    TAvEndRecord end;
    std::string comment;
    TAvMemoryStream whole(plain);
    const int64_t at = FindEndRecord(whole, end, comment);
    TAvMemoryStream cut(plain.substr(0, static_cast<size_t>(at) - end.CentralDirSize));
    TAvDirManager rebuilt(&cut);
    rebuilt.LoadDir(true);
    ASSERT_EQ(rebuilt.Items.Count(), 2);
    EXPECT_EQ(rebuilt.Items[0].Name, "a.txt");
    EXPECT_EQ(rebuilt.Items[1].USize(), 3);
    EXPECT_EQ(rebuilt.Items[1].Crc32, ZipCrc32("bbb"));
    // Nothing zip-like at all.
    TAvMemoryStream junk(std::string(500, 'j'));
    TAvDirManager none(&junk);
    try {
        none.LoadDir(true);
        FAIL();
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 35);
    }
}

TEST(ZipReaders, RebuildTakesSizesFromDataDescriptors) {
    TScratch dir;
    const std::string zip = dir / "dd.zip";
    const TRun r = Shell("/usr/bin/python3 -c " +
                       Quote("import sys,zipfile,io\n"
                             "class U(io.RawIOBase):\n"
                             "  def __init__(s,f): s.f=f\n"
                             "  def writable(s): return True\n"
                             "  def write(s,b): return s.f.write(b)\n"
                             "with open(sys.argv[1],'wb') as f:\n"
                             "  with zipfile.ZipFile(U(f),'w',zipfile.ZIP_DEFLATED) as z:\n"
                             "    with z.open('s.txt','w') as w: w.write(b'z'*4321)\n") +
                       " " + Quote(zip));
    ASSERT_EQ(r.status, 0) << r.output;
    std::string bytes = ReadFile(zip);
    TAvMemoryStream whole(bytes);
    TAvEndRecord end;
    std::string comment;
    const int64_t at = FindEndRecord(whole, end, comment);
    TAvMemoryStream cut(bytes.substr(0, static_cast<size_t>(at) - end.CentralDirSize));
    TAvDirManager m(&cut);
    m.LoadDir(true);
    ASSERT_EQ(m.Items.Count(), 1);
    EXPECT_EQ(m.Items[0].USize(), 4321);
    EXPECT_EQ(m.Items[0].Crc32, ZipCrc32(std::string(4321, 'z')));
}
