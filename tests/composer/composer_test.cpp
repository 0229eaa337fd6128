// The composer's logic apart from its window: character sets, the send's
// arguments and checks, copies, the address book, image tags.
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "composer/addrbook.h"
#include "composer/attachments.h"
#include "composer/charsets.h"
#include "composer/msgcopy.h"
#include "composer/sendmsg.h"
#include "helpers/kwutil.h"
#include "tests/support/plants.h"
#include "platform/rtl/dateutils.h"

using namespace composer;

namespace {

class InFolder : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        helpers::homedir = dir.path().toStdString() + "/";
    }
    static int mode(const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
    }
    static void write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    QTemporaryDir dir;
};

}  // namespace

// ---------------------------------------------------------------- character sets

TEST(Charsets, TheListAndItsNames) {
    const auto& e = CharsetEntries();
    ASSERT_FALSE(e.empty());
    EXPECT_EQ(CharsetEntryText(e.front()), "ASMO-708, Arabic (ASMO 708)");
    EXPECT_STREQ(e.back().name, "x-mac-ukrainian");
    EXPECT_EQ(CharsetName("utf-8, Unicode (UTF-8)"), "utf-8");
    // The two spellings of EUC-JP: the first wins.
    const int euc = FindCharset("EUC-JP");
    ASSERT_GE(euc, 0);
    EXPECT_STREQ(e[static_cast<size_t>(euc)].name, "euc-jp");
    EXPECT_STREQ(e[static_cast<size_t>(euc) + 1].name, "EUC-JP");
    EXPECT_EQ(FindCharset("no-such-set"), -1);
    // A search wraps from the entry it starts at.
    EXPECT_EQ(SearchCharsets("x-mac-ukrainian", 0), static_cast<int>(e.size()) - 1);
    EXPECT_EQ(SearchCharsets("*Latin 1*", static_cast<int>(e.size()) - 5), FindCharset("iso-8859-1"));
    EXPECT_EQ(SearchCharsets("nothing like it", 5), -1);
}

// Only sets that can be written are offered; a set glibc knows under
// another name is written through that name.
TEST(Charsets, OnlySetsThatCanBeWrittenAreListed) {
    for (const TCharsetEntry& e : CharsetEntries()) {
        const TConversion c = ToCharset("plain ascii", e.name);
        EXPECT_TRUE(c.known && c.ok) << e.name;
    }
    for (const char* unwritable : {"x-mac-greek", "x-mac-hebrew", "x-iscii-de", "hz-gb-2312", "IBM290", "DOS-720",
                                   "x-cp20001", "x-Europa"})
        EXPECT_EQ(FindCharset(unwritable), -1) << unwritable;
    struct {
        const char* set;
        std::string text;
    } written[] = {
        {"IBM-Thai", "\xE0\xB8\xA0\xE0\xB8\xB2\xE0\xB8\xA9\xE0\xB8\xB2\xE0\xB9\x84\xE0\xB8\x97\xE0\xB8\xA2"},
        {"x-mac-ukrainian", "\xD0\x84\xD1\x97"},
        {"shift_jis", "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"iso-8859-8-i", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"},
    };
    for (const auto& w : written) {
        EXPECT_GE(FindCharset(w.set), 0) << w.set;
        const TConversion c = ToCharset(w.text, w.set);
        EXPECT_TRUE(c.ok) << w.set << ": " << c.unmappable;
        EXPECT_NE(c.text, w.text) << w.set;
    }
}

