#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>

#include "net/evqlogger.h"
#include "net/twsocket.h"

using namespace net;

namespace {
std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::string tempName() {
    char name[] = "/tmp/pwx-logXXXXXX";
    const int fd = mkstemp(name);
    close(fd);
    return name;
}
}  // namespace

TEST(Logger, AppendsStampedLinesToAnExistingFile) {
    const std::string path = tempName();
    {
        std::ofstream f(path, std::ios::binary);
        f << "old\r\n";
    }
    TEvqLogger log;
    log.SetLogFileName(path);
    log.SetLogOptions(loDestFile | loAddStamp | loWsockInfo);
    log.DoDebugLog(nullptr, loWsockInfo, "first");
    log.DoDebugLog(nullptr, loWsockInfo, "second");
    log.CloseLogFile();
    const std::string text = slurp(path);
    EXPECT_TRUE(std::regex_match(text, std::regex("old\r\n\\d\\d:\\d\\d:\\d\\d:\\d\\d\\d first\r\n"
                                                  "\\d\\d:\\d\\d:\\d\\d:\\d\\d\\d second\r\n")))
        << text;
    std::remove(path.c_str());
}

TEST(Logger, OverwriteEmptiesTheFileAtEachOpening) {
    const std::string path = tempName();
    TEvqLogger log;
    log.SetLogFileOption(lfoOverwrite);
    log.SetLogFileName(path);
    log.SetLogOptions(loDestFile);
    log.DoDebugLog(nullptr, loWsockInfo, "a");
    log.DoDebugLog(nullptr, loWsockInfo, "b");
    log.CloseLogFile();
    EXPECT_EQ(slurp(path), "a\r\nb\r\n");
    log.DoDebugLog(nullptr, loWsockInfo, "c");
    log.CloseLogFile();
    EXPECT_EQ(slurp(path), "c\r\n");
    std::remove(path.c_str());
}

TEST(Logger, FileDestinationWithoutANameFails) {
    TEvqLogger log;
    log.SetLogOptions(loDestFile);
    try {
        log.DoDebugLog(nullptr, loWsockInfo, "x");
        FAIL() << "no exception";
    } catch (const ELoggerException& e) {
        EXPECT_EQ(e.Message, "File name empty");
    }
}

TEST(Logger, SocketLogsOnlyWhatTheLoggerAsksFor) {
    std::vector<std::string> lines;
    auto* log = new TEvqLogger;
    log->SetLogOptions(loDestEvent | loWsockInfo);
    log->SetOnEvqLogEvent([&](rtl::TObject*, TLogOption, const std::string& m) { lines.push_back(m); });
    TWSocket s;
    s.SetEvqLogger(log);
    EXPECT_TRUE(s.CheckLogOptions(loWsockInfo));
    EXPECT_FALSE(s.CheckLogOptions(loWsockDump));
    s.Shutdown(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("TCustomWSocket.Shutdown"), std::string::npos);
    delete log;  // the socket hears of it and stops logging
    EXPECT_EQ(s.EvqLogger(), nullptr);
    EXPECT_FALSE(s.CheckLogOptions(loWsockInfo));
}
