// The renderer's output fingerprint, to keep speed work byte-identical:
// renders the benchmark's generated messages, the test fixtures, the fuzz
// corpus and deterministic mutations of the small ones, with the parts kept
// in memory, and writes one line per message: hashes of the page, of every
// part with its name, of the row fields and of the problems.
//   bench_render_golden record FILE [COUNT, default 300] [WORKDIR]
//   bench_render_golden check  FILE [COUNT] [WORKDIR]    lists what differs
// Python picks MIME boundaries at random, so the messages are made once in
// WORKDIR (default FILE + ".work") and kept for the checks that follow.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "helpers/kwutil.h"
#include "mailbox/hdrdecode.h"
#include "mailbox/msgrender.h"
#include "tests/mailbox/render_input.h"

namespace fs = std::filesystem;

namespace {

using rendertest::captureHeaders;
using rendertest::readFile;
using rendertest::run;


uint64_t fnv(std::string_view s, uint64_t h = 1469598103934665603ull) {
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
    return h;
}

std::string hex(uint64_t h) {
    char b[17];
    std::snprintf(b, sizeof b, "%016llx", static_cast<unsigned long long>(h));
    return b;
}

// Parts in memory under names that do not change from run to run.
class MemoryStore : public mailbox::TPartStore {
public:
    std::string Keep(const std::string& stem, const std::string& ext, std::string_view bytes) override {
        return keep("/mem/" + stem + "_" + std::to_string(files_.size() + 1) + ext, bytes);
    }
    std::string KeepTemp(const std::string& ext, std::string_view bytes) override {
        return keep("/mem/kw64_" + std::to_string(files_.size() + 1) + ext, bytes);
    }
    std::vector<std::pair<std::string, uint64_t>> files_;

private:
    std::string keep(const std::string& name, std::string_view bytes) {
        files_.emplace_back(name, fnv(bytes));
        return name;
    }
};

std::string fingerprint(const std::string& text, bool small, bool enciphered) {
    mailbox::TRenderInput in;
    in.lines.SetText(text);
    captureHeaders(in);
    std::string cs;
    in.From = mailbox::DecodeEncodedWords(in.HdrFrom, true, cs);
    in.Enciphered = enciphered;
    in.mailKey = "k3y";
    mailbox::TRenderLimits limits;
    if (small) {
        limits.maxBoundaries = 64;
        limits.maxSectors = 256;
        limits.maxPartBytes = 1 << 16;
    }
    MemoryStore store;
    mailbox::TRenderResult r;
    const std::string page = mailbox::BuildPage(in, store, r, limits);
    std::string problems;
    for (const auto& p : r.problems) problems += p + "\n";
    std::string line = hex(fnv(page)) + " " + std::to_string(page.size()) + " cs=" + r.Charset + " att=" +
                       hex(fnv(r.Attachment)) + " pr=" + hex(fnv(problems));
    for (const auto& [name, h] : store.files_) line += " " + name + "=" + hex(h);
    return line;
}

// Pieces that steer the renderer, spliced into the small inputs.
const char* const kPieces[] = {
    "\r\n", "\r\n\r\n", "--", "--b1\r\n", "boundary=\"b1\"", "boundary=b2;", "\r\n--b2--\r\n",
    "Content-Type: text/html; charset=iso-8859-1\r\n", "Content-Type: text/plain; charset=\"utf-8\"\r\n",
    "Content-Transfer-Encoding: base64\r\n\r\n", "Content-Transfer-Encoding: quoted-printable\r\n\r\n",
    "Content-Disposition: attachment; filename=\"a.pdf\"\r\n", "Content-ID: <x@y>\r\n", "\"cid:x@y\"",
    "=\r\n", "=3D", "=C3=A9", "=\r\n..", "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo=\r\n",
    "\r\nQUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlq\r\nQUJD==\r\n", "<head>", "<body>", "</body>",
    "</html>", "\r\n.\r\n", "+OK\r\n", "@@sector@@1@@", "http://ex.org/a?b=c&d", "www.ex.org", "a.b@ex.org",
    "href=", "  ", "   ", "\x1E", "\x1F", "\xC3\xA9", "\xE9", "%", "&", "<", ">", "\"", "----//----",
    "text/html;", "; charset=utf-16", "; charset=koi8-r", "<a href=x>", "<img src=\"cid:p1@x\">",
};

std::string mutate(const std::string& base, std::mt19937& rng) {
    std::string s = base;
    const int edits = 1 + static_cast<int>(rng() % 6);
    for (int e = 0; e < edits; ++e) {
        const size_t at = s.empty() ? 0 : rng() % (s.size() + 1);
        switch (rng() % 4) {
            case 0:
            case 1: s.insert(at, kPieces[rng() % std::size(kPieces)]); break;
            case 2:
                if (!s.empty()) s.erase(at, std::min<size_t>(rng() % 40, s.size() - std::min(at, s.size())));
                break;
            default:
                if (at < s.size()) s[at] = static_cast<char>(rng());
        }
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || (std::string(argv[1]) != "record" && std::string(argv[1]) != "check")) {
        std::fprintf(stderr, "usage: bench_render_golden record|check FILE [COUNT] [WORKDIR]\n");
        return 2;
    }
    const bool record = std::string(argv[1]) == "record";
    const int count = argc > 3 ? std::atoi(argv[3]) : 300;
    const fs::path work = argc > 4 ? fs::path(argv[4]) : fs::path(std::string(argv[2]) + ".work");
    helpers::homedir = PWX_SOURCE_DIR "/data/";
    if (!fs::exists(work / "done")) {
        fs::remove_all(work);
        fs::create_directories(work);
        if (run("/usr/bin/python3 " PWX_SOURCE_DIR "/bench/mailbox/render_python.py make '" +
                (work / "msgs").string() + "' " + std::to_string(count)) ||
            run("/usr/bin/python3 " PWX_SOURCE_DIR "/tests/mailbox/make_render_fixtures.py '" +
                (work / "fixtures").string() + "' > /dev/null"))
            return 1;
        std::ofstream(work / "done") << count << "\n";
    }

    std::map<std::string, std::string> cases;  // name -> message
    std::vector<std::pair<std::string, std::string>> small;
    for (const char* dir : {"msgs", "fixtures"})
        for (const auto& e : fs::directory_iterator(work / dir))
            if (e.path().extension() == ".eml") {
                const std::string name = std::string(dir) + "/" + e.path().filename().string();
                cases[name] = readFile(e.path());
                if (cases[name].size() < 40000) small.emplace_back(name, cases[name]);
            }
    for (const auto& e : fs::directory_iterator(PWX_SOURCE_DIR "/tests/data/render/corpus")) {
        const std::string name = "corpus/" + e.path().filename().string();
        cases[name] = readFile(e.path());
        small.emplace_back(name, cases[name]);
    }
    std::sort(small.begin(), small.end());

    std::map<std::string, std::string> prints;
    const auto t0 = std::chrono::steady_clock::now();
    for (const auto& [name, text] : cases) {
        prints[name] = fingerprint(text, false, false);
        prints[name + "#E"] = fingerprint(text, false, true);
    }
    std::mt19937 rng(12345);
    for (const auto& [name, text] : small)
        for (int k = 0; k < 150; ++k) {
            const std::string m = mutate(text, rng);
            prints[name + "#m" + std::to_string(k)] = fingerprint(m, k % 2 == 0, k % 13 == 0);
        }
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    const std::string file = argv[2];
    if (record) {
        std::ofstream f(file, std::ios::binary);
        for (const auto& [name, line] : prints) f << name << " " << line << "\n";
        std::printf("recorded %zu fingerprints in %s (%.2f s rendering)\n", prints.size(), file.c_str(), secs);
        return 0;
    }
    std::ifstream f(file, std::ios::binary);
    std::map<std::string, std::string> want;
    for (std::string l; std::getline(f, l);) {
        const size_t sp = l.find(' ');
        want[l.substr(0, sp)] = l.substr(sp + 1);
    }
    size_t differ = 0;
    for (const auto& [name, line] : prints) {
        auto w = want.find(name);
        if (w == want.end() || w->second != line) {
            if (++differ <= 20)
                std::printf("DIFFERS %s\n  want %s\n  got  %s\n", name.c_str(),
                            w == want.end() ? "(none)" : w->second.c_str(), line.c_str());
        }
    }
    if (want.size() != prints.size()) std::printf("count: want %zu, got %zu\n", want.size(), prints.size());
    std::printf("%zu of %zu fingerprints differ (%.2f s rendering)\n", differ, prints.size(), secs);
    return differ || want.size() != prints.size() ? 1 : 0;
}