TEST(Charsets, ConversionOfWhatGoesOut) {
    struct Case {
        const char* set;
        std::string in, out;
        bool ok;
        std::string unmappable;
    } cases[] = {
        {"iso-8859-1", "caf\xC3\xA9", "caf\xE9", true, ""},
        // A letter typed as "e" and a combining accent is composed first.
        {"iso-8859-1", "cafe\xCC\x81", "caf\xE9", true, ""},
        {"windows-1252", "5 \xE2\x82\xAC", "5 \x80", true, ""},
        {"iso-8859-1", "5 \xE2\x82\xAC and \xE2\x98\x83", "", false, "\xE2\x82\xAC\xE2\x98\x83"},
        {"utf-8", "\xE2\x98\x83", "\xE2\x98\x83", true, ""},
        // The shift state is closed at the end.
        {"iso-2022-jp", "\xE6\x97\xA5", "\x1B$BF|\x1B(B", true, ""},
    };
    for (const Case& c : cases) {
        const TConversion r = ToCharset(c.in, c.set);
        EXPECT_EQ(r.ok, c.ok) << c.set;
        if (c.ok) {
            EXPECT_EQ(r.text, c.out) << c.set;
        }
        EXPECT_EQ(r.unmappable, c.unmappable) << c.set;
    }
}

TEST(Charsets, DeclarationRewrittenUpToItsOwnQuote) {
    struct {
        std::string page, declared, rewritten;
    } cases[] = {
        {"<META http-equiv=\"Content-Type\" content=\"text/html;CHARSET=iso-8859-1\">\r\n<P CLASS=\"x\">Hi</P>",
         "iso-8859-1",
         "<META http-equiv=\"Content-Type\" content=\"text/html;CHARSET=shift_jis\">\r\n<P CLASS=\"x\">Hi</P>"},
        // The forms a page pasted from elsewhere declares its set in.
        {"<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\"><p class=\"x\">",
         "utf-8", "<meta http-equiv=\"content-type\" content=\"text/html; charset=shift_jis\"><p class=\"x\">"},
        {"<head><meta charset=\"UTF-8\"><title>t</title>", "UTF-8", "<head><meta charset=\"shift_jis\"><title>t</title>"},
        {"<head><meta charset=utf-8><title>t</title>", "utf-8", "<head><meta charset=shift_jis><title>t</title>"},
        {"<META CHARSET='utf-8' />", "utf-8", "<META CHARSET='shift_jis' />"},
        // The first declaration counts, whichever its form.
        {"<meta charset=\"utf-8\"><meta content=\"text/html;charset=koi8-r\">", "utf-8",
         "<meta charset=\"shift_jis\"><meta content=\"text/html;charset=koi8-r\">"},
        // Text that only speaks of a charset is no declaration.
        {"<P>no declaration \"here\", charset=utf-8</P>", "", "<P>no declaration \"here\", charset=utf-8</P>"},
        {"<meta name=\"x-charset=utf-8\">", "", "<meta name=\"x-charset=utf-8\">"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeclaredCharset(c.page), c.declared) << c.page;
        EXPECT_EQ(RewriteCharsetDeclaration(c.page, "shift_jis"), c.rewritten) << c.page;
    }
}

// ---------------------------------------------------------------- the send's logic

TEST(Send, ForgottenAttachment) {
    const std::string style = "background-color:silver; border:7px ridge red;";
    struct Case {
        std::string body, style;
        bool asks;
    } cases[] = {
        {"I attach the plan", style, true},
        {"see Attach: nothing", style, false},
        {"hello <BLOCKQUOTE STYLE=\"" + style + "\">the attachment</BLOCKQUOTE>", style, false},
        {"the ATTACHED file <BLOCKQUOTE STYLE=\"" + style + "\">", style, true},
        // An empty quote style cuts nothing.
        {"I attach the plan", "", true},
    };
    for (const Case& c : cases) EXPECT_EQ(MentionsAttachment(c.body, c.style), c.asks) << c.body;
}

