#include <gtest/gtest.h>

#include <QUrl>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "helpers/kwutil.h"
#include "mailbox/hdrdecode.h"
#include "mailbox/msgrender.h"
#include "tests/mailbox/render_input.h"
#include "platform/rtl/sysutils.h"

using namespace mailbox;
namespace fs = std::filesystem;

namespace {

using rendertest::captureHeaders;
using rendertest::readFile;

void writeFile(const fs::path& p, std::string_view data) {
    std::ofstream f(p, std::ios::binary);
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// Folders named with a blank and "#", so that every link must be encoded.
class Render : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        helpers::homedir = PWX_DATA_DIR "/";
        fixtures_ = fs::temp_directory_path() / ("render-fixtures-" + std::to_string(::getpid()));
        const std::string cmd =
            std::string("/usr/bin/python3 ") + RENDER_FIXTURE_SCRIPT + " '" + fixtures_.string() + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    }
    static void TearDownTestSuite() { fs::remove_all(fixtures_); }

    void SetUp() override {
        root_ = fs::temp_directory_path() / ("render-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        folder_ = root_ / "rcvd dir#1" / "box";
        program_ = root_ / "prog";
        fs::create_directories(program_);
    }
    void TearDown() override {
        if (!std::getenv("RENDER_KEEP")) fs::remove_all(root_);
    }

    TRenderInput input(std::string_view message, const std::string& from) const {
        TRenderInput in;
        std::string text(message);
        in.lines.Clear();
        size_t i = 0;
        while (i < text.size()) {
            size_t e = text.find('\n', i);
            if (e == std::string::npos) e = text.size();
            std::string line = text.substr(i, e - i);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            in.lines.Add(line);
            i = e + 1;
        }
        captureHeaders(in);
        in.From = from;
        in.folder = folder_.string();
        in.programFolder = program_.string() + "/";
        return in;
    }
    TRenderInput fixture(const std::string& name) const {
        TRenderInput in = input(readFile(fixtures_ / (name + ".eml")), "");
        std::string cs;
        in.From = DecodeEncodedWords(in.HdrFrom, true, cs);
        return in;
    }
    static std::string part(const std::string& name, int n) {
        return readFile(fixtures_ / (name + ".part" + std::to_string(n)));
    }
    std::string inFolder(const std::string& name) const { return (folder_ / name).string(); }
    std::set<std::string> folderNames() const {
        std::set<std::string> r;
        for (const auto& e : fs::directory_iterator(folder_)) r.insert(e.path().filename().string());
        return r;
    }
    // Every file under the test's root, as paths relative to it.
    std::set<std::string> allFiles() const {
        std::set<std::string> r;
        for (const auto& e : fs::recursive_directory_iterator(root_))
            if (e.is_regular_file()) r.insert(fs::relative(e.path(), root_).string());
        return r;
    }

    static inline fs::path fixtures_;
    fs::path root_, folder_, program_;
};

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> r;
    size_t i = 0;
    for (size_t e; (e = s.find(sep, i)) != std::string::npos; i = e + 1) r.push_back(s.substr(i, e - i));
    if (i < s.size()) r.push_back(s.substr(i));
    return r;
}

size_t posOf(const std::string& page, const std::string& what) {
    const size_t p = page.find(what);
    EXPECT_NE(p, std::string::npos) << "missing: " << what;
    return p;
}

}  // namespace

