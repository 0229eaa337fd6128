#pragma once
// Tcssdsgnr, the "CSS Designer": one CSS rule edited through its controls,
// the rule's text in Memo1 and a preview of it on a sample element. The
// composer shows it modally for the quote style and non-modally from its
// "Style Designer" button and "Put Style into CSS Designer". The rule's
// logic (building, reading back, the preview page) is cssstyle.
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "composer/cssstyle.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

namespace browser {
class TWebBrowser;
}

namespace composer {

class Tcssdsgnr : public ui::TForm {
public:
    explicit Tcssdsgnr(rtl::TComponent* owner);
    ~Tcssdsgnr() override;
    const char* ClassName() const override { return "Tcssdsgnr"; }

    // The controls that hold a part of the rule, by their names
    // (StyleControls): an edit, a list or a colour panel each.
    ui::TEdit* EditOf(const std::string& Name) const;
    ui::TComboBox* ComboOf(const std::string& Name) const;
    ui::TPanel* PanelOf(const std::string& Name) const;

    ui::TPanel* font;  // the font dialog's font
    ui::TUpDown* opacityUpDown;
    ui::TEdit* cssname;
    ui::TComboBox* prvwtyp;  // the preview's sample element
    ui::TComboBox* bordsel;  // which border's controls show
    ui::TGroupBox* bordgroup;
    ui::TCheckBox* mrggang;
    ui::TCheckBox* padgang;
    ui::TMemo* Memo1;  // the rule's text
    ui::TLabel* ParseNote;  // says when a style could not be read into the controls
    ui::TBitBtn* BitBtn1;  // OK / copy to the clipboard and close
    ui::TBitBtn* BitBtn2;  // the preview in the desktop's browser
    ui::TBitBtn* BitBtn3;  // the background image
    ui::TBitBtn* BitBtn4;  // Cancel
    ui::TBitBtn* clrfrm;
    ui::TPanel* PreviewPanel;  // holds CppWebBrowser1

    // State beside the controls.
    bool FontChosen = false;
    std::string FontFamilyList;
    // The parsed declarations no control took (OtherNames, OtherValues).
    std::vector<std::pair<std::string, std::string>> Others;

    // The refresh: BuildStyle, then WritePreview with it.
    void bordtypeChange(rtl::TObject* Sender);
    std::string BuildStyle();
    // Loads a style into the controls and refreshes. A text that is no
    // declaration list stays in Memo1 as it was given.
    void ParseStyle(const std::string& Text);
    void WritePreview(const std::string& Style);
    void Memo1Change(rtl::TObject* Sender);
    void BitBtn1Click(rtl::TObject* Sender);
    void BitBtn2Click(rtl::TObject* Sender);
    void BitBtn3Click(rtl::TObject* Sender);
    void BitBtn4Click(rtl::TObject* Sender);
    void fontClick(rtl::TObject* Sender);
    void colourClick(ui::TPanel* Panel);
    void lfmargChange(rtl::TObject* Sender);
    void lfpdingChange(rtl::TObject* Sender);
    void bordselChange(rtl::TObject* Sender);
    void cssnameKeyUp(rtl::TObject* Sender);
    void clrfrmClick(rtl::TObject* Sender);
    void FormShow(rtl::TObject* Sender);

    // The rule as the controls hold it, and the controls set from a rule.
    TStyleRule Rule() const;
    void SetRule(const TStyleRule& Rule);
    // What OK gives: the memo's text, trimmed.
    std::string StyleText() const;
    // The preview page's file, and the browser showing it (started on the
    // first showing).
    static std::string PreviewPath();
    browser::TWebBrowser& CppWebBrowser1();
    bool PreviewStarted() const { return web_ != nullptr; }

private:
    struct TField {
        const TStyleControl* Spec = nullptr;
        ui::TEdit* Edit = nullptr;
        ui::TComboBox* Combo = nullptr;
        ui::TPanel* Panel = nullptr;
    };
    void buildControls();
    void bindEvents();
    std::string valueOf(const TField& f) const;
    void setValue(const TField& f, const std::string* value);
    void showColour(ui::TPanel* panel, ui::TColor colour);
    void showFont();
    void clearControls();
    void gangCopy(const char* left, const char* const others[3], ui::TCheckBox* gang);

    std::map<std::string, TField> fields_;
    std::vector<std::string> order_;
    std::unique_ptr<browser::TWebBrowser> web_;
    bool loading_ = false;   // the controls are being set: their events keep still
    bool building_ = false;  // Memo1 is being written by BuildStyle
};

extern Tcssdsgnr* cssdsgnr;

}  // namespace composer