TEST(Send, ArgumentsAndCipherLines) {
    TMessageFields f;
    f.To = "a@x.test;b@x.test";
    f.Cc = "c@x.test";
    f.Bcc = "d@x.test";
    f.From = "me@x.test";
    f.ReplyTo = "reply@x.test";
    f.ReceiptFrom = f.ReceiptReplyTo = true;
    f.Host = "smtp.x.test/+587";
    f.UserId = "me@x.test";
    f.Password = "pw";
    f.Attachments = {"/tmp/a b.pdf", "/tmp/c.zip"};
    f.Images = {"/tmp/i.png"};
    const TSendArgs a = BuildSendArgs(f, "Subject", "Body", "k");
    EXPECT_EQ(a.recipients, "a@x.test;b@x.test/c@x.test/d@x.test");
    EXPECT_EQ(a.senders, "=me@x.test/=reply@x.test");
    EXPECT_EQ(a.host, "smtp.x.test/+587");
    EXPECT_EQ(a.credentials, "me@x.test/pw");
    EXPECT_EQ(a.files, "/tmp/a b.pdf;/tmp/c.zip;//tmp/i.png;");
    EXPECT_EQ(a.delay, "0");
    f.Attachments.clear();
    f.Images.clear();
    EXPECT_EQ(BuildSendArgs(f, "", "", "k").files, "/");

    EXPECT_EQ(SliceCipher(std::string(120, '7')),
              std::string(50, '7') + "\r\n" + std::string(50, '7') + "\r\n" + std::string(20, '7') + "\r\n");
    f.Encrypt = true;
    const TSendArgs e = BuildSendArgs(f, "Secret plan", std::string(300, 'x'), "k");
    EXPECT_EQ(helpers::numdecipher(e.subject, "k"), "Secret plan");
    std::string joined;
    size_t pos = 0;
    while (pos < e.body.size()) {
        const size_t end = e.body.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos);
        EXPECT_LE(end - pos, 50u);
        joined += e.body.substr(pos, end - pos);
        pos = end + 2;
    }
    EXPECT_EQ(helpers::numdecipher(joined, "k"), std::string(300, 'x'));
}

TEST(Send, MissingFieldsInOrder) {
    TMessageFields f;
    EXPECT_EQ(MissingField(f).message, "Please Fill in SMTP Host");
    f.Host = "h";
    EXPECT_EQ(MissingField(f).message, "Please Fill in From Address");
    f.From = "f";
    EXPECT_EQ(MissingField(f).message, "Please Fill in Subject");
    f.Subject = "s";
    EXPECT_EQ(MissingField(f).message, "Please Fill in Body");
    f.Body = "b";
    EXPECT_EQ(MissingField(f).message, "Please Fill in To Address");
    f.To = "t";
    EXPECT_EQ(MissingField(f).field, TFieldProblem::None);
}

// The title follows the subject; a quoted page's own title further down stays.
TEST(Send, TitleIsTheFirstElementOnly) {
    const std::string body = "<TITLE>old</TITLE><BODY>quote: <title>theirs</title></BODY>";
    size_t start = 0, length = 0;
    ASSERT_TRUE(FindTitle(body, start, length));
    std::string out = body;
    out.replace(start, length, TitleFor("R&D <plan>"));
    EXPECT_EQ(out, "<TITLE>R&amp;D &lt;plan&gt;</TITLE><BODY>quote: <title>theirs</title></BODY>");
}

// ---------------------------------------------------------------- copies

TEST_F(InFolder, CopyNames) {
    const rtl::TDateTime when = rtl::EncodeDate(2024, 1, 31) + rtl::EncodeTime(9, 5, 0, 0);
    EXPECT_EQ(CopyName(when, "Re: Q3 plan/draft?"), "20240131_09-05_Re Q3 plandraft.htm");
    EXPECT_EQ(CopyName(when, "Caf\xC3\xA9 \xE2\x82\xAC" "5 \xC2\xA3" "3 <x>"),
              "20240131_09-05_Cafe \xE2\x82\xAC" "5 \xC2\xA3" "3 x.htm");
    // A long subject still gives a name the file system takes.
    std::string longSubject;
    for (int i = 0; i < 300; ++i) longSubject += "\xE2\x82\xAC";
    const std::string name = CopyName(when, longSubject);
    EXPECT_LE(name.size() + 8, 255u);
    const std::string folder = helpers::homedir;
    EXPECT_TRUE(helpers::savetext(folder + name, "x"));
}

