// A small command-line FTP client over the program's FTP client, for tests
// and benchmarks. Runs one blocking request and prints the session.
// Usage: ftpget [options] HOST PORT USER PASS OP [REMOTE] [LOCAL]
//   OP: get put append restget restput list ls mlsd size mdtm feat mkd rmd dele
//   --active[=START-END]  PORT instead of PASV (with a port range)
//   --tls | --implicit    AUTH TLS (then PBSZ 0, PROT P) or implicit TLS
//   --ca FILE             the authority that signed the server's certificate
//   --quiet               only failures are printed
// Exit status: 0 success, 1 the request failed, 2 bad arguments.
#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "mail/ftpcli.h"
#include "mail/ftpsrvt.h"
#include "platform/rtl/sysutils.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::vector<std::string> pos;
    bool active = false, tls = false, implicit = false, quiet = false;
    unsigned rangeStart = 0, rangeEnd = 0;
    std::string ca;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--active", 0) == 0) {
            active = true;
            if (a.size() > 9 && std::sscanf(a.c_str() + 9, "%u-%u", &rangeStart, &rangeEnd) != 2) return 2;
        } else if (a == "--tls") tls = true;
        else if (a == "--implicit") implicit = true;
        else if (a == "--quiet") quiet = true;
        else if (a == "--ca" && i + 1 < argc) ca = argv[++i];
        else pos.push_back(a);
    }
    if (pos.size() < 5) {
        std::fprintf(stderr, "usage: ftpget [--active[=S-E]] [--tls|--implicit] [--ca FILE] HOST PORT USER PASS OP [REMOTE] [LOCAL]\n");
        return 2;
    }
    net::TSslContext ctx;
    if (!ca.empty()) ctx.SetSslCAFile(ca);
    mail::TSslFtpClient ftp;
    ftp.SetSslContext(&ctx);
    ftp.HostName = pos[0];
    ftp.Port = pos[1];
    ftp.UserName = pos[2];
    ftp.PassWord = pos[3];
    const std::string op = pos[4];
    ftp.HostFileName = pos.size() > 5 ? pos[5] : "";
    ftp.LocalFileName = pos.size() > 6 ? pos[6] : "";
    ftp.SetPassive(!active);
    if (rangeEnd) {
        ftp.SetDataPortRangeStart(rangeStart);
        ftp.SetDataPortRangeEnd(rangeEnd);
    }
    ftp.Timeout = 30;
    ftp.OnDisplay = [quiet](rtl::TObject*, std::string& m) {
        if (!quiet) std::printf("%s\n", m.c_str());
    };
    if (op == "list" || op == "ls" || op == "mlsd") {
        if (ftp.LocalFileName.empty()) {
            ftp.DisplayFileFlag = true;
            ftp.OnDisplayFile = [](rtl::TObject*, std::string& m) { std::printf("%s\n", m.c_str()); };
        }
    }
    if (implicit) ftp.SetSslType(mail::sslTypeImplizit);
    if (tls) ftp.SetSslType(mail::sslTypeAuthTls);
    bool ok = ftp.Connect() && ftp.TypeBinary();
    if (ok && (tls || implicit)) {
        ftp.SetProtLevel("P");
        ok = ftp.Pbsz() && ftp.Prot();
    }
    if (ok) {
        if (op == "get") ok = ftp.Get();
        else if (op == "put") ok = ftp.Put();
        else if (op == "append") ok = ftp.Append();
        else if (op == "restget") ok = ftp.RestGet();
        else if (op == "restput") {
            ok = ftp.Size();
            ftp.ResumeAt = ftp.SizeResult;
            ok = ok && ftp.RestPut();
        } else if (op == "list") ok = ftp.Dir();
        else if (op == "ls") ok = ftp.Ls();
        else if (op == "mlsd") ok = ftp.Mlsd();
        else if (op == "size") {
            ok = ftp.Size();
            if (ok) std::printf("size %lld\n", static_cast<long long>(ftp.SizeResult));
        } else if (op == "mdtm") {
            ok = ftp.Mdtm();
            if (ok) std::printf("mdtm %s\n", mail::TimeDateStr(ftp.RemFileDateTime).c_str());
        } else if (op == "feat") ok = ftp.Feat();
        else if (op == "mkd") ok = ftp.Mkd();
        else if (op == "rmd") ok = ftp.Rmd();
        else if (op == "dele") ok = ftp.Dele();
        else {
            std::fprintf(stderr, "unknown operation %s\n", op.c_str());
            return 2;
        }
    }
    if (!ok) std::fprintf(stderr, "failed: %s\n", ftp.ErrorMessage().c_str());
    ftp.Quit();
    return ok ? 0 : 1;
}
