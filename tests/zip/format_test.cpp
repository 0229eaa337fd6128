// The layers under the archiver: messages, the matcher, zlib wrappers, CRC
// and the classic cipher, options, names, the name index and records.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "tests/zip/zip_support.h"
#include "zip/avcrypt.h"
#include "zip/avdirmgr.h"
#include "zip/avexcept.h"
#include "zip/avoptions.h"
#include "zip/avrecords.h"
#include "zip/avstream.h"
#include "zip/avutils.h"
#include "zip/avzlib.h"

using namespace zip;
using namespace ziptest;

TEST(ZipErrors, MessagesCarryNameTextAndFiveDigitCode) {
    TAvNamed named{"Arkivolt1"}, unnamed{""};
    struct Case {
        int code;
        const TAvNamed* comp;
        std::string arg;
        std::string expected;
    } cases[] = {
        {0, nullptr, "", "Unknown error - Native error: 00000"},
        {13, &unnamed, "", "Archive is not open - Native error: 00013"},
        {100, nullptr, "", "Unknown error - Native error: 00100"},
        {12, &named, "/tmp/x.zip", "Arkivolt1: File \"/tmp/x.zip\" not found - Native error: 00012"},
        {61, nullptr, "n", "File name is too long: \r\n\"n\" - Native error: 00061"},
        {67, nullptr, "", "Invalid password. Cannot decompress encrypted file. - Native error: 00067"},
    };
    for (const auto& c : cases) {
        const EAvException e = c.arg.empty() ? EAvException(c.code, c.comp) : EAvException(c.code, c.arg, c.comp);
        EXPECT_EQ(e.Message, c.expected);
        EXPECT_EQ(e.NativeError, c.code);
    }
    EXPECT_EQ(EAvException(34, 10, 7).Message,
              "Invalid compressed size, rfs.size = 10, count = 7 - Native error: 00034");
    EXPECT_EQ(EAvException(40).ErrorCode, 22);
    EXPECT_EQ(EAvException(7).ErrorCode, 1);
}

TEST(ZipStrings, WildcardMatcher) {
    struct Case {
        const char* s;
        const char* p;
        bool ignoreCase, match;
    } cases[] = {
        {"abc", "a*", false, true},    {"abc", "*c", false, true},     {"", "*", false, true},
        {"", "**", false, false},      {"abc", "ab", false, false},    {"ABC", "a?c", true, true},
        {"ABC", "a?c", false, false},  {"anything", "*.*", false, true}, {"a.htm", "*.htm", true, true},
        {"a.html", "*.htm", true, false}, {"aXbXc", "a*b*c", false, true}, {"ab", "a*b*c", false, false},
        {"abcabd", "*abd", false, true},
    };
    for (const auto& c : cases) EXPECT_EQ(IsStrMatchPattern(c.s, c.p, c.ignoreCase), c.match) << c.s << " ~ " << c.p;
    // Many stars must not take exponential time.
    EXPECT_FALSE(IsStrMatchPattern(std::string(200, 'a'), std::string(40, '*') + "b", false));
}

TEST(ZipZlib, ChecksAndWholeBuffers) {
    try {
        CCheck(-3);
        FAIL();
    } catch (const ECompressionError& e) {
        EXPECT_STREQ(e.what(), "error -3");
    }
    EXPECT_THROW(DCheck(-2), EDecompressionError);
    const std::string text = std::string(5000, 'x') + "tail";
    const std::string packed = ZLIBCompressBuf(text, 6);
    EXPECT_EQ(ZLIBDecompressBuf(packed, 0), text);
    std::string damaged = packed;
    damaged[damaged.size() / 2] ^= 0x55;
    EXPECT_EQ(ZLIBDecompressBuf(damaged, 0), "");
    EXPECT_EQ(ZLIBDecompressBuf(packed.substr(0, packed.size() / 2), 0), "");
}