// Copies go under the account's folder; without an account, into the folder
// itself (no empty path segment shown to the user or written).
TEST_F(InFolder, CopyFolders) {
    const std::string home = helpers::homedir;
    EXPECT_EQ(CopyFolder("draft", ""), home + "draft/");
    EXPECT_EQ(CopyFolder("sent", "me@mail.example.org"), home + "sent/me_mail_example_org/");
}

// Two copies in one minute with one subject are two files.
TEST_F(InFolder, SameMinuteCopiesKeptApart) {
    const std::string folder = helpers::homedir;
    const std::string name = "20240131_09-05_Re Q3 plan.htm";
    EXPECT_EQ(FreeCopyName(folder, name), name);
    write(folder + name, "first");
    const std::string second = FreeCopyName(folder, name);
    EXPECT_NE(second, name);
    write(folder + second, "second");
    const std::string third = FreeCopyName(folder, name);
    EXPECT_NE(third, second);
    EXPECT_EQ(helpers::loadtext(folder + name), "first");
}

// What the name cannot keep the copy keeps: the whole subject in any
// script, paths with ";", "%", markup characters, blanks at their ends or a
// line break, addresses with quotes and commas.
TEST(Copies, EverythingComesBackAsWritten) {
    const std::vector<std::string> subjects = {
        "Re: Q3 plan/draft? naïve café", "SJIS 日本 test", "日本語の件名", "Отчёт за квартал", "plan_B_final",
        "100% <b>sure</b> & more", " two\r\nlines ", ""};
    for (const std::string& subject : subjects) {
        TMessageFields f;
        f.To = "\"Lee, Ann\" <ann@x.test>; bob@x.test";
        f.Cc = "carol@x.test";
        f.Subject = subject;
        f.Attachments = {"/tmp/a;b.pdf", "/tmp/100% sure.txt", "/tmp/new\nline.txt", "/tmp/ends in a blank "};
        f.Images = {"/tmp/<i>&.png", "/tmp/plain.png"};
        f.Body = "<HTML>\r\n<PRE>\r\n</PRE>\r\n</HTML>\r\n";
        const TStoredCopy c = ReadCopy("/x/" + CopyName(rtl::EncodeDate(2024, 1, 31), subject), CopyText(f));
        ASSERT_TRUE(c.ok) << c.Problem;
        EXPECT_EQ(c.Subject, subject);
        EXPECT_EQ(c.To, f.To);
        EXPECT_EQ(c.Cc, f.Cc);
        EXPECT_EQ(c.Attachments, f.Attachments);
        EXPECT_EQ(c.Images, f.Images);
        EXPECT_EQ(c.Body, f.Body);
    }
    // The head a person reads: the lines where they always stood, then the subject.
    TMessageFields f;
    f.To = "a@x.test";
    f.Bcc = "b@x.test";
    f.Subject = "Re: 5% off";
    f.Attachments = {"/tmp/one.pdf", "/tmp/a;b.zip"};
    f.Images = {"/tmp/i.png"};
    f.Body = "<HTML>\r\nline\r\n</HTML>\r\n";
    EXPECT_EQ(CopyText(f), "<PRE>\r\nTo: a@x.test\r\nCc: \r\nBcc: b@x.test\r\nAttachments? /tmp/one.pdf;/tmp/a%3Bb.zip;\r\n"
                           "Insertions? /tmp/i.png;\r\nSubject: Re: 5%25 off\r\n</PRE>\r\n" + f.Body);
}

