#pragma once
// Debug logger: components hand it lines of a given class; it delivers each
// to an event, a log file and the debugger output, as its options say.
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include "platform/rtl/classes.h"
#include "platform/rtl/exceptions.h"

namespace net {

RTL_EXCEPTION_CLASS(ELoggerException, rtl::Exception);

enum TLogOption : unsigned {
    loDestEvent = 1u << 0,
    loDestFile = 1u << 1,
    loDestOutDebug = 1u << 2,
    loAddStamp = 1u << 3,
    loWsockErr = 1u << 4,
    loWsockInfo = 1u << 5,
    loWsockDump = 1u << 6,
    loSslErr = 1u << 7,
    loSslInfo = 1u << 8,
    loSslDump = 1u << 9,
    loProtSpecErr = 1u << 10,
    loProtSpecInfo = 1u << 11,
    loProtSpecDump = 1u << 12,
};
using TLogOptions = unsigned;

enum TLogFileOption { lfoAppend, lfoOverwrite };

using TEvqLogEvent = std::function<void(rtl::TObject* Sender, TLogOption LogOption, const std::string& Msg)>;

class TEvqLogger : public rtl::TComponent {
public:
    explicit TEvqLogger(rtl::TComponent* owner = nullptr);
    ~TEvqLogger() override;
    const char* ClassName() const override { return "TEvqLogger"; }

    void DoDebugLog(rtl::TObject* Sender, TLogOption LogOption, const std::string& Msg);
    void OpenLogFile();
    void CloseLogFile();

    TLogFileOption LogFileOption() const { return fileOption_; }
    void SetLogFileOption(TLogFileOption v);
    const std::string& LogFileName() const { return fileName_; }
    void SetLogFileName(const std::string& v);
    TLogOptions LogOptions() const { return options_; }
    void SetLogOptions(TLogOptions v);
    void SetOnEvqLogEvent(TEvqLogEvent handler);

private:
    void openLocked();
    void closeLocked();

    std::recursive_mutex lock_;
    TLogFileOption fileOption_ = lfoAppend;
    std::string fileName_;
    TLogOptions options_ = 0;
    TEvqLogEvent onLog_;
    int fd_ = -1;
};

// The time of day as "hh:nn:ss:zzz".
std::string EvqLoggerAddTimeStamp();

}  // namespace net
