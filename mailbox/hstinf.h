#pragma once
// The hosts configuration window over the hosts file (hostsfile.h).
#include <string>
#include <vector>

#include "mailbox/hostsfile.h"

#include "platform/ui/forms.h"
#include "platform/ui/grids.h"
#include "platform/ui/stdctrls.h"

namespace mailbox {

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