// Copies written before the head held the subject still load: the subject
// from the name after the date and time (a "_" in it kept, the "_2" of a
// second copy in the minute dropped), the lists split at ";".
TEST(Copies, CopiesOfBeforeStillLoad) {
    struct {
        const char* name;
        std::string subject, to, bcc, body;
        std::vector<std::string> attachments, images;
    } cases[] = {
        {"20240131_09-05_Re Q3 plandraft.htm", "Re Q3 plandraft", "bob@x.test; \"Lee, Ann\" <ann@x.test>",
         "carol@x.test",
         "<HTML><HEAD><TITLE>Re: Q3 plan/draft?</TITLE></HEAD>\r\n<BODY>Figures attached.<IMG SRC=\"cid:IMAGE1\">"
         "</BODY></HTML>\r\n",
         {"/home/me/q3 plan.pdf", "/home/me/figures.xlsx"},
         {"/home/me/logo.png"}},
        {"20240131_09-05_Plan_B_2.htm", "Plan_B", "dave@x.test", "", "Plan B, second copy of the minute\r\n", {}, {}},
    };
    for (const auto& c : cases) {
        const std::string path = std::string(COMPOSER_DATA) + "/" + c.name;
        const TStoredCopy copy = ReadCopy(path, helpers::loadtext(path));
        ASSERT_TRUE(copy.ok) << c.name << ": " << copy.Problem;
        EXPECT_EQ(copy.Subject, c.subject);
        EXPECT_EQ(copy.To, c.to);
        EXPECT_EQ(copy.Cc, "");
        EXPECT_EQ(copy.Bcc, c.bcc);
        EXPECT_EQ(copy.Attachments, c.attachments);
        EXPECT_EQ(copy.Images, c.images);
        EXPECT_EQ(copy.Body, c.body);
    }
}

// A file that is no copy, or whose head is damaged, is refused with the reason.
TEST(Copies, DamagedHeadsAreRefused) {
    const std::string good = "To: a\r\nCc: \r\nBcc: \r\nAttachments? \r\nInsertions? \r\n";
    struct {
        std::string text, problem;
    } cases[] = {
        {"1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7", "head"},
        {"<HTML>\r\n" + good + "</PRE>\r\nbody", "head"},
        {"<PRE>\r\n" + good + "Subject: x\r\nbody", "head"},
        {"<PRE>\r\n" + good + "Subject: 50%\r\n</PRE>\r\nbody", "subject"},
        {"<PRE>\r\nTo: a\r\nCc: \r\nBcc: \r\nAttachments? /a%ZZ;\r\nInsertions? \r\nSubject: x\r\n</PRE>\r\nbody",
         "list"},
    };
    for (const auto& c : cases) {
        const TStoredCopy copy = ReadCopy("20240131_09-05_x.htm", c.text);
        EXPECT_FALSE(copy.ok) << c.text;
        EXPECT_NE(copy.Problem.find(c.problem), std::string::npos) << copy.Problem;
    }
}

TEST(Copies, TemplateGetsItsPlaceholderOnce) {
    EXPECT_EQ(TemplateText("<html><body>Hi</BODY></html>"), "<html><body>Hi<Enter Message Here>\r\n</BODY></html>");
    EXPECT_EQ(TemplateText("plain"), "plain<Enter Message Here>\r\n");
    EXPECT_EQ(TemplateText("x <ENTER MESSAGE HERE> y"), "x <ENTER MESSAGE HERE> y");
    EXPECT_EQ(ReceivedSubject("<SPAN>Subject - no</SPAN><B>>Subject: Hello</SPAN>"), "Hello");
}

// ---------------------------------------------------------------- address book

TEST_F(InFolder, AddressBookEncipheredAndPrivate) {
    const std::string key = "book key";
    EXPECT_TRUE(AddToAddressBook("Bob <bob@x.test>", key));
    const std::string stored = helpers::loadtext(AddressBookPath());
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(stored[0], '@');
    EXPECT_EQ(stored.find("bob"), std::string::npos);
    EXPECT_EQ(mode(AddressBookPath()), 0600);
    EXPECT_FALSE(AddToAddressBook("Bob <bob@x.test>", key));
    EXPECT_FALSE(AddToAddressBook("BOB@X.TEST", key));  // inside a longer line, other case
    EXPECT_TRUE(AddToAddressBook("carol@x.test", key));
    EXPECT_EQ(AddressBookLines(LoadAddressBook(key)), (std::vector<std::string>{"Bob <bob@x.test>", "carol@x.test"}));
    EXPECT_EQ(AddressBookEditorText("\"Z, Y\" <z@x>\r\na@x"), "\"Z, Y\" <z@x>\r\na@x\r\n");
    // A book written by hand, without the "@", is read as it stands.
    write(AddressBookPath(), "plain@x.test\r\n");
    EXPECT_EQ(LoadAddressBook(key), "plain@x.test\r\n");
}

