#include "tests/zip/zip_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ziptest {

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

TScratch::TScratch() {
    char tmpl[] = "/tmp/pelliwox-zip-XXXXXX";
    path_ = ::mkdtemp(tmpl);
}

TScratch::~TScratch() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void WriteFile(const std::string& path, const std::string& data) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << data;
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

void AgeFile(const std::string& path, int days) {
    // From the start of today, so that files aged again get the same time,
    // at an odd second: the archive keeps times in two-second steps.
    const time_t today = ::time(nullptr) / 86400 * 86400;
    const time_t t = today - static_cast<time_t>(days) * 86400 + 4001;
    struct timeval tv[2] = {{t, 0}, {t, 0}};
    ::utimes(path.c_str(), tv);
}

void ExpectPeersAccept(const std::string& archive, const std::string& password) {
    const std::string pw = password.empty() ? "" : " -P " + Quote(password);
    const TRun unzip = Shell("unzip -t" + pw + " " + Quote(archive));
    EXPECT_EQ(unzip.status, 0) << unzip.output;
    const TRun sz = Shell("7zz t" + (password.empty() ? std::string() : " -p" + Quote(password)) + " " + Quote(archive));
    EXPECT_EQ(sz.status, 0) << sz.output;
    if (password.empty()) {
        const TRun py = Shell("/usr/bin/python3 -m zipfile -t " + Quote(archive));
        EXPECT_EQ(py.status, 0) << py.output;
        EXPECT_EQ(py.output.find("Bad"), std::string::npos) << py.output;
        // bsdtar decodes every entry (and checks its CRC) on the way to nowhere.
        const TRun bsd = Shell("bsdtar -xOf " + Quote(archive) + " >/dev/null");
        EXPECT_EQ(bsd.status, 0) << bsd.output;
    }
}

std::string PythonListing(const std::string& archive, bool contents, const std::string& password) {
    const std::string script =
        "import sys,zipfile\n"
        "z=zipfile.ZipFile(sys.argv[1])\n"
        "pw=sys.argv[3].encode() if len(sys.argv)>3 else None\n"
        "for i in z.infolist():\n"
        "  if sys.argv[2]=='1': print(i.filename+'|'+z.read(i,pwd=pw).decode('latin-1'))\n"
        "  else: print('%s|%d|%08x'%(i.filename,i.file_size,i.CRC))\n";
    const TRun r = Shell("/usr/bin/python3 -c " + Quote(script) + " " + Quote(archive) + (contents ? " 1" : " 0") +
                       (password.empty() ? "" : " " + Quote(password)));
    EXPECT_EQ(r.status, 0) << r.output;
    return r.output;
}

}  // namespace ziptest
