#pragma once
// The hosts file and the hosts configuration window.
//
// The file "kwpop3hosts.txt" holds one line per mail account with five
// comma-separated fields: POP3 host (with port and description), user
// name, password, SMTP host, sender address. It is stored as "@" followed
// by the text enciphered under the window's key table; a file that does not
// start with "@" is read as plain text.
#include <array>
#include <string>
#include <vector>

#include "platform/ui/forms.h"
#include "platform/ui/grids.h"
#include "platform/ui/stdctrls.h"

namespace mailbox {

using THostFields = std::array<std::string, 5>;

// The 85 characters the hosts file is enciphered under.
const std::string& HostsKeyTable();
// The plain text of the hosts file; empty when it is missing. Read errors
// are reported.
std::string ReadHostsFile(const std::string& path);
// Writes the plain text enciphered, replacing the file, readable by its
// owner only; false (reported) when it could not be written.
bool WriteHostsFile(const std::string& path, const std::string& plaintext);
// The lines of a hosts text (CR LF, LF or CR end a line).
std::vector<std::string> HostsLines(const std::string& text);
// The five fields of a line, trimmed; missing ones empty.
THostFields HostFields(const std::string& line);
// The rows of a hosts text that have both a host and a user name.
std::vector<THostFields> ParseHostsText(const std::string& text);
// The rows as a hosts text: each field quoted as a CSV field, each line
// ended by CR LF; rows without a host or a user name are left out.
std::string HostsText(const std::vector<THostFields>& rows);

class Thostinfo : public ui::TForm {
public:
    explicit Thostinfo(rtl::TComponent* Owner);
    ~Thostinfo() override;
    const char* ClassName() const override { return "Thostinfo"; }

    std::string ReadHostsText();
    // Grid := the file; no unsaved changes afterwards.
    void LoadGrid();
    void svfltrsbtnClick(rtl::TObject* Sender);
    void rvrtsvdbtnClick(rtl::TObject* Sender);
    void addfltrbtnClick(rtl::TObject* Sender);
    void delfltrbtnClick(rtl::TObject* Sender);
    void clonebtnClick(rtl::TObject* Sender);
    void usefltrbtnClick(rtl::TObject* Sender);
    void FormShow(rtl::TObject* Sender);
    void FormResize(rtl::TObject* Sender);
    void FormCloseQuery(rtl::TObject* Sender, bool& CanClose);
    void StringGrid1GetEditText(rtl::TObject* Sender, int ACol, int ARow, std::string& Value);
    void StringGrid1SetEditText(rtl::TObject* Sender, int ACol, int ARow, const std::string& Value);

    ui::TStringGrid* StringGrid1;
    ui::TButton* rvrtsvdbtn;
    // Enabled exactly while the grid holds unsaved changes.
    ui::TButton* svfltrsbtn;
    ui::TButton* addfltrbtn;
    ui::TButton* delfltrbtn;
    ui::TButton* clonebtn;
    ui::TButton* usefltrbtn;

    // The hosts file: the program folder's unless the main window sets another.
    std::string HostsPath;
    // Raised after every successful save, for the main window's host list.
    rtl::TNotifyEvent OnHostsSaved;

private:
    // The grid's data rows (after the title row).
    std::vector<THostFields> GridRows() const;
    void AppendRow(const THostFields& fields);
    void SetChanged(bool changed);
    void CloseEditor();

    std::string keytable_;
    // The text of the cell being edited, as it was when editing began.
    std::string editstart_ = "*&()^$&*)%!^&!%^";
    // The search and replacement texts of the last transcription.
    std::string clonesearch_, clonereplace_;
};

extern Thostinfo* hostinfo;

}  // namespace mailbox