TEST_F(Render, AlternativePartsInlinePictureAndAttachments) {
    const TRenderResult r = RenderMessage(fixture("alternative"));
    ASSERT_TRUE(r.ok) << ::testing::PrintToString(r.problems);
    EXPECT_EQ(r.PagePath, inFolder("Name_1.htm"));
    EXPECT_EQ(r.Charset, "utf-8");  // the HTML part's set
    const std::string page = readFile(r.PagePath);
    EXPECT_TRUE(helpers::isutf8(page));
    EXPECT_EQ(page.find_first_of(std::string{kTagOpen, kTagClose}), std::string::npos);

    // Saved parts, byte for byte, all beside the page: the cid picture has
    // no name and is named after the message and its place in it.
    const auto att = split(r.Attachment, '|');
    ASSERT_EQ(att.size(), 3u) << r.Attachment;
    EXPECT_EQ(r.Saved, att);
    EXPECT_EQ(fs::path(att[0]).parent_path(), folder_);
    EXPECT_TRUE(att[0].ends_with(".png")) << att[0];
    EXPECT_TRUE(fs::is_empty(program_));
    EXPECT_EQ(att[1], inFolder("x_1.pdf"));
    EXPECT_EQ(att[2], inFolder("loose_1.png"));
    EXPECT_EQ(readFile(att[0]), part("alternative", 1));
    EXPECT_EQ(readFile(att[1]), part("alternative", 2));
    EXPECT_EQ(readFile(att[2]), part("alternative", 3));

    // The layout, in its order.
    const size_t meta = posOf(page, "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html;charset=utf-8\">\r\n"
                                    "<META HTTP-EQUIV=\"X-UA-Compatible\" CONTENT=\"IE=EmulateIE11\">\r\n");
    EXPECT_EQ(meta, 0u);
    const size_t all = posOf(page, "<SPAN ID=\"kwemallhdrs\"");
    const size_t subj = posOf(page, ">Subject: Gr\xC3\xBC\xC3\x9F" "e und mehr</SPAN><BR>\r\n<BR>\r\n");
    const size_t plain = posOf(page, "<SPAN ID=\"kwemplaintex\"");
    const size_t body = posOf(page, "<p>Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC</p>");
    const size_t attached = posOf(page, "<SPAN ID=\"kwemattached\"");
    EXPECT_LT(all, subj);
    EXPECT_LT(subj, plain);
    EXPECT_LT(plain, body);
    EXPECT_LT(body, attached);
    EXPECT_TRUE(page.ends_with("</BODY></HTML>"));
    // The plain text, converted from Latin-1 and escaped.
    const size_t plainEnd = page.find("</SPAN>", plain);
    EXPECT_NE(page.substr(plain, plainEnd - plain).find("Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln, plain &lt;b&gt;text&lt;/b&gt;"),
              std::string::npos);

    // The cid reference points at the saved picture; the other picture and
    // the PDF are in the Attachments block.
    EXPECT_NE(page.find("<img src=\"" + FileUrl(att[0]) + "\">"), std::string::npos);
    EXPECT_EQ(page.find("cid:"), std::string::npos);
    const std::string tail = page.substr(attached);
    EXPECT_NE(tail.find("<BR><IMG SRC=\"" + FileUrl(att[2]) + "\"><BR>"), std::string::npos);
    EXPECT_NE(tail.find("<BR> ATTACHMENT <A TARGET=\"_blank\" HREF=\"" + FileUrl(att[1]) + "\">" + att[1] +
                        "</A><BR>"),
              std::string::npos);
}

