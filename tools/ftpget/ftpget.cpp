// A command-line FTP client over the program's FTP client, so it can be
// tried end to end from a shell: it logs in, runs the steps given in order
// and prints each step's reply (and what the client took from it). The first
// step that fails ends the run; QUIT is sent either way.
// Usage: ftpget [options] HOST PORT USER PASS STEP...  (ftpget --help lists the steps)
// Exit status: 0 every step succeeded, 1 a step failed, 2 bad arguments.
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "mail/ftpcli.h"
#include "mail/ftpsrvt.h"
#include "net/evqssleay.h"
#include "platform/rtl/sysutils.h"

namespace {

using mail::TSslFtpClient;
using Args = std::vector<std::string>;

struct TStep {
    const char* name;
    const char* args;  // as the usage shows them; each word is one argument
    const char* what;
    std::function<bool(TSslFtpClient&, const Args&)> run;
};

size_t argCount(const TStep& s) {
    size_t n = 0;
    for (const char* p = s.args; *p; ++p)
        if (*p != ' ' && (p == s.args || p[-1] == ' ')) ++n;
    return n;
}

// Steps on one remote name.
TStep onRemote(const char* name, const char* what, bool (TSslFtpClient::*call)()) {
    return {name, "REMOTE", what, [call](TSslFtpClient& f, const Args& a) {
                f.HostFileName = a[0];
                return (f.*call)();
            }};
}

// Transfers: a remote and a local name.
TStep transfer(const char* name, const char* what, bool (TSslFtpClient::*call)()) {
    return {name, "REMOTE LOCAL", what, [call](TSslFtpClient& f, const Args& a) {
                f.HostFileName = a[0];
                f.LocalFileName = a[1];
                return (f.*call)();
            }};
}

// Listings go to standard output, line by line.
TStep listing(const char* name, const char* what, bool (TSslFtpClient::*call)()) {
    return {name, "[PATH]", what, [call](TSslFtpClient& f, const Args& a) {
                f.HostFileName = a.empty() ? "" : a[0];
                f.DisplayFileFlag = true;
                f.OnDisplayFile = [](rtl::TObject*, std::string& line) { std::printf("%s\n", line.c_str()); };
                const bool ok = (f.*call)();
                f.DisplayFileFlag = false;
                return ok;
            }};
}

const std::vector<TStep>& steps() {
    static const std::vector<TStep> table = {
        transfer("get", "download", &TSslFtpClient::Get),
        transfer("restget", "download the rest of a partial local file", &TSslFtpClient::RestGet),
        transfer("put", "upload", &TSslFtpClient::Put),
        transfer("append", "upload to the end of a remote file", &TSslFtpClient::Append),
        {"restput", "REMOTE LOCAL", "upload the rest, from the remote file's size",
         [](TSslFtpClient& f, const Args& a) {
             f.HostFileName = a[0];
             f.LocalFileName = a[1];
             if (!f.Size()) return false;
             f.ResumeAt = f.SizeResult;
             return f.RestPut();
         }},
        listing("list", "LIST", &TSslFtpClient::Dir),
        listing("ls", "NLST", &TSslFtpClient::Ls),
        listing("mlsd", "MLSD", &TSslFtpClient::Mlsd),
        onRemote("mlst", "facts of one name", &TSslFtpClient::Mlst),
        onRemote("size", "SIZE", &TSslFtpClient::Size),
        onRemote("mdtm", "modification time", &TSslFtpClient::Mdtm),
        {"mfmt", "YYYYMMDDHHMMSS REMOTE", "set the modification time (universal time)",
         [](TSslFtpClient& f, const Args& a) {
             f.RemFileDateTime = mail::MDTM2Date(a[0]);
             f.HostFileName = a[1];
             return f.Mfmt();
         }},
        {"rename", "FROM TO", "RNFR and RNTO",
         [](TSslFtpClient& f, const Args& a) {
             f.HostFileName = a[0];
             f.LocalFileName = a[1];
             return f.Ren();
         }},
        onRemote("dele", "delete a file", &TSslFtpClient::Dele),
        onRemote("mkd", "make a folder", &TSslFtpClient::Mkd),
        onRemote("rmd", "remove a folder", &TSslFtpClient::Rmd),
        {"cwd", "PATH", "change folder",
         [](TSslFtpClient& f, const Args& a) {
             f.HostDirName = a[0];
             return f.Cwd();
         }},
        {"cdup", "", "to the parent folder", [](TSslFtpClient& f, const Args&) { return f.CDup(); }},
        {"pwd", "", "the current folder", [](TSslFtpClient& f, const Args&) { return f.Pwd(); }},
        {"ascii", "", "TYPE A: line ends converted", [](TSslFtpClient& f, const Args&) { return f.TypeAscii(); }},
        {"binary", "", "TYPE I", [](TSslFtpClient& f, const Args&) { return f.TypeBinary(); }},
        {"passive", "", "later transfers passive (PASV or EPSV)",
         [](TSslFtpClient& f, const Args&) {
             f.SetPassive(true);
             return true;
         }},
        {"active", "", "later transfers active (PORT or EPRT)",
         [](TSslFtpClient& f, const Args&) {
             f.SetPassive(false);
             return true;
         }},
        {"feat", "", "FEAT again (the login asks it: EPSV and EPRT are used where offered, and always over IPv6)",
         [](TSslFtpClient& f, const Args&) { return f.Feat(); }},
        {"syst", "", "SYST", [](TSslFtpClient& f, const Args&) { return f.Syst(); }},
        {"quote", "TEXT", "a raw command",
         [](TSslFtpClient& f, const Args& a) {
             f.LocalFileName = a[0];
             return f.Quote();
         }},
    };
    return table;
}

// What the client took from the reply, beside the reply itself.
std::string result(const std::string& step, const TSslFtpClient& f) {
    if (step == "size") return std::to_string(f.SizeResult);
    if (step == "mdtm") return mail::TimeDateStr(f.RemFileDateTime);
    if (step == "pwd" || step == "cwd" || step == "cdup" || step == "mkd") return f.DirResult;
    if (step == "mlst") return f.RemFacts;
    if (step == "get" || step == "restget" || step == "put" || step == "append" || step == "restput")
        return std::to_string(f.ByteCount) + " bytes";
    return "";
}

int usage(FILE* to) {
    std::fprintf(to,
                 "usage: ftpget [options] HOST PORT USER PASS STEP...\n"
                 "options:\n"
                 "  --active[=START-END]  PORT/EPRT (on a port of the range) instead of PASV/EPSV\n"
                 "  --tls | --implicit    AUTH TLS, or implicit TLS; then PBSZ 0 and PROT P\n"
                 "  --tls-max 1.2|1.3     the newest TLS version offered\n"
                 "  --ca FILE             the authority that signed the server's certificate\n"
                 "  --timeout SECONDS     silence that fails a step (default 30)\n"
                 "  --verbose             the whole session;  --quiet  failures only\n"
                 "steps:\n");
    for (const TStep& s : steps()) std::fprintf(to, "  %-8s %-22s %s\n", s.name, s.args, s.what);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::vector<std::string> pos;
    bool active = false, tls = false, implicit = false, quiet = false, verbose = false;
    unsigned rangeStart = 0, rangeEnd = 0;
    std::string ca, tlsMax;
    int timeout = 30;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help") return usage(stdout), 0;
        if (!pos.empty() || a.rfind("--", 0) != 0) pos.push_back(a);
        else if (a.rfind("--active", 0) == 0) {
            active = true;
            if (a.size() > 9 && std::sscanf(a.c_str() + 9, "%u-%u", &rangeStart, &rangeEnd) != 2) return usage(stderr);
        } else if (a == "--tls") tls = true;
        else if (a == "--implicit") implicit = true;
        else if (a == "--quiet") quiet = true;
        else if (a == "--verbose") verbose = true;
        else if (a == "--ca" && i + 1 < argc) ca = argv[++i];
        else if (a == "--tls-max" && i + 1 < argc) tlsMax = argv[++i];
        else if (a == "--timeout" && i + 1 < argc) timeout = std::atoi(argv[++i]);
        else return usage(stderr);
    }
    if (pos.size() < 4 || (!tlsMax.empty() && tlsMax != "1.2" && tlsMax != "1.3")) return usage(stderr);

