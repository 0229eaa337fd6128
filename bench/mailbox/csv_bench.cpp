// Exporting 1,500,000 synthetic rows of the message list to CSV, beside
// Python's csv writer writing the same rows in the same run.
#include <QCoreApplication>
#include <QProcess>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/mailbox/synth.h"
#include "helpers/kwutil.h"
#include "mailbox/csvexport.h"

namespace {
using Clock = std::chrono::steady_clock;
double readDate(std::string_view s) { return helpers::parsedate(s); }

void put(std::ofstream& f, std::string_view s) {
    const auto n = static_cast<uint32_t>(s.size());
    f.write(reinterpret_cast<const char*>(&n), sizeof n);
    f.write(s.data(), static_cast<std::streamsize>(s.size()));
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : mailbox::MaxMsgRows;
    mailbox::TRowStore store(readDate, rows);
    store.SetRowCount(rows);
    bench::Synth().fill(store, rows);
    const std::string dir = "/tmp/pelliwox-bench-csv";
    std::system(("mkdir -p " + dir).c_str());
    const std::string path = dir + "/Pelliwox.csv";
    std::remove(path.c_str());
    const auto t0 = Clock::now();
    mailbox::ExportCsv(store, path, nullptr);
    const double ours = std::chrono::duration<double>(Clock::now() - t0).count();
    std::ifstream sz(path, std::ios::ate | std::ios::binary);
    const double mb = static_cast<double>(sz.tellg()) / (1 << 20);

    // The same fields for Python: written once, read there before its clock starts.
    const std::string dump = dir + "/rows.bin";
    {
        std::ofstream f(dump, std::ios::binary);
        for (int i = 0; i < rows; ++i) {
            put(f, std::to_string(store.Row(i).MessageNo));
            for (auto t : {mailbox::rtFrom, mailbox::rtTo, mailbox::rtSubject, mailbox::rtOrgDate})
                put(f, store.Text(i, t));
            put(f, mailbox::CsvDateTime(store.Row(i)));
            put(f, std::to_string(store.Row(i).Size));
            for (auto t : {mailbox::rtFirstlines, mailbox::rtMatched, mailbox::rtAttachment, mailbox::rtCharset})
                put(f, store.Text(i, t));
        }
    }
    QProcess py;
    py.start("/usr/bin/python3", {QString(PWX_SOURCE_DIR) + "/bench/mailbox/csv_python.py",
                                  QString::fromStdString(dump), QString::fromStdString(dir + "/python.csv")});
    py.waitForFinished(-1);
    const double python = py.readAllStandardOutput().trimmed().toDouble();
    std::printf("CSV export of %d rows (%.0f MB)\n", rows, mb);
    std::printf("  %-24s %7.2f s\n", "ExportCsv", ours);
    std::printf("  %-24s %7.2f s  (export = %.2fx)\n", "Python csv writer", python, ours / python);
    std::remove(dump.c_str());
    return 0;
}
