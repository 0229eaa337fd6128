#include "net/evqlogger.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/rtl/dateutils.h"
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
        const std::string out = line + "\r\n";
        size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = ::write(fd_, out.data() + done, out.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                throw ELoggerException("Cannot write log file \"" + fileName_ + "\": " + rtl::SysErrorMessage(errno));
            done += static_cast<size_t>(n);
        }
    }
}

void TEvqLogger::openLocked() {
    closeLocked();
    if (fileName_.empty()) throw ELoggerException("File name empty");
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (fileOption_ == lfoOverwrite ? O_TRUNC : O_APPEND);
    const int fd = ::open(fileName_.c_str(), flags, 0644);
    if (fd < 0) throw ELoggerException("Cannot open log file \"" + fileName_ + "\": " + rtl::SysErrorMessage(errno));
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