TEST_F(Render, SameNameAndSizeWithOtherContentIsKeptApart) {
    // A file of the first attachment's name and size but other bytes is there.
    const std::string a = part("samename", 1), b = part("samename", 2);
    ASSERT_EQ(a.size(), b.size());
    fs::create_directories(folder_);
    std::string other(a.size(), 'z');
    writeFile(folder_ / "x_1.pdf", other);

    const TRenderResult r = RenderMessage(fixture("samename"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.Attachment, inFolder("x_2.pdf") + "|" + inFolder("x_3.pdf") + "|");
    EXPECT_EQ(r.Saved, (std::vector<std::string>{inFolder("x_2.pdf"), inFolder("x_3.pdf"), inFolder("x_2.pdf")}));
    EXPECT_EQ(readFile(folder_ / "x_1.pdf"), other);
    EXPECT_EQ(readFile(folder_ / "x_2.pdf"), a);
    EXPECT_EQ(readFile(folder_ / "x_3.pdf"), b);
    EXPECT_EQ(folderNames(), (std::set<std::string>{"Name_1.htm", "x_1.pdf", "x_2.pdf", "x_3.pdf"}));

    // Fetched again, the same page and the same files are taken.
    TRenderInput again = fixture("samename");
    again.PagePath = r.PagePath;
    again.reload = true;
    const TRenderResult r2 = RenderMessage(again);
    EXPECT_TRUE(r2.reused);
    EXPECT_EQ(r2.PagePath, r.PagePath);
    EXPECT_EQ(folderNames(), (std::set<std::string>{"Name_1.htm", "x_1.pdf", "x_2.pdf", "x_3.pdf"}));

    // Another message from the same sender gets the next number.
    const TRenderResult r3 = RenderMessage(fixture("alternative"));
    EXPECT_EQ(r3.PagePath, inFolder("Name_2.htm"));
}

// Pages are not forced to the disk: a crash may leave an empty file under a
// page's name, which the next page of that name takes over.
TEST_F(Render, EmptyLeftoverPageIsTakenOver) {
    fs::create_directories(folder_);
    writeFile(folder_ / "Name_1.htm", "");
    const TRenderResult r = RenderMessage(fixture("samename"));
    ASSERT_TRUE(r.ok);
    EXPECT_FALSE(r.reused);
    EXPECT_EQ(r.PagePath, inFolder("Name_1.htm"));
    EXPECT_NE(readFile(folder_ / "Name_1.htm").find("x_1.pdf"), std::string::npos);
    EXPECT_EQ(folderNames(), (std::set<std::string>{"Name_1.htm", "x_1.pdf", "x_2.pdf"}));
}

TEST_F(Render, ExistingPageIsShownWithoutRendering) {
    fs::create_directories(folder_);
    writeFile(folder_ / "Old_1.htm", "old page");
    TRenderInput in = fixture("samename");
    in.PagePath = inFolder("Old_1.htm");
    const TRenderResult r = RenderMessage(in);
    EXPECT_TRUE(r.ok && r.reused);
    EXPECT_EQ(r.PagePath, in.PagePath);
    EXPECT_EQ(folderNames(), std::set<std::string>{"Old_1.htm"});
}

TEST_F(Render, Rfc2231NamesAndNestedParts) {
    const TRenderResult r = RenderMessage(fixture("rfc2231"));
    ASSERT_TRUE(r.ok);
    const std::string longName = std::string(90, 'x') + "_1.dat";
    const std::string naive = "na\xC3\xAFve r\xC3\xA9sum\xC3\xA9_1.dat";
    EXPECT_EQ(r.Attachment, inFolder(naive) + "|" + inFolder(longName) + "|");
    EXPECT_EQ(readFile(folder_ / naive), part("rfc2231", 1));
    EXPECT_EQ(readFile(folder_ / longName), part("rfc2231", 2));

    // Three levels deep, the HTML in Base64 and windows-1252.
    const TRenderResult n = RenderMessage(fixture("nested"));
    ASSERT_TRUE(n.ok);
    const std::string page = readFile(n.PagePath);
    EXPECT_NE(page.find("<p>HTML \xE2\x82\xAC sign</p>"), std::string::npos);
    EXPECT_NE(page.find("plain \xE2\x82\xAC"), std::string::npos);
    EXPECT_EQ(n.Attachment, inFolder("nested_1.pdf") + "|");
    EXPECT_EQ(readFile(folder_ / "nested_1.pdf"), part("nested", 1));
    EXPECT_TRUE(helpers::isutf8(page));
}

TEST_F(Render, PartNamesNeverLeaveTheFolder) {
    const TRenderResult r = RenderMessage(fixture("evilnames"));
    ASSERT_TRUE(r.ok);
    const std::string page = fs::path(r.PagePath).filename().string();
    EXPECT_EQ(folderNames(), (std::set<std::string>{page, "escape_1.dat", "win_1.dat", "hidden_1", "attachment_1",
                                                    "c_d_e__1.dat"}));
    const std::string box = fs::relative(folder_, root_).string() + "/";
    EXPECT_EQ(allFiles(), (std::set<std::string>{box + page, box + "escape_1.dat", box + "win_1.dat",
                                                 box + "hidden_1", box + "attachment_1", box + "c_d_e__1.dat"}));
    EXPECT_EQ(readFile(folder_ / "escape_1.dat"), part("evilnames", 1));
    EXPECT_EQ(readFile(folder_ / "c_d_e__1.dat"), part("evilnames", 5));
}

TEST_F(Render, PlainTextIsConvertedAndEscaped) {
    const TRenderResult r = RenderMessage(fixture("latin1"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.PagePath, inFolder("Jorgjexampleorg_1.htm"));
    EXPECT_EQ(r.Charset, "iso-8859-1");
    const std::string page = readFile(r.PagePath);
    EXPECT_TRUE(helpers::isutf8(page));
    EXPECT_NE(page.find("Caf\xC3\xA9 &lt;script&gt;alert(1)&lt;/script&gt; &amp; more"), std::string::npos);
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_NE(page.find(">From: J\xC3\xB6rg &lt;"), std::string::npos);
}

TEST_F(Render, EdgeCasesOfThePage) {
    // No blank line: no header block; a sender without letters or digits.
    TRenderResult r = RenderMessage(input("just one line of text", "!!! ???"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.PagePath, inFolder("RCV_1.htm"));
    std::string page = readFile(r.PagePath);
    EXPECT_EQ(page.find("kwemallhdrs"), std::string::npos);
    EXPECT_NE(page.find("just one line of text"), std::string::npos);

    // Plain text stays text, whatever it mentions.
    r = RenderMessage(input("Subject: x\r\n\r\nsee content-type: text/html <b>bold</b>\r\n", "a_b_c"));
    EXPECT_EQ(r.PagePath, inFolder("a_b_1.htm"));
    EXPECT_NE(readFile(r.PagePath).find("&lt;b&gt;bold&lt;/b&gt;"), std::string::npos);

    // The message's own placeholder characters never become tags.
    r = RenderMessage(input("Subject: x\r\n\r\n\x1Escript\x1F" "alert(1)\x1E/script\x1F\r\n", "tags"));
    page = readFile(r.PagePath);
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_NE(page.find("alert(1)"), std::string::npos);
}

TEST_F(Render, EncipheredRowShowsDecipheredTextAndSavesNoParts) {
    const std::string key = "k3y";
    const std::string body = helpers::numcipher("secret body\r\nQUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo=", key);
    TRenderInput in = input("Subject: " + helpers::numcipher("hidden subject", key) + "\r\n\r\n" + body + "\r\n",
                            "Sender");
    in.Enciphered = true;
    in.mailKey = key;
    const TRenderResult r = RenderMessage(in);
    ASSERT_TRUE(r.ok);
    const std::string page = readFile(r.PagePath);
    EXPECT_NE(page.find("Subject: hidden subject"), std::string::npos);
    EXPECT_NE(page.find("secret body<BR>\r\nQUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo="), std::string::npos);
    EXPECT_EQ(r.Attachment, "");
    EXPECT_EQ(folderNames(), std::set<std::string>{"Sender_1.htm"});
    EXPECT_TRUE(fs::is_empty(program_));
}

// Header words are found in any letter case wherever they stand, also
// among many "=" (quoted-printable text) just before them: the boundary
// lines become separators and the quoted-printable part is decoded.
TEST_F(Render, HeaderWordsAreFoundAtEveryOffset) {
    for (size_t k = 0; k <= 40; ++k) {
        const std::string message = "X-Filler: " + std::string(k, '=') +
                                    "\r\nContent-Type: multipart/mixed; BoUnDaRY=\"sep12345\"\r\n\r\n--sep12345\r\n"
                                    "Content-Type: text/plain; charset=utf-8\r\n"
                                    "Content-Transfer-ENCODING:  Quoted-Printable\r\n\r\n"
                                    "caf=C3=A9 =3D" + std::string(k, 'x') + "\r\n--sep12345--\r\n";
        const TRenderResult r = RenderMessage(input(message, "k" + std::to_string(k)));
        ASSERT_TRUE(r.ok) << k;
        const std::string page = readFile(r.PagePath);
        EXPECT_EQ(page.find("--sep12345"), std::string::npos) << k;
        EXPECT_NE(page.find("caf\xC3\xA9 =" + std::string(k, 'x')), std::string::npos) << k;
        EXPECT_TRUE(r.problems.empty()) << k << ": " << ::testing::PrintToString(r.problems);
    }
}

// Broken structure renders what it can and says what it could not.
TEST_F(Render, BrokenStructureIsReported) {
    const std::string att = "Content-Type: application/pdf\r\nContent-Disposition: attachment; filename=r.pdf\r\n"
                            "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQKJSBmaXJzdAoAAQIDBAUGBwgJ\r\n";
    std::string deep = "Content-Type: multipart/mixed; boundary=\"b0\"\r\n\r\n";
    for (int i = 1; i <= 12000; ++i)
        deep += "--b" + std::to_string(i - 1) + "\r\nContent-Type: multipart/mixed; boundary=\"b" + std::to_string(i) +
                "\"\r\n\r\n";
    deep += "--b12000\r\n" + att;
    struct Case {
        const char* name;
        std::string message;
        const char* problem;
        bool saved;  // the attachment is a part all the same
    };
    const Case cases[] = {
        {"unused", "Content-Type: multipart/mixed; boundary=\"zzzzzz\"\r\n\r\n--other\r\n" + att, "never used", false},
        {"unclosed", "Content-Type: multipart/mixed; boundary=\"bbbbbb\"\r\n\r\n--bbbbbb\r\n" + att, "never closed", true},
        {"inner unclosed", "Content-Type: multipart/mixed; boundary=\"out\"\r\n\r\n--out\r\n"
                           "Content-Type: multipart/mixed; boundary=\"in\"\r\n\r\n--in\r\n" + att + "--out--\r\n",
         "never closed: its last part runs to the next outer boundary", true},
        {"deep", deep, "More than 9999 boundaries", false},
    };
    for (const auto& c : cases) {
        const TRenderResult r = RenderMessage(input(c.message, c.name));
        ASSERT_TRUE(r.ok) << c.name;
        const std::string all = ::testing::PrintToString(r.problems);
        EXPECT_NE(all.find(c.problem), std::string::npos) << c.name << ": " << all;
        EXPECT_EQ(r.Attachment.find("r_1.pdf|") != std::string::npos, c.saved) << c.name << ": " << r.Attachment;
        // What is no part is shown as text, not dropped.
        if (!c.saved) EXPECT_NE(readFile(r.PagePath).find("JVBERi0xLjQKJSBmaXJzdAoAAQIDBAUGBwgJ"), std::string::npos) << c.name;
    }

    // A part above the size cap is not kept and says so; the page is written.
    TRenderLimits small;
    small.maxPartBytes = 8;
    const TRenderResult r = RenderMessage(
        input("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n" + att + "--b--\r\n", "big"), small);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.Attachment, "");
    EXPECT_NE(::testing::PrintToString(r.problems).find("too large"), std::string::npos);
    EXPECT_NE(readFile(r.PagePath).find("[part too large to keep]"), std::string::npos);
}

TEST(RenderNames, FileUrlsAndSafeNames) {
    for (const std::string path : {"/tmp/a b/c#d%e.pdf", "/tmp/\xC3\xA9t\xC3\xA9/x?.png", "/plain/path.htm",
                                   "/q\"uote/a&b'c.txt"}) {
        const std::string url = FileUrl(path);
        EXPECT_TRUE(url.starts_with("file:///")) << url;
        EXPECT_FALSE(url.starts_with("file:////")) << url;
        EXPECT_EQ(url.find_first_of(" #?\"'&<>"), std::string::npos) << url;
        EXPECT_EQ(QUrl(QString::fromStdString(url)).toLocalFile().toStdString(), path) << url;
    }
    struct Case {
        const char* in;
        const char* want;
    };
    const Case cases[] = {
        {"../../etc/passwd", "passwd"}, {"..\\..\\boot.ini", "boot.ini"}, {"...", "attachment"},
        {".bashrc", "bashrc"},          {"a\nb\tc.txt", "abc.txt"},      {"na\xC3\xAFve.pdf", "na\xC3\xAFve.pdf"},
        {"S\xC3\xB8ren.txt", "S\xC3\xB8ren.txt"}, {"\xCE\x88\xCE\xBA\xCE\xB8\xCE\xB5\xCF\x83\xCE\xB7.pdf", "\xCE\x88\xCE\xBA\xCE\xB8\xCE\xB5\xCF\x83\xCE\xB7.pdf"},
        {"a:b*c?.txt", "a_b_c_.txt"},   {"Pr\xFC" "fbericht.pdf", "Pr\xC3\xBC" "fbericht.pdf"},
        {"x. ", "x"},                   {"", "attachment"},
    };
    for (const auto& c : cases) EXPECT_EQ(SafePartName(c.in), c.want) << c.in;
    EXPECT_LE(SafePartName(std::string(400, 'n') + ".pdf").size(), 160u);
    EXPECT_TRUE(SafePartName(std::string(400, 'n') + ".pdf").ends_with(".pdf"));
    // Cut between characters, never inside one.
    std::string greek;
    for (int i = 0; i < 200; ++i) greek += "\xCE\xB1";
    EXPECT_TRUE(helpers::isutf8(SafePartName(greek + "x.pdf")));
}

// ------------------------------------------------ real-shaped mail beside Python's email package

namespace {

std::string unhex(std::string_view h) {
    std::string r;
    if (h == "-") return r;
    for (size_t i = 0; i + 1 < h.size(); i += 2) r += static_cast<char>(std::stoi(std::string(h.substr(i, 2)), nullptr, 16));
    return r;
}

std::string lf(std::string s) { return rtl::StringReplace(s, "\r\n", "\n", rtl::rfReplaceAll); }

struct OraclePart {
    bool file;
    std::string type, name, data;  // data: the text, or the file's bytes
};

std::vector<OraclePart> oracle(const fs::path& eml) {
    const std::string cmd = std::string("/usr/bin/python3 ") + RENDER_ORACLE_SCRIPT + " '" + eml.string() + "'";
    std::vector<OraclePart> parts;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return parts;
    std::string out;
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    EXPECT_EQ(::pclose(p), 0) << cmd;
    for (const std::string& line : split(out, '\n')) {
        const auto f = split(line, ' ');
        if (f.size() != 3) continue;
        if (f[0] == "text") parts.push_back({false, f[1], "", unhex(f[2])});
        else parts.push_back({true, "", unhex(f[1]), unhex(f[2])});
    }
    return parts;
}

}  // namespace

// Every text part's text and every attachment's name and bytes as Python
// reads them; the files saved are those bytes under those names.
TEST_F(Render, CorpusMatchesPythonsEmailPackage) {
    const fs::path dir = fs::path(PWX_SOURCE_DIR) / "tests/data/render/mail";
    int messages = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().extension() != ".eml") continue;
        ++messages;
        const std::string name = e.path().filename().string();
        const std::string message = readFile(e.path());
        const std::vector<OraclePart> want = oracle(e.path());
        ASSERT_FALSE(want.empty()) << name;
        std::vector<std::string> problems;
        const std::vector<TMessagePart> got = ReadMessageParts(message, problems);
        EXPECT_TRUE(problems.empty()) << name << ": " << ::testing::PrintToString(problems);
        ASSERT_EQ(got.size(), want.size()) << name;
        std::vector<const TMessagePart*> files;
        std::vector<const OraclePart*> wantFiles;
        for (size_t k = 0; k < got.size(); ++k) {
            EXPECT_EQ(got[k].attachment, want[k].file) << name << " part " << k;
            if (!want[k].file) {
                EXPECT_EQ(got[k].contentType, want[k].type) << name << " part " << k;
                EXPECT_EQ(lf(got[k].text), want[k].data) << name << " part " << k;
                continue;
            }
            EXPECT_EQ(got[k].fileName, want[k].name) << name << " part " << k;
            EXPECT_EQ(got[k].encoding == "base64" ? got[k].bytes : lf(got[k].bytes), want[k].data) << name << " part " << k;
            files.push_back(&got[k]);
            wantFiles.push_back(&want[k]);
        }

        // Rendered: one file per attachment beside the page, under the name
        // sent, holding its bytes; nothing in the program folder.
        TRenderInput in = input(message, "Sender");
        const TRenderResult r = RenderMessage(in);
        ASSERT_TRUE(r.ok) << name;
        ASSERT_EQ(r.Saved.size(), wantFiles.size()) << name << ": " << r.Attachment;
        for (size_t k = 0; k < r.Saved.size(); ++k) {
            EXPECT_EQ(fs::path(r.Saved[k]).parent_path(), folder_) << name;
            const std::string bytes = readFile(r.Saved[k]);
            EXPECT_EQ(files[k]->encoding == "base64" ? bytes : lf(bytes), wantFiles[k]->data) << name << " " << r.Saved[k];
            if (!wantFiles[k]->name.empty()) {
                const fs::path sent(wantFiles[k]->name);
                EXPECT_EQ(fs::path(r.Saved[k]).filename().string(),
                          sent.stem().string() + "_1" + sent.extension().string()) << name;
            }
        }
        EXPECT_TRUE(fs::is_empty(program_)) << name;
        const std::string page = readFile(r.PagePath);
        EXPECT_TRUE(helpers::isutf8(page)) << name;

        // Fetched again: the same page and the same files.
        const auto before = allFiles();
        in.PagePath = r.PagePath;
        in.reload = true;
        const TRenderResult again = RenderMessage(in);
        EXPECT_TRUE(again.reused) << name;
        EXPECT_EQ(again.Attachment, r.Attachment) << name;
        EXPECT_EQ(allFiles(), before) << name;
        fs::remove_all(folder_);
    }
    EXPECT_GE(messages, 10);
}

