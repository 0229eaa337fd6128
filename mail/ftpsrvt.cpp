#include "mail/ftpsrvt.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <ctime>

#include "platform/rtl/fileio.h"
#include "platform/rtl/sysutils.h"

namespace mail {

namespace {

int field(const std::string& S, size_t Pos, size_t Len) {
    int n = 0;
    for (size_t i = Pos; i < Pos + Len && i < S.size(); ++i) {
        if (S[i] < '0' || S[i] > '9') return -1;  // a field with other bytes is out of every range
        n = n * 10 + (S[i] - '0');
    }
    return n;
}

// The packed file date keeps even seconds only.
rtl::TDateTime packedSeconds(rtl::TDateTime Value) {
    const double secs = std::floor(Value * 86400.0 + 1e-6);
    return (secs - std::fmod(secs, 2.0)) / 86400.0;
}

// Never through a link, never waiting on a pipe.
bool setMTime(const std::string& FileName, int64_t UnixSeconds) {
    rtl::TFileFailure why;
    const int fd = rtl::OpenRegularWrite(FileName, O_WRONLY, 0, 0777, why);
    if (fd < 0) return false;
    timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[0].tv_sec = 0;
    times[1].tv_sec = static_cast<time_t>(UnixSeconds);
    times[1].tv_nsec = 0;
    const bool ok = ::futimens(fd, times) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

std::string TimeDateStr(rtl::TDateTime Value) {
    return rtl::FormatDateTime("yyyymmddhhnnss", Value) + "." + rtl::FormatDateTime("zzz", Value);
}

int GetLocalBiasUTC() { return rtl::LocalBiasMinutes(rtl::Now()); }

rtl::TDateTime DateTimeToUTC(rtl::TDateTime Local) { return Local + GetLocalBiasUTC() / 1440.0; }

rtl::TDateTime UTCToLocalDT(rtl::TDateTime Utc) { return Utc - GetLocalBiasUTC() / 1440.0; }

std::string FileUtcStr(const std::string& FileName) {
    std::string name = FileName;
    if (!name.empty() && (name.back() == '/' || name.back() == '\\')) name += ".";
    struct stat st{};
    if (::stat(name.c_str(), &st) != 0) return "";
    const rtl::TDateTime utc = rtl::UnixToDateTime(st.st_mtim.tv_sec) + st.st_mtim.tv_nsec / 1e6 / rtl::MSecsPerDay;
    return TimeDateStr(utc);
}

bool UpdateFileAge(const std::string& FileName, rtl::TDateTime Local) {
    return setMTime(FileName, rtl::DateTimeToUnix(rtl::LocalToUTC(packedSeconds(Local))));
}

bool UpdateUFileAge(const std::string& FileName, rtl::TDateTime Utc) {
    return setMTime(FileName, rtl::DateTimeToUnix(packedSeconds(Utc)));
}

rtl::TDateTime MDTM2Date(const std::string& S) {
    if (S.size() <= 13) return 0;
    const int year = field(S, 0, 4), month = field(S, 4, 2), day = field(S, 6, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 0) return 0;
    rtl::TDateTime date, time;
    if (!rtl::TryEncodeDate(year, month, day, date)) return -1;
    const int hour = field(S, 8, 2), min = field(S, 10, 2), sec = field(S, 12, 2);
    const int msec = S.size() > 17 ? field(S, 15, 3) : 0;
    if (hour < 0 || min < 0 || sec < 0 || msec < 0 || !rtl::TryEncodeTime(hour, min, sec, msec, time)) return -1;
    // Before 30 December 1899 the whole days count down while the time of
    // day still counts up from midnight: the time goes the other way.
    return date < 0 ? date - time : date + time;
}

bool DecodeMlsResp(const std::string& Line, std::string& Name, std::string& FileType, std::string& Perms,
                   int64_t& Size, rtl::TDateTime& ModifyTime) {
    Name.clear();
    FileType.clear();
    Perms.clear();
    Size = 0;
    ModifyTime = 0;
    const size_t blank = Line.find(' ');
    if (blank == 0 || blank == std::string::npos || blank + 1 == Line.size()) {
        // No fact list: the whole line is a name, and nothing else is known.
        if (blank == std::string::npos) Name = Line.substr(0, 999);
        return blank == std::string::npos;
    }
    Name = Line.substr(blank + 1, 999);
    // Each fact is "name=value;" up to the blank; the name never takes part.
    const std::string facts = Line.substr(0, blank);
    size_t pos = 0;
    while (pos < facts.size()) {
        size_t semi = facts.find(';', pos);
        if (semi == std::string::npos) semi = facts.size();
        const std::string fact = facts.substr(pos, semi - pos);
        pos = semi + 1;
        const size_t eq = fact.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = rtl::LowerCase(fact.substr(0, eq));
        const std::string value = fact.substr(eq + 1);
        if (key == "type") FileType = rtl::LowerCase(value);
        else if (key == "perm") Perms = rtl::LowerCase(value);
        else if (key == "size") Size = mail::atoi(value);
        else if (key == "modify") ModifyTime = MDTM2Date(value);
    }
    return true;
}

int64_t atoi(const std::string& S) {
    size_t i = 0;
    while (i < S.size() && S[i] == ' ') ++i;
    int64_t n = 0;
    for (; i < S.size() && S[i] >= '0' && S[i] <= '9'; ++i) {
        const int d = S[i] - '0';
        if (n > (INT64_MAX - d) / 10) return INT64_MAX;
        n = n * 10 + d;
    }
    return n;
}

}  // namespace mail