TEST(ZipCrc, VectorsAndTheByteStepAgree) {
    EXPECT_EQ(ZipCrc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(ZipCrc32("abc"), 0x352441C2u);
    EXPECT_EQ(ZipCrc32(""), 0u);
    std::mt19937 rng(7);
    for (size_t len : {1u, 255u, 4096u, 100001u}) {
        std::string data(len, '\0');
        for (char& c : data) c = static_cast<char>(rng());
        // The cipher's key update steps byte by byte through the table.
        uint32_t stepped = 0xFFFFFFFFu;
        for (char c : data) stepped = ZipCrcByte(static_cast<uint8_t>(c), stepped);
        EXPECT_EQ(ZipCrc32(data), ~stepped);
        EXPECT_EQ(ZipCrcUpdate(ZipCrcUpdate(0xFFFFFFFFu, data.data(), len / 3), data.data() + len / 3, len - len / 3),
                  stepped);
    }
}

TEST(ZipClassic, HeaderRoundTripAndCheckByte) {
    TZipKey keys;
    ZipEncryptKeyInit("", keys);
    EXPECT_EQ(keys.k0, 0x12345678u);
    EXPECT_EQ(keys.k1, 0x23456789u);
    EXPECT_EQ(keys.k2, 0x34567890u);
    const uint32_t crc = 0xA1B2C3D4u;
    ZipEncryptKeyInit("secret", keys);
    uint8_t header[12];
    ZipMakeHeader(crc, keys, header);
    uint8_t data[] = {'h', 'e', 'l', 'l', 'o'};
    ZipEncryptBuffer(data, sizeof data, keys);
    TZipKey dec;
    ZipKeyInit("secret", dec, header);
    EXPECT_EQ(header[10], 0xB2);
    EXPECT_EQ(header[11], 0xA1);
    EXPECT_TRUE(ZipHeaderMatches(header, crc, 0, 0));
    EXPECT_FALSE(ZipHeaderMatches(header, crc, 0x1200, kFlagDescriptor));
    EXPECT_TRUE(ZipHeaderMatches(header, crc, 0xA100, kFlagDescriptor));
    ZipDecryptBuffer(data, sizeof data, dec);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 5), "hello");
}

TEST(ZipClassic, RandomHeaderBytesCoverEveryValue) {
    // 0-255, not 0-254: a byte that never occurs would be a biased source.
    bool seen[256] = {};
    uint8_t buf[4096];
    for (int round = 0; round < 8; ++round) {
        AvRandomBytes(buf, sizeof buf);
        for (uint8_t b : buf) seen[b] = true;
    }
    for (int v = 0; v < 256; ++v) EXPECT_TRUE(seen[v]) << v;
}

TEST(ZipOptions, VolumesModesAndLevels) {
    TAvSpanningOptions span;
    span.SetCustomVolumeSize(1000);
    EXPECT_EQ(span.CustomVolumeSize(), 65536);
    span.VolumeSize = vs1_44MB;
    TAvVolumeNumberInfo first;
    first.SetFirstVolume(true);
    EXPECT_EQ(span.GetVolumeSize(first), 1457664);
    span.FirstVolumeSize = 100000;
    EXPECT_EQ(span.GetVolumeSize(first), 100000);
    TAvVolumeNumberInfo fresh, other;
    EXPECT_FALSE(fresh.GetFirstVolume());
    EXPECT_FALSE(fresh.GetLastVolume());
    EXPECT_TRUE(fresh.IsEqualTo(other));
    EXPECT_FALSE(fresh.IsEqualTo(first));
    EXPECT_EQ(LevelFromMode(5), clNormal);
    EXPECT_EQ(ModeFromLevel(clNormal), 6);
    EXPECT_EQ(ChunkSizeForMode(9), 0x180000);
    EXPECT_EQ(ChunkSizeForMode(2), 0x80000);
}

TEST(ZipNames, Utf8ClassesAndOemReading) {
    struct Case {
        std::string s;
        TAvNameKind kind;
    } cases[] = {
        {"plain/name.txt", nkAscii}, {"caf\xC3\xA9", nkUtf8},      {"\xF0\x9F\x98\x80.htm", nkUtf8},
        {"\xC3", nkOther},           {"\x80", nkOther},            {"\xC0\xAF", nkOther},
        {"\xE0\x80\x80", nkOther},   {"\xF5\x80\x80\x80", nkOther}, {"\xF4\x90\x80\x80", nkOther},
    };
    for (const auto& c : cases) EXPECT_EQ(IsUtf8Name(c.s), c.kind) << c.s;
    EXPECT_EQ(DecodeEntryName("caf\xC3\xA9"), "caf\xC3\xA9");
    // Bytes that are not UTF-8 are code page 437: 0x81 is u-umlaut, 0xE1 sharp s.
    EXPECT_EQ(DecodeEntryName("\x81\xE1"), "\xC3\xBC\xC3\x9F");
    EXPECT_FALSE(NameNeedsUtf8("ascii.txt"));
    EXPECT_TRUE(NameNeedsUtf8("\xF0\x9F\x98\x80"));
}