static std::string fileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// A book that cannot be read is not taken for an empty one: nothing is
// written over it, and the reason is given.
TEST_F(InFolder, AddressBookNeverLostToAFailedRead) {
    const std::string key = "book key";
    const std::string cases[] = {"@" + helpers::numcipher("kept@x.test", key).substr(1), "@123456789999", "@12a"};
    for (const std::string& stored : cases) {
        write(AddressBookPath(), stored);
        std::string error;
        EXPECT_FALSE(AddToAddressBook("new@x.test", key, &error)) << stored;
        EXPECT_NE(error.find("is damaged"), std::string::npos) << error;
        EXPECT_NE(error.find("The address was not added"), std::string::npos) << error;
        EXPECT_EQ(fileBytes(AddressBookPath()), stored);
        EXPECT_FALSE(ReadAddressBook(key).ok);
        EXPECT_EQ(LoadAddressBook(key), "");
    }
    // Something else where the book should be.
    std::filesystem::remove(AddressBookPath());
    std::filesystem::create_directory(AddressBookPath());
    std::string error;
    EXPECT_FALSE(AddToAddressBook("new@x.test", key, &error));
    EXPECT_NE(error.find("could not be read: " + AddressBookPath() + " is a folder, not a regular file"), std::string::npos) << error;
    EXPECT_TRUE(std::filesystem::is_directory(AddressBookPath()));
    // A link where the book should be is read, never written through.
    std::filesystem::remove(AddressBookPath());
    const std::string elsewhere = helpers::homedir + "elsewhere.txt";
    write(elsewhere, "linked@x.test");
    std::filesystem::create_symlink(elsewhere, AddressBookPath());
    EXPECT_EQ(LoadAddressBook(key), "linked@x.test");
    EXPECT_FALSE(AddToAddressBook("new@x.test", key, &error));
    EXPECT_NE(error.find("is a link"), std::string::npos) << error;
    EXPECT_EQ(fileBytes(elsewhere), "linked@x.test");
    EXPECT_TRUE(std::filesystem::is_symlink(AddressBookPath()));
    // A book with an editor's line end at its end still reads.
    std::filesystem::remove(AddressBookPath());
    write(AddressBookPath(), "@" + helpers::numcipher("ann@x.test", key) + "\r\n");
    EXPECT_EQ(LoadAddressBook(key), "ann@x.test");
}

// A link or a pipe where the book is: a save or an add refuses it with the
// reason and writes nothing through it; a read follows a link, takes a
// dangling one for no book, and never waits on the pipe.
TEST(AddressBookFile, NeverWrittenThroughPlants) {
    testsupport::TPlantBed bed;
    helpers::homedir = bed.In("");
    const std::string key = "book key";
    const auto unwritten = [](const std::string& path, const std::string& reason) {
        return "The address book " + path + " could not be written: " + reason + ". It is as it was.";
    };
    const auto unread = [](const std::string& path, const std::string& reason) {
        return "The address book " + path + " could not be read: " + reason;
    };
    auto raise = [](bool ok, const std::string& error) {
        if (!ok) throw std::runtime_error(error);
    };
    testsupport::ExpectNoWritesThroughPlants(
        bed,
        {{"save",
          [&](const std::string&) {
              std::string error;
              raise(SaveAddressBook("ann@x.test", key, &error), error);
          },
          unwritten},
         {"add",
          [&](const std::string&) {
              std::string error;
              raise(AddToAddressBook("ann@x.test", key, &error), error);
          },
          [&](const std::string& path, const std::string& reason) {
              // The pipe is refused when the book is read, before any write.
              return reason == testsupport::TPlantBed::PipeRefusal(path)
                         ? unread(path, reason) + ". The address was not added."
                         : unwritten(path, reason);
          }}},
        "pelliwoxaddbook.txt");
    testsupport::ExpectReadsOfRegularFilesOnly(
        bed,
        {{"read",
          [&](const std::string&) {
              const TBookRead r = ReadAddressBook(key);
              raise(r.ok, r.error);
              if (!r.plain.empty() && r.plain != "victim") throw std::runtime_error("not the victim: " + r.plain);
          },
          unread, [](const std::string&) { return std::string(); }}},
        "pelliwoxaddbook.txt");
}