    // The steps and their arguments, checked before anything is sent.
    std::vector<std::pair<const TStep*, Args>> plan;
    for (size_t i = 4; i < pos.size();) {
        const TStep* step = nullptr;
        for (const TStep& s : steps())
            if (pos[i] == s.name) step = &s;
        if (!step) {
            std::fprintf(stderr, "ftpget: unknown step %s\n", pos[i].c_str());
            return usage(stderr);
        }
        size_t n = argCount(*step);
        const bool optional = std::strchr(step->args, '[') != nullptr;
        if (optional) n = i + 1 < pos.size() && !std::any_of(steps().begin(), steps().end(), [&](const TStep& s) {
                              return pos[i + 1] == s.name;
                          });
        if (i + 1 + n > pos.size()) {
            std::fprintf(stderr, "ftpget: %s needs %s\n", step->name, step->args);
            return 2;
        }
        plan.emplace_back(step, Args(pos.begin() + static_cast<long>(i) + 1, pos.begin() + static_cast<long>(i + 1 + n)));
        i += 1 + n;
    }

    net::TSslContext ctx;
    if (!ca.empty()) ctx.SetSslCAFile(ca);
    if (!tlsMax.empty()) {
        ctx.InitContext();
        net::f_SSL_CTX_ctrl(ctx.SslCtx(), SSL_CTRL_SET_MAX_PROTO_VERSION, tlsMax == "1.2" ? TLS1_2_VERSION : TLS1_3_VERSION,
                            nullptr);
    }
    TSslFtpClient ftp;
    ftp.SetSslContext(&ctx);
    ftp.HostName = pos[0];
    ftp.Port = pos[1];
    ftp.UserName = pos[2];
    ftp.PassWord = pos[3];
    ftp.SetPassive(!active);
    if (rangeEnd) {
        ftp.SetDataPortRangeStart(rangeStart);
        ftp.SetDataPortRangeEnd(rangeEnd);
    }
    ftp.Timeout = timeout;
    ftp.OnDisplay = [verbose](rtl::TObject*, std::string& m) {
        if (verbose) std::printf("%s\n", m.c_str());
    };
    if (implicit) ftp.SetSslType(mail::sslTypeImplizit);
    if (tls) ftp.SetSslType(mail::sslTypeAuthTls);

    auto report = [&](const std::string& what, bool ok) {
        if (quiet && ok) return ok;
        const std::string extra = ok ? result(what.substr(0, what.find(' ')), ftp) : "";
        std::fprintf(ok ? stdout : stderr, "%s: %s%s%s\n", what.c_str(),
                     (ok ? ftp.LastResponse() : "failed: " + ftp.ErrorMessage()).c_str(), extra.empty() ? "" : " = ",
                     extra.c_str());
        return ok;
    };
    bool ok = report("connect", ftp.Connect());
    if (ok && (tls || implicit)) {
        ftp.SetProtLevel("P");
        ok = report("pbsz", ftp.Pbsz()) && report("prot", ftp.Prot());
    }
    ok = ok && report("binary", ftp.TypeBinary());
    for (const auto& [step, args] : plan) {
        if (!ok) break;
        std::string what = step->name;
        for (const auto& a : args) what += " " + a;
        ok = report(what, step->run(ftp, args));
    }
    ftp.Quit();
    return ok ? 0 : 1;
}