TEST(ZipNames, IndexIsCaseInsensitiveAndLaterDuplicateWins) {
    TAvDirArray dir;
    for (const char* n : {"Docs/A.txt", "b.txt", "docs/a.TXT"}) {
        TDirItem it;
        it.Name = n;
        dir.Append(it);
    }
    int32_t at = -1;
    EXPECT_TRUE(dir.FileExists("B.TXT", at));
    EXPECT_EQ(at, 1);
    EXPECT_TRUE(dir.FileExists("DOCS/a.txt", at));
    EXPECT_EQ(at, 2);
    try {
        dir.SetItemName(0, "c.txt");
        FAIL();
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 59);
    }
    dir.DeleteItem(1);
    EXPECT_FALSE(dir.FileExists("b.txt", at));
    EXPECT_TRUE(dir.FileExists("docs/a.txt", at));
    EXPECT_EQ(at, 1);
    EXPECT_THROW(dir.GetItem(5), EAvException);
    // Past five names per bucket the index is rebuilt larger, still right.
    TAvDirArray big;
    for (int i = 0; i < 6000; ++i) {
        TDirItem it;
        it.Name = "f" + std::to_string(i);
        big.Append(it);
        if (i == 10) big.FileExists("f1", at);
    }
    EXPECT_TRUE(big.FileExists("F5999", at));
    EXPECT_EQ(at, 5999);
}

TEST(ZipPaths, StoredNamesNeverClimbAboveTheBase) {
    struct Case {
        std::string file, base;
        TAvStorePathMode mode;
        std::string stored;
    } cases[] = {
        {"/home/u/rcvd/box/a.htm", "/", spRelativePath, "home/u/rcvd/box/a.htm"},
        {"/home/u/rcvd/box/a.htm", "/home/u", spRelativePath, "rcvd/box/a.htm"},
        {"sub/./b.htm", "/home/u", spRelativePath, "sub/b.htm"},
        {"../etc/passwd", "/home/u", spRelativePath, "home/etc/passwd"},
        {"/home/u/x/../y.htm", "/home/u", spRelativePath, "y.htm"},
        {"/home/u/a.htm", "/home/u/rcvd", spRelativePath, "home/u/a.htm"},
        {"/home/u/a.htm", "/home/u", spNoPath, "a.htm"},
        {"/home/u/a.htm", "/home/u", spFullPath, "home/u/a.htm"},
    };
    for (const auto& c : cases) EXPECT_EQ(MakeStoredName(c.file, c.base, c.mode), c.stored) << c.file;
}

TEST(ZipDates, DosFormHasTwoSecondSteps) {
    const time_t t = 1700000001;  // an odd second
    const uint32_t dos = UnixToDos(t);
    EXPECT_EQ(UnixToDos(t - 1), dos);
    EXPECT_EQ(DosToUnix(dos), t - 1);
    EXPECT_EQ(UnixToDos(0) >> 16, (0u << 9 | 1u << 5 | 1u));  // clamped to 1980
}

TEST(ZipRecords, EndSignatureInsideTheCommentIsNotTaken) {
    TScratch dir;
    const std::string zip = dir / "c.zip";
    // A comment holding an end record whose comment would run past the file.
    const TRun r = Shell("/usr/bin/python3 -c " +
                       Quote("import zipfile,struct,sys\n"
                             "z=zipfile.ZipFile(sys.argv[1],'w')\n"
                             "z.writestr('a.txt','hello')\n"
                             "z.comment=b'note '+struct.pack('<IHHHHIIH',0x06054b50,0,0,9,9,1,0,200)+b' end'\n"
                             "z.close()\n") +
                       " " + Quote(zip));
    ASSERT_EQ(r.status, 0) << r.output;
    TAvFileStream s(zip, TAvFileStream::ofRead);
    TAvEndRecord end;
    std::string comment;
    const int64_t at = FindEndRecord(s, end, comment);
    ASSERT_GE(at, 0);
    EXPECT_EQ(end.TotalEntries, 1);
    EXPECT_EQ(comment.substr(0, 5), "note ");
    TAvDirManager m(&s);
    m.LoadDir(false);
    ASSERT_EQ(m.Items.Count(), 1);
    EXPECT_EQ(m.Items[0].Name, "a.txt");
}

