#pragma once
// Tkwutzp, the zip options window of archiving received pages: archive
// name, password and method, spanning threshold, maximum files per
// archive, compression level and the one-go switch.
#include <string>

#include "platform/ui/comctrls.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

namespace mailbox {

class Tkwutzp : public ui::TForm {
public:
    explicit Tkwutzp(rtl::TComponent* owner);
    ~Tkwutzp() override;
    const char* ClassName() const override { return "Tkwutzp"; }

    ui::TLabel* Label1;
    ui::TEdit* zpfnm;
    ui::TButton* zipbtn;
    ui::TLabel* Label2;
    ui::TEdit* zppswd;
    ui::TLabel* Label3;
    ui::TEdit* zpspn;
    ui::TLabel* Label4;
    ui::TEdit* zpmax;
    ui::TLabel* Label5;
    ui::TComboBox* zipencmthd;
    ui::TLabel* Label6;
    ui::TEdit* cplev;
    ui::TUpDown* clv;
    ui::TCheckBox* chnkit;
    ui::TButton* despatch;
    ui::TButton* canx;
    ui::TOpenDialog* OpenDialog3;

    void zipbtnClick(rtl::TObject* Sender);
    void zppswdChange(rtl::TObject* Sender);
    void zpspnChange(rtl::TObject* Sender);
    void despatchClick(rtl::TObject* Sender);
    // The method chosen: 1-3 for the AES items, 0 otherwise.
    int Method() const;
    int Level() const;
};

extern Tkwutzp* kwutzp;

}  // namespace mailbox
