#include "app/pull.h"

#include <QCoreApplication>

#include "app/unattended.h"
#include "helpers/kwutil.h"
#include "mailbox/csvexport.h"
#include "mailbox/hostsfile.h"
#include "mailbox/mboxsession.h"
#include "platform/rtl/sysutils.h"

namespace app {

using namespace mailbox;

namespace {

// The report of a pull that did not end with status 0 (or with notes).
int endPull(int Status, const std::string& Reason) {
    // Unattended, the prompter writes this to standard error and the error log.
    if (!Reason.empty()) helpers::errreport(Reason);
    return Status;
}

}  // namespace

int RunPull(const std::string& Entry) {
    const std::string folder = helpers::homedir;
    const std::string hostsPath = folder + "kwpop3hosts.txt";
    const THostFields* found = nullptr;
    std::vector<THostFields> rows;
    if (helpers::pathexists(hostsPath))
        for (const std::string& line : HostsLines(ReadHostsFile(hostsPath))) rows.push_back(HostFields(line));
    for (const THostFields& row : rows)
        if (!found && rtl::SameText(row[0], Entry)) found = &row;
    if (!found) return endPull(psUsage, "Pull: there is no host entry \"" + Entry + "\" in " + hostsPath);

    TMailboxSession session(folder);
    session.Account = {(*found)[0], (*found)[1], (*found)[2]};
    session.Client().Timeout = ConfigTimeout(helpers::loadtext(folder + "pelliwox.cfg"));
    // The CSV file is written as the rows become final, while the server
    // works on the answers still to come; it replaces the old file only
    // once it is complete. The rows come in the order of their numbers,
    // the list's order.
    TCsvWriter csv(session.CsvPath());
    bool csvBegun = false, csvOk = true;
    int written = 0;
    auto writeRows = [&](int upTo) {
        if (!csvOk) return;
        if (!csvBegun) csvOk = csvBegun = csv.Begin();
        if (csvOk && upTo > written) csvOk = csv.Append(session.Rows(), written, upTo);
        // Nothing reads a row once it is in the file: its texts make room
        // for those still to come, in memory already in place.
        if (csvOk) session.Rows().DropTexts(written, upTo);
        written = upTo;
    };
    session.OnRowsFinal = writeRows;
    TRunReport r;
    std::string broke;
    try {
        session.Retrieve(TRetrieveOptions(), r);
    } catch (const std::exception& e) {
        broke = e.what();
    }
    session.OnRowsFinal = nullptr;
    std::string notes;
    for (const std::string& n : r.notes) notes += "\r\n" + n;
    if (!r.listed)
        return endPull(psNotListed, "Pull of " + Entry + ": could not log in or list the mailbox: " +
                                        (broke.empty() ? r.failure : broke) + notes);
    // The session ends here: an answer still arriving now came for no
    // command, and says the answers read were not in step with them.
    session.Client().ResetOutOfStep();
    if (session.Client().Connected() && !session.Command("QUIT") && session.Client().AnswersOutOfStep()) {
        r.outOfStep = true;
        notes += "\r\nThe server sent an answer nobody asked for: " + session.Failure();
    }
    const std::string path = session.CsvPath();
    writeRows(session.RowCount());
    if (!csvOk || !csv.Finish())
        return endPull(psCsvFailed, "Pull of " + Entry + ": the CSV file " + path + " could not be written" + notes);
    if (r.notFetched > 0 || r.notListed > 0 || r.outOfStep || !broke.empty()) {
        std::string why = helpers::numsep(r.notFetched) + " of " + helpers::numsep(session.RowCount()) +
                          " messages could not be fetched (their rows in " + path + " say \"[not fetched: ...]\")";
        if (r.outOfStep) why += "; the server's answers were out of step with the commands";
        if (!broke.empty()) why += "; the retrieval broke off: " + broke;
        return endPull(psIncomplete, "Pull of " + Entry + ": " + why + notes);
    }
    return endPull(psComplete, notes.empty() ? std::string() : "Pull of " + Entry + ":" + notes);
}

int PullMain(int argc, char** argv, const std::string& Entry) {
    // No windowing platform: cron has no display, and a pull shows nothing.
    QCoreApplication qapp(argc, argv);
    TUnattendedPrompter unattended;
    int status = psNotListed;
    try {
        helpers::utilinit();
        status = RunPull(Entry);
    } catch (const std::exception& e) {
        helpers::errreport(std::string("Pull of ") + Entry + ": " + e.what());
    }
    helpers::utilexit();
    return status;
}

}  // namespace app
