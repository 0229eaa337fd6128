#include "net/evqlogger.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/rtl/dateutils.h"
#include "platform/rtl/fileio.h"
#include "platform/rtl/sysutils.h"

namespace net {

TEvqLogger::TEvqLogger(rtl::TComponent* owner) : rtl::TComponent(owner) {}

TEvqLogger::~TEvqLogger() {
    BeginDestroy();
    std::lock_guard<std::recursive_mutex> g(lock_);
    closeLocked();
}

std::string EvqLoggerAddTimeStamp() { return rtl::FormatDateTime("hh:nn:ss:zzz", rtl::Now()); }

void TEvqLogger::DoDebugLog(rtl::TObject* Sender, TLogOption LogOption, const std::string& Msg) {
    std::lock_guard<std::recursive_mutex> g(lock_);
    if (Destroying()) return;
    const std::string line = (options_ & loAddStamp) ? EvqLoggerAddTimeStamp() + " " + Msg : Msg;
    if ((options_ & loDestEvent) && onLog_) onLog_(Sender, LogOption, line);
    if (options_ & loDestOutDebug) std::fprintf(stderr, "%s\n", line.c_str());
    if (options_ & loDestFile) {
        if (fd_ < 0) openLocked();
        rtl::TFileFailure why;
        if (!rtl::WriteAll(fd_, line + "\r\n", why))
            throw ELoggerException("Cannot write log file \"" + fileName_ + "\": " + why.Text());
    }
}

void TEvqLogger::openLocked() {
    closeLocked();
    if (fileName_.empty()) throw ELoggerException("File name empty");
    // The log may hold mail and passwords as they went by: it is its owner's
    // alone, and never written through a link or into a pipe.
    rtl::TFileFailure why;
    const int fd = fileOption_ == lfoOverwrite
                       ? rtl::CreateReplacing(fileName_, 0600, why)
                       : rtl::OpenRegularWrite(fileName_, O_WRONLY, O_CREAT | O_APPEND, 0600, why);
    if (fd < 0) throw ELoggerException("Cannot open log file \"" + fileName_ + "\": " + why.Text());
    fd_ = fd;
}

void TEvqLogger::closeLocked() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void TEvqLogger::OpenLogFile() {
    std::lock_guard<std::recursive_mutex> g(lock_);
    openLocked();
}

void TEvqLogger::CloseLogFile() {
    std::lock_guard<std::recursive_mutex> g(lock_);
    closeLocked();
}

void TEvqLogger::SetLogFileOption(TLogFileOption v) {
    std::lock_guard<std::recursive_mutex> g(lock_);
    fileOption_ = v;
}

void TEvqLogger::SetLogFileName(const std::string& v) {
    std::lock_guard<std::recursive_mutex> g(lock_);
    if (v != fileName_) closeLocked();
    fileName_ = v;
}

void TEvqLogger::SetLogOptions(TLogOptions v) {
    std::lock_guard<std::recursive_mutex> g(lock_);
    options_ = v;
}

void TEvqLogger::SetOnEvqLogEvent(TEvqLogEvent handler) {
    std::lock_guard<std::recursive_mutex> g(lock_);
    onLog_ = std::move(handler);
}

}  // namespace net
