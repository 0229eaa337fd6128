// The error log and the reports shown to the user.
#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <vector>

#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"
#include "platform/ui/prompter.h"

namespace helpers {

std::function<void()> appfronthook;

namespace {

std::string currentfolder() {
    char buf[PATH_MAX];
    return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

}  // namespace

void errlog(const std::string& message) {
    // Writing the log closes a file, and a failing close logs: on a full disk
    // that would never end. A nested entry goes to standard error instead.
    static bool writing = false;
    if (writing) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return;
    }
    struct Guard {
        Guard() { writing = true; }
        ~Guard() { writing = false; }
    } guard;
    // The entry is written about a failure the caller may still tell.
    const detail::TLastErrorKeeper keep;
    const std::string entry = rtl::FormatDateTime(formatsettings.ShortDateFormat + " " + formatsettings.LongTimeFormat,
                                                  rtl::Now()) +
                              " User " + winuser() + " in " + currentfolder() + "\r\n" + message + "\r\n";
    savetext("+" + homedir + "devudariri_msgs.log", entry);
}

void errreport(const std::string& message) {
    appfront();
    ui::MessageDlg(rtl::Trim(message), ui::mtCustom, ui::mbOK, programname());
}

std::string winuser() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(static_cast<size_t>(size > 0 ? size : 16384));
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) != 0 || !found) return {};
    return found->pw_name;
}

void appfront() {
    if (appfronthook) appfronthook();
}

}  // namespace helpers
