#include "tests/spell/spell_support.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tools/lxmcompile/lxmwriter.h"
#include "tests/support/shell.h"

namespace spelltest {

TempDir::TempDir() {
    char templ[] = "/tmp/spelltest-XXXXXX";
    const char* d = ::mkdtemp(templ);
    if (!d) throw std::runtime_error("mkdtemp failed");
    dir_ = d;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void writeLxm(const std::string& name, const std::vector<std::string>& words, int language) {
    std::string bytes, error;
    lxmc::TLxmStats stats;
    ASSERT_TRUE(lxmc::BuildLxm(words, "Test", language, bytes, stats, error)) << error;
    writeFile(name, bytes);
}

std::vector<std::string> pythonLines(const std::string& script, const std::vector<std::string>& args) {
    std::string cmd = "/usr/bin/python3 " SPELL_TEST_DIR "/" + script;
    for (const auto& a : args) cmd += " '" + a + "'";
    const auto [status, out] = testsupport::Shell(cmd, true);
    EXPECT_EQ(status, 0) << cmd;
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1) lines.push_back(out.substr(at, nl - at));
    return lines;
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    ::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
    ::getrlimit(RLIMIT_FSIZE, &old_);
    rlimit l = old_;
    l.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &l);
}

FileSizeLimit::~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &old_); }

}  // namespace spelltest
