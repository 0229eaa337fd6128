// The message list's store filled with 1,500,000 synthetic rows (realistic
// header texts, about 600 bytes of first lines each). Prints resident memory
// of the empty and the filled store, and the time to sort by Subject, by
// From, by date and by Size and to search the Subject column with a regular
// expression; then the same on a plain baseline store (one std::string per
// field, std::sort with a case-insensitive compare).
#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "helpers/kwutil.h"
#include "mailbox/msgrows.h"
#include "bench/mailbox/synth.h"

namespace {

using Clock = std::chrono::steady_clock;
int kRows = mailbox::MaxMsgRows;

double seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

double residentMB() {
    std::ifstream f("/proc/self/statm");
    long size = 0, rss = 0;
    f >> size >> rss;
    return static_cast<double>(rss) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

struct PlainRow {
    std::string From, To, Subject, OrgDate, ReplyTo, Cc, PagePath, Matched, Firstlines, Attachment, Charset;
    int64_t Size = 0;
    int32_t MessageNo = 0;
    bool DeleteMark = false, WhiteHit = false, Enciphered = false;
};

double readDate(std::string_view s) { return helpers::parsedate(s); }

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) kRows = std::atoi(argv[1]);
    const double base = residentMB();
    auto* store = new mailbox::TRowStore(readDate, mailbox::MaxMsgRows + 1);
    const double empty = residentMB() - base;

    bench::Synth syn;
    size_t rawBytes = 0;
    store->SetRowCount(kRows);
    std::vector<PlainRow> plain(static_cast<size_t>(kRows));
    for (int i = 0; i < kRows; ++i) {
        const std::string f = syn.from(), t = "user@example.com", s = syn.subject(), d = syn.date(),
                          fl = syn.firstLines(), cs = "utf-8";
        store->SetText(i, mailbox::rtFrom, f);
        store->SetText(i, mailbox::rtTo, t);
        store->SetText(i, mailbox::rtSubject, s);
        store->SetText(i, mailbox::rtOrgDate, d);
        store->SetText(i, mailbox::rtFirstlines, fl);
        store->SetText(i, mailbox::rtCharset, cs);
        store->Row(i).MessageNo = i + 1;
        store->Row(i).Size = static_cast<int64_t>(syn.rnd() % 200000);
        rawBytes += f.size() + t.size() + s.size() + d.size() + fl.size() + cs.size();
        PlainRow& p = plain[static_cast<size_t>(i)];
        p = {f, t, s, d, "", "", "", "", fl, "", cs, store->Row(i).Size, i + 1};
    }
    // Measure the filled store alone: drop the baseline for the moment.
    std::vector<PlainRow> saved;
    saved.swap(plain);
    const double filledPlusPlain = residentMB() - base;

    std::printf("rows: %d, raw text bytes: %.0f MB\n", kRows, static_cast<double>(rawBytes) / (1 << 20));
    std::printf("empty store resident:            %8.1f MB\n", empty);
    std::printf("store + baseline resident:       %8.1f MB (store arena %.0f MB + rows %.0f MB)\n", filledPlusPlain,
                static_cast<double>(store->TextBytes()) / (1 << 20),
                static_cast<double>(sizeof(mailbox::TMsgRow)) * kRows / (1 << 20));
    // Texts with their 4-byte lengths, the rows, and the list order's index.
    const double storeBytes = static_cast<double>(store->TextBytes()) + 4.0 * 6 * kRows +
                              static_cast<double>(sizeof(mailbox::TMsgRow)) * kRows + 4.0 * kRows;
    std::printf("filled store / raw text bytes:   %8.2f x\n", storeBytes / static_cast<double>(rawBytes));

    auto t0 = Clock::now();
    store->Sort(4);
    const double sSubj = seconds(t0);
    t0 = Clock::now();
    store->Sort(2);
    const double sFrom = seconds(t0);
    t0 = Clock::now();
    store->Sort(5);
    const double sDate = seconds(t0);
    t0 = Clock::now();
    store->Sort(6);
    const double sSize = seconds(t0);
    t0 = Clock::now();
    int hits = 0;
    const helpers::PRegex re = helpers::patternregex("kwre:urgent.*#99", false);
    hits = static_cast<int>(
        store->FindRows(mailbox::rtSubject, [&](std::string_view t) { return helpers::rexec(*re, t); }).size());
    const double sFind = seconds(t0);

    plain.swap(saved);
    t0 = Clock::now();
    std::sort(plain.begin(), plain.end(), [](const PlainRow& a, const PlainRow& b) {
        const int c = mailbox::CompareTextCI(a.Subject, b.Subject);
        return c != 0 ? c < 0 : a.MessageNo < b.MessageNo;
    });
    const double pSubj = seconds(t0);
    t0 = Clock::now();
    std::sort(plain.begin(), plain.end(), [](const PlainRow& a, const PlainRow& b) {
        const int c = mailbox::CompareTextCI(a.From, b.From);
        return c != 0 ? c < 0 : a.MessageNo < b.MessageNo;
    });
    const double pFrom = seconds(t0);
    t0 = Clock::now();
    std::sort(plain.begin(), plain.end(), [](const PlainRow& a, const PlainRow& b) {
        const double x = readDate(a.OrgDate), y = readDate(b.OrgDate);
        return x != y ? x < y : a.MessageNo < b.MessageNo;
    });
    const double pDate = seconds(t0);
    t0 = Clock::now();
    std::sort(plain.begin(), plain.end(), [](const PlainRow& a, const PlainRow& b) {
        return a.Size != b.Size ? a.Size < b.Size : a.MessageNo < b.MessageNo;
    });
    const double pSize = seconds(t0);
    t0 = Clock::now();
    int phits = 0;
    for (const auto& p : plain)
        if (helpers::rexec(*re, p.Subject)) ++phits;
    const double pFind = seconds(t0);

    std::printf("%-34s %10s %10s\n", "", "store", "baseline");
    std::printf("%-34s %9.3fs %9.3fs\n", "sort by Subject", sSubj, pSubj);
    std::printf("%-34s %9.3fs %9.3fs\n", "sort by From", sFrom, pFrom);
    std::printf("%-34s %9.3fs %9.3fs\n", "sort by date", sDate, pDate);
    std::printf("%-34s %9.3fs %9.3fs\n", "sort by Size", sSize, pSize);
    std::printf("%-34s %9.3fs %9.3fs  (%d / %d hits)\n", "regex search of Subject", sFind, pFind, hits, phits);
    return 0;
}
