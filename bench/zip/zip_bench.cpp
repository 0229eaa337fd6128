// Prints figures: one batch of 5,000 generated pages archived by TArkivolt
// beside `zip` at the same level (zip -6 against level 6, zip -9 against
// the component's default level 9), both archives tested with `unzip -t`;
// the archiving run in its one-commit-per-file mode over the same pages;
// then extraction beside `unzip` in the same run: the 5,000 pages, and an
// archive of 70,000 small entries in 700 folders (ours syncs what it
// wrote before it returns; unzip does not).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "mailbox/kwem1_zip.h"
#include "zip/arkivolt.h"

namespace {

constexpr int kPages = 5000;

double Seconds(const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Pages like the renderer's: markup around text from a small vocabulary.
std::vector<std::string> MakePages(const std::string& folder) {
    std::filesystem::create_directories(folder);
    static const char* words[] = {"the",     "mailbox", "message", "server", "reply",  "meeting", "invoice",
                                  "attached", "regards", "please",  "order",  "account", "update", "weekly"};
    std::mt19937 rng(42);
    std::vector<std::string> names;
    for (int i = 0; i < kPages; ++i) {
        std::string page = "<html><head><meta charset=\"utf-8\"><title>Message " + std::to_string(i) +
                           "</title></head><body><table><tr><td>From:</td><td>sender" + std::to_string(rng() % 300) +
                           "@example.org</td></tr></table><p>";
        const int n = 200 + static_cast<int>(rng() % 3000);
        for (int w = 0; w < n; ++w) {
            page += words[rng() % 14];
            page += w % 17 == 16 ? ".</p>\r\n<p>" : " ";
        }
        page += "</p></body></html>\r\n";
        const std::string name = "page" + std::to_string(i) + ".htm";
        std::ofstream(folder + "/" + name, std::ios::binary) << page;
        names.push_back(name);
    }
    return names;
}

int64_t SizeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

bool UnzipTest(const std::string& zipFile) {
    return std::system(("unzip -tq '" + zipFile + "' >/dev/null").c_str()) == 0;
}

}  // namespace

int main() {
    char tmpl[] = "/tmp/pelliwox-zipbench-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    const auto names = MakePages(dir + "/pages");
    int64_t total = 0;
    for (const auto& n : names) total += SizeOf(dir + "/pages/" + n);
    std::printf("%d pages, %.1f MB\n", kPages, total / 1e6);
    std::printf("%-28s %10s %12s %12s %8s %8s\n", "level", "zip s", "ours s", "ratio", "size %", "tests");
    for (int level : {6, 9}) {
        const std::string theirs = dir + "/zip" + std::to_string(level) + ".zip";
        const std::string ours = dir + "/ours" + std::to_string(level) + ".zip";
        const double tz = Seconds([&] {
            const std::string cmd = "cd '" + dir + "' && zip -q -" + std::to_string(level) + " -r '" + theirs + "' pages";
            if (std::system(cmd.c_str()) != 0) std::printf("zip failed\n");
        });
        const double to = Seconds([&] {
            zip::TArkivolt ark;
            ark.SetCompressionMode(level);
            ark.FileName = ours;
            ark.OpenArchive(zip::kModeCreate);
            ark.BaseDir = dir;
            ark.Options.Recurse = false;
            ark.FileMasks = {"pages/*.htm"};
            ark.AddFiles();
            ark.CloseArchive();
        });
        const bool ok = UnzipTest(theirs) && UnzipTest(ours);
        std::printf("%-28s %10.3f %12.3f %12.2fx %7.2f%% %8s\n",
                    (std::string("zip -") + std::to_string(level) + " / level " + std::to_string(level)).c_str(), tz,
                    to, to / tz, 100.0 * double(SizeOf(ours) - SizeOf(theirs)) / double(SizeOf(theirs)),
                    ok ? "pass" : "FAIL");
    }
    // The archiving run: with a size threshold it commits once per file,
    // with a maximum once per archive.
    for (const bool perFile : {true, false}) {
        MakePages(dir + "/pages");
        zip::TArkivolt ark;
        mailbox::TRcvdArchiver run(ark);
        mailbox::TArchiveRequest request;
        request.Folder = dir + "/pages";
        request.Files = names;
        request.ZipName = dir + (perFile ? "/perfile.zip" : "/perbatch.zip");
        request.Threshold = perFile ? 2000000000 : 0;
        request.MaxFiles = perFile ? 0 : 25000;
        request.Level = 9;
        std::string report;
        const double t = Seconds([&] { report = run.Run(request); });
        const bool ok = !run.Archives.empty() && UnzipTest(run.Archives[0]) && report.find("Failed") == std::string::npos;
        std::printf("archiving run, %s, level 9: %.3f s, %s\n",
                    perFile ? "one commit per file (threshold)" : "one commit per archive (maximum)", t,
                    ok ? "every file verified and deleted" : "FAILURES");
    }
    // Extraction: unzip and ours into empty folders, then compared.
    const std::string pagesZip = dir + "/zip9.zip", manyZip = dir + "/many.zip";
    const std::string make =
        "/usr/bin/python3 -c 'import sys,zipfile\n"
        "with zipfile.ZipFile(sys.argv[1],\"w\",zipfile.ZIP_DEFLATED) as z:\n"
        "  for i in range(70000): z.writestr(\"d%03d/e%05d.txt\"%(i%700,i),(\"entry %d \"%i)*(1+i%40))' " +
        manyZip;
    if (std::system(make.c_str()) != 0) std::printf("making the 70,000-entry archive failed\n");
    std::printf("%-28s %10s %12s %12s %8s\n", "extraction", "unzip s", "ours s", "ratio", "same");
    for (const auto& [label, archive] : {std::pair<std::string, std::string>{"5,000 pages", pagesZip},
                                         {"70,000 entries, 700 folders", manyZip}}) {
        const std::string theirs = dir + "/x-unzip", ours = dir + "/x-ours";
        // Best of three, each from a clean start: the folder gone and the
        // disk synced, so neither pays for what the other left to write.
        double tu = 1e9, to = 1e9;
        for (int round = 0; round < 3; ++round) {
            std::filesystem::remove_all(theirs);
            std::filesystem::remove_all(ours);
            ::sync();
            tu = std::min(tu, Seconds([&] {
                if (std::system(("unzip -qq -o '" + archive + "' -d '" + theirs + "'").c_str()) != 0)
                    std::printf("unzip failed\n");
            }));
            ::sync();
            to = std::min(to, Seconds([&] {
                zip::TArkivolt ark;
                ark.FileName = archive;
                ark.OpenArchive(zip::kModeReadOnly);
                ark.BaseDir = ours;
                ark.ExtractFiles("*.*", 10431, "");
            }));
        }
        const bool same = std::system(("diff -rq '" + theirs + "' '" + ours + "' >/dev/null").c_str()) == 0;
        std::printf("%-28s %10.3f %12.3f %11.2fx %8s\n", label.c_str(), tu, to, to / tu, same ? "yes" : "NO");
    }
    std::filesystem::remove_all(dir);
    return 0;
}
