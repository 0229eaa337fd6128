#pragma once
// Reading what a real server received: fixture files, Python's email package
// as the judge of a message, and a sample HTML message with two inline
// images and two attachments whose parts are checked against what was sent.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "mail/smtpprot.h"
#include "platform/rtl/sysutils.h"
#include "tests/mail/mail_test_util.h"
#include "tests/mail/smtp_test_util.h"

namespace smtptest {

// A file of the fixture folder named by the environment variable Env.
inline std::string stateFile(const char* env, const std::string& name) {
    const char* d = std::getenv(env);
    return std::string(d ? d : "") + "/" + name;
}

inline std::string firstWord(const std::string& path) {
    std::ifstream f(path);
    std::string s;
    f >> s;
    return s;
}

inline QJsonObject parseJson(const QByteArray& bytes) { return QJsonDocument::fromJson(bytes).object(); }

// What Python's email package reads in a message file.
inline QJsonObject oracle(const std::string& messageFile) {
    QProcess p;
    p.start("/usr/bin/python3", {QString::fromStdString(std::string(MAIL_TEST_DIR) + "/smtp_oracle.py"),
                                 QString::fromStdString(messageFile)});
    p.waitForFinished(60000);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return parseJson(p.readAllStandardOutput());
}

inline std::string text(const QJsonValue& v) { return v.toString().toStdString(); }

inline std::string payload(const QJsonObject& part) {
    return QByteArray::fromBase64(part["payload"].toString().toLatin1()).toStdString();
}

inline std::vector<std::string> strings(const QJsonValue& v) {
    std::vector<std::string> r;
    for (const auto& x : v.toArray()) r.push_back(x.toString().toStdString());
    return r;
}

// An HTML message with UTF-8 text, dots at line starts, a line longer than
// a mail line may be, two images and two attachments.
struct HtmlSample {
    std::string paths[4] = {mailtest::tempPath("one.gif"), mailtest::tempPath("two.jpg"),
                            mailtest::tempPath("data.bin"), mailtest::tempPath("notes.txt")};
    std::string bytes[4] = {binaryBytes(3000, 11), binaryBytes(54 * 40, 12), binaryBytes(100000, 13),
                            "line one\r\n.line two\r\n"};
    std::string html = "<html><body><p>Caf\xC3\xA9 <img src=\"cid:IMAGE1\"> <img src=\"cid:IMAGE2\"></p>\r\n.\r\n<p>" +
                       std::string(300, 'w') + "</p></body></html>\r\n";
    std::string plain = "Caf\xC3\xA9\r\n.\r\n";

    HtmlSample() {
        for (int i = 0; i < 4; ++i) writeFile(paths[i], bytes[i]);
    }

    void apply(mail::THtmlSmtpCli& c) const {
        c.SetContentType(mail::smtpHtml);
        c.CharSet = c.HtmlCharSet = "utf-8";
        c.Allow8bitChars = false;
        c.HtmlText().SetText(html);
        c.PlainText().SetText(plain);
        rtl::TStringList images, files;
        images.Add(paths[0]);
        images.Add(paths[1]);
        files.Add(paths[2]);
        files.Add(paths[3]);
        c.SetEmailImages(images);
        c.SetEmailFiles(files);
    }

    void expectParts(const QJsonObject& msg) const {
        const QJsonArray parts = msg["parts"].toArray();
        ASSERT_EQ(parts.size(), 8);
        struct Want {
            const char *type, *cid, *fileId, *disposition;
            const std::string* bytes;
            int file;
        } want[] = {
            {"multipart/related", "", "", "", nullptr, -1},
            {"multipart/alternative", "", "", "", nullptr, -1},
            {"text/plain", "", "", "", &plain, -1},
            {"text/html", "", "", "", &html, -1},
            {"image/gif", "<IMAGE1>", "", "inline", &bytes[0], 0},
            {"image/jpeg", "<IMAGE2>", "", "inline", &bytes[1], 1},
            {"application/octet-stream", "", "<FILE1>", "attachment", &bytes[2], 2},
            {"text/plain", "", "<FILE2>", "attachment", &bytes[3], 3},
        };
        for (int i = 0; i < 8; ++i) {
            const QJsonObject p = parts[i].toObject();
            EXPECT_EQ(text(p["type"]), want[i].type) << i;
            EXPECT_EQ(text(p["cid"]), want[i].cid) << i;
            EXPECT_EQ(text(p["file_id"]), want[i].fileId) << i;
            EXPECT_EQ(text(p["disposition"]), want[i].disposition) << i;
            EXPECT_EQ(text(p["filename"]), want[i].file < 0 ? "" : rtl::ExtractFileName(paths[want[i].file])) << i;
            EXPECT_TRUE(p["defects"].toArray().isEmpty()) << i;
            if (want[i].bytes) {
                EXPECT_EQ(payload(p), *want[i].bytes) << i;
            }
        }
        EXPECT_EQ(text(parts[0].toObject()["params"].toObject()["type"]), "multipart/alternative");
        EXPECT_LE(msg["longest_content_line"].toInt(), 76);
    }
};

}  // namespace smtptest