namespace {

// An archive of empty entries: each local header, then the directory.
std::string ArchiveOf(TAvDirArray& items) {
    std::string bytes;
    for (int32_t i = 0; i < items.Count(); ++i) {
        TDirItem& it = items.GetItemPtr(i);
        it.SetOffset(static_cast<int64_t>(bytes.size()));
        bytes += LocalHeaderBytes(it);
    }
    return bytes + TAvDirManager::DirectoryBytes(items, static_cast<int64_t>(bytes.size()), "");
}

}  // namespace

TEST(ZipRecords, OverlongExtraBlockIsCutAndTheNextHeaderStillFound) {
    TDirItem it;
    std::string extra;
    Put16(extra, 0x5455);
    Put16(extra, 9);
    extra += "abc";  // says 9, has 3
    ParseExtraField(it, extra);
    ASSERT_EQ(it.ExtraFields.size(), 1u);
    EXPECT_EQ(it.ExtraFields[0].Data, "abc");
    // Through the manager: the declared extra length bounds the area.
    TAvDirArray items;
    TDirItem a, b;
    a.Name = "a";
    a.ExtraFields = it.ExtraFields;
    b.Name = "b";
    items.Append(a);
    items.Append(b);
    TAvMemoryStream s(ArchiveOf(items));
    TAvDirManager m(&s);
    m.LoadDir(false);
    ASSERT_EQ(m.Items.Count(), 2);
    EXPECT_EQ(m.Items[1].Name, "b");
}

TEST(ZipRecords, ManyEntriesGetZip64EndRecords) {
    TAvDirArray items;
    for (int i = 0; i < 0xFFFF; ++i) {
        TDirItem it;
        it.Name = std::to_string(i);
        items.Append(it);
    }
    const std::string bytes = ArchiveOf(items);
    const size_t end = bytes.size() - kEndSize;
    EXPECT_EQ(Get32(bytes, end), kEndSig);
    EXPECT_EQ(Get16(bytes, end + 8), 0xFFFF);
    EXPECT_EQ(Get32(bytes, end - kLocatorSize), kZip64LocatorSig);
    EXPECT_EQ(Get32(bytes, end - kLocatorSize - kZip64EndSize), kZip64EndSig);
    TAvMemoryStream s(bytes);
    TAvDirManager m(&s);
    m.LoadDir(false);
    EXPECT_TRUE(m.IsZip64);
    EXPECT_EQ(m.Items.Count(), 0xFFFF);
}

TEST(ZipRecords, CountTheDirectoryCannotHoldIsDamage) {
    std::string bytes = EndRecordsBytes(1, 0, 0, "");  // one entry in a 0-byte directory
    TAvMemoryStream s(bytes);
    TAvDirManager m(&s);
    try {
        m.LoadDir(false);
        FAIL();
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 57);
    }
}

TEST(ZipRecords, LocatorLeadingNowhereIsAnErrorUnlessRepairing) {
    std::string bytes = "data before";
    Put32(bytes, kZip64LocatorSig);
    Put32(bytes, 0);
    Put64(bytes, 0);  // no zip64 end record there
    Put32(bytes, 1);
    bytes += EndRecordsBytes(0, 0, static_cast<int64_t>(bytes.size()), "");
    TAvMemoryStream s(bytes);
    TAvDirManager strict(&s);
    try {
        strict.LoadDir(false);
        FAIL();
    } catch (const EAvException& e) {
        EXPECT_EQ(e.NativeError, 40);
    }
    TAvDirManager repairing(&s);
    repairing.LoadDir(true);
    EXPECT_FALSE(repairing.IsZip64);
    EXPECT_EQ(repairing.Items.Count(), 0);
}