// A folder that takes no new file and a disk with no room: the book is
// rewritten in place only once its room is there, and a failed write
// leaves the old book whole. Run as another user (when root) with a file
// size limit standing in for the full disk.
TEST_F(InFolder, AddressBookKeptWholeWhenItCannotBeWritten) {
    const std::string key = "book key";
    char name[] = "/tmp/pelliwox-book-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    const std::string folder = std::string(name) + "/";
    helpers::homedir = folder;
    ASSERT_TRUE(SaveAddressBook("Bob <bob@x.test>\r\ncarol@x.test", key));
    const std::string before = fileBytes(AddressBookPath());
    const bool root = ::geteuid() == 0;
    constexpr uid_t kNobody = 65534;
    if (root) {
        ASSERT_EQ(::chown(folder.c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(::chown(AddressBookPath().c_str(), kNobody, kNobody), 0);
    }
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    // Adds an entry in a child under the limit; its exit status is 0 when
    // the add went as Succeeds says, with an error text when it failed.
    auto addInChild = [&](const std::string& entry, rlim_t limit, bool succeeds) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (root && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(3);
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit rl{limit, limit};
            if (::setrlimit(RLIMIT_FSIZE, &rl) != 0) ::_exit(4);
            std::string error;
            const bool added = AddToAddressBook(entry, key, &error);
            ::_exit(added != succeeds ? 1 : !succeeds && error.find("It is as it was") == std::string::npos ? 2 : 0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(addInChild("dave@x.test", before.size() + 3, false), 0);
    EXPECT_EQ(fileBytes(AddressBookPath()), before);
    EXPECT_EQ(addInChild("dave@x.test", RLIM_INFINITY, true), 0);
    EXPECT_EQ(AddressBookLines(LoadAddressBook(key)),
              (std::vector<std::string>{"Bob <bob@x.test>", "carol@x.test", "dave@x.test"}));
    EXPECT_EQ(mode(AddressBookPath()), 0600);
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder)) entries += !e.path().empty();
    EXPECT_EQ(entries, 1);  // nothing left beside the book
    ::chmod(folder.c_str(), 0700);
    std::filesystem::remove_all(folder);
}

// ---------------------------------------------------------------- images

TEST_F(InFolder, ImageTagsAndCaptions) {
    const std::string body = "a" + ImageTag(1) + "b" + ImageTag(2) + "c" + ImageTag(3) + ImageTag(3) + "<img alt=\"\" src=\"cid:IMAGE1\">";
    EXPECT_EQ(RemoveImageTag(body, 2, 3), "a" + ImageTag(1) + "bc" + ImageTag(2) + ImageTag(2) + "<img alt=\"\" src=\"cid:IMAGE1\">");
    EXPECT_EQ(RemoveAllImageTags(body, 3), "abc<img alt=\"\" src=\"cid:IMAGE1\">");
    write(helpers::homedir + "f", std::string(1500, 'x'));
    EXPECT_EQ(ListCaption("Attachments", {helpers::homedir + "f", helpers::homedir + "gone"}),
              "Attachments (2 Items / Size=1,500) :-");
}