// What each kind of mail shows on its page, and what it must not.
TEST_F(Render, CorpusPages) {
    struct Case {
        const char* file;
        std::vector<std::string> shown, hidden;
    };
    const Case cases[] = {
        {"split_words.eml", {">From: J\xC3\xB6rg &lt;", ">Subject: Gr\xC3\xBC\xC3\x9F" "e und \xE2\x82\xAC</SPAN>"}, {"\xEF\xBF\xBD"}},
        {"massmailer.eml",
         {"<h1>Angebote der Woche</h1>", "Angebote: 20", "<img src=\"file:///"},
         {"Content-Transfer-Encoding", "cid:logo", "PGh0bWw"}},
        {"no_header.eml", {"Hello Ann,<BR>"}, {"kwemallhdrs"}},
        {"lookalike_boundary.eml", {">To: <A HREF=\"mailto:first@example.org\">", "------=_Part_99999 this line is text"},
         {">To: <A HREF=\"mailto:second@example.org"}},
        {"mixed_charsets.eml", {"na\xC3\xAFve Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln", "na\xC3\xAFve Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC"}, {"\xC3\x83"}},
        {"pgp_inline.eml", {"-----BEGIN PGP SIGNATURE-----", "=Tx7k"}, {"ATTACHMENT"}},
        // The blocks open and close without scripts; the page runs none.
        {"desktop_mailer.eml", {"<DETAILS><SUMMARY", "<SPAN ID=\"kwemattached\"", "Bericht Q4_1.pdf"}, {"onClick", "<script", "display:none"}},
    };
    for (const auto& c : cases) {
        const TRenderResult r = RenderMessage(input(readFile(fs::path(PWX_SOURCE_DIR) / "tests/data/render/mail" / c.file), "Sender"));
        ASSERT_TRUE(r.ok) << c.file;
        const std::string page = readFile(r.PagePath);
        for (const auto& s : c.shown) EXPECT_NE(page.find(s), std::string::npos) << c.file << " lacks " << s;
        for (const auto& s : c.hidden) EXPECT_EQ(page.find(s), std::string::npos) << c.file << " shows " << s;
        fs::remove_all(folder_);
    }
}
