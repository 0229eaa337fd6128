// The files of the network layer: the debug log, which may record mail and
// passwords as they pass, and the TLS files (certificates, keys, authorities).
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

#include "net/evqlogger.h"
#include "net/sslcontext.h"
#include "net/x509.h"
#include "tests/net/ssl_fixture.h"
#include "tests/support/plants.h"

using namespace net;
using testsupport::ReadBytes;

namespace {

std::string cert(const std::string& name) { return SSL_TEST_CERTS "/" + name; }

// The form of the TLS layer's failures that come with a reason.
std::string withReason(const std::string& message, const std::string& reason) {
    return "\r\n" + message + "\r\n" + reason + "\r\n";
}

void writeLog(const std::string& name, TLogFileOption option, const std::string& line = "data") {
    TEvqLogger log;
    log.SetLogFileOption(option);
    log.SetLogFileName(name);
    log.SetLogOptions(loDestFile);
    log.DoDebugLog(nullptr, loWsockInfo, line);
}

// Saves the test server's certificate, with its key when Key, or the key alone.
void saveCertificate(const std::string& name, bool key, bool certificate = true) {
    TX509Base c;
    c.LoadFromPemFile(cert("combined.pem"), true);
    if (certificate) c.SaveToPemFile(name, key);
    else c.PrivateKeySaveToPemFile(name);
}

std::string logFailure(const std::string& name, const std::string& reason) {
    return "Cannot open log file \"" + name + "\": " + reason;
}

std::string tlsFailure(const std::string& name, const std::string& reason) {
    return withReason("Error on opening file \"" + name + "\"", reason);
}

const std::vector<testsupport::TFileUse> kWriters = {
    {"debug log, appending", [](const std::string& n) { writeLog(n, lfoAppend); }, logFailure},
    {"debug log, overwriting", [](const std::string& n) { writeLog(n, lfoOverwrite); }, logFailure},
    {"certificate and key", [](const std::string& n) { saveCertificate(n, true); }, tlsFailure},
    {"key", [](const std::string& n) { saveCertificate(n, true, false); }, tlsFailure},
    {"file BIO for writing",
     [](const std::string& n) {
         TSslContext ctx;
         ctx.OpenFileBio(n, bomWrite);
     },
     tlsFailure},
};

// A server context whose certificate, key or authorities come from Name.
void useContextFile(const std::string& name, const std::string& which) {
    TSslContext ctx;
    ctx.SetSslVersionMethod(sslV23_SERVER);
    ctx.SetSslVerifyPeer(false);
    ctx.SetSslPrivKeyFile(which == "key" ? name : cert("server.key"));
    ctx.SetSslCertFile(which == "certificate" ? name : cert("server.pem"));
    if (which == "authorities") ctx.SetSslCAFile(name);
    ctx.InitContext();
    if (which == "client authorities") ctx.SetClientCAListFromFile(name);
}

std::function<std::string(const std::string&)> missing(const std::string& lead) {
    return [lead](const std::string& name) { return lead + " \"" + name + "\""; };
}

// The library opens most of these by name; each is offered the combined key
// and certificate through a live link.
const std::vector<testsupport::TFileUse> kReaders = {
    {"certificate object", [](const std::string& n) { TX509Base().LoadFromPemFile(n, true); }, tlsFailure,
     missing("File not found")},
    {"context certificate", [](const std::string& n) { useContextFile(n, "certificate"); }, tlsFailure,
     missing("File not found")},
    {"context key", [](const std::string& n) { useContextFile(n, "key"); }, tlsFailure, missing("File not found")},
    {"context authorities", [](const std::string& n) { useContextFile(n, "authorities"); }, tlsFailure,
     missing("File not found")},
    {"client authorities", [](const std::string& n) { useContextFile(n, "client authorities"); }, tlsFailure,
     missing("Certificate file not found")},
};

class NetFiles : public SslFolderTest {};

}  // namespace

// Whatever is planted where the log or a TLS file is written, the writer
// refuses and says why: nothing made where a link points, no victim
// overwritten, no call held up by a pipe nobody reads.
TEST_F(NetFiles, NothingIsWrittenThroughALinkOrIntoAPipe) {
    testsupport::TPlantBed bed;
    testsupport::ExpectNoWritesThroughPlants(bed, kWriters);
}

// What the TLS library reads by name is opened first by the program's
// rules: a link to a file is followed, a pipe is refused at once.
TEST_F(NetFiles, TlsFilesAreReadOnlyWhenRegular) {
    testsupport::TPlantBed bed(ReadBytes(cert("combined.pem")));
    testsupport::ExpectReadsOfRegularFilesOnly(bed, kReaders);
}

// Under the usual umask the log is its owner's alone, a log that was
// readable by others is tightened, and a saved certificate follows the
// umask while one saved with its key does not.
TEST_F(NetFiles, ModesOfTheLogAndOfSavedCertificates) {
    testsupport::TPlantBed bed;
    testsupport::ExpectModes(
        bed, {
                 {"new log", -1, [](const std::string& n) { writeLog(n, lfoAppend); }, 0600, "data\r\n"},
                 {"appending to a readable log", 0644, [](const std::string& n) { writeLog(n, lfoAppend); }, 0600,
                  "old"},
                 {"overwriting a readable log", 0644, [](const std::string& n) { writeLog(n, lfoOverwrite); }, 0600,
                  "data\r\n"},
                 {"certificate", -1, [](const std::string& n) { saveCertificate(n, false); }, 0644, "-----BEGIN CE"},
                 {"certificate and key over a readable file", 0644,
                  [](const std::string& n) { saveCertificate(n, true); }, 0600, "-----BEGIN PR"},
             });
}
