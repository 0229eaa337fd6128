// Tcssdsgnr: the style designer's controls, events and preview.
#include "composer/cssdsgnr.h"

#include <filesystem>

#include "helpers/kwutil.h"
#include "mailbox/kwem1.h"
#include "platform/browser/webbrowser.h"
#include "platform/rtl/sysutils.h"
#include "platform/ui/clipbrd.h"
#include "platform/ui/dialogs.h"

namespace composer {

Tcssdsgnr* cssdsgnr = nullptr;

namespace {

using mailbox::TFlagScope;

// One row of a group: caption and control. A control starting with "*" is
// the border part of that name for every side (they share the place).
struct TRow {
    const char* Label;
    const char* Control;
};
struct TGroup {
    const char* Caption;
    std::vector<TRow> Rows;
};
const TGroup kGroups[] = {
    {"Text :-",
     {{"Font :-", "font"}, {"Colour :-", "colour"}, {"Background :-", "bgcolour"}, {"White Space :-", "whtspc"},
      {"Letter Space :-", "lettspc"}, {"Line Height :-", "lhei"}, {"Text Align :-", "horza"},
      {"Vertical Align :-", "verta"}, {"Opacity % :-", "opacity"}, {"Class Name :-", "cssname"},
      {"Preview As :-", "prvwtyp"}}},
    {"Size and Position :-",
     {{"Width :-", "width"}, {"Height :-", "height"}, {"Min Width :-", "minwid"}, {"Min Height :-", "minhei"},
      {"Max Width :-", "maxwid"}, {"Max Height :-", "maxhei"}, {"Position :-", "psit"}, {"Left :-", "lfpos"},
      {"Right :-", "rgpos"}, {"Top :-", "tppos"}, {"Bottom :-", "btpos"}, {"Float :-", "flot"},
      {"Overflow :-", "ovflow"}, {"Cursor :-", "crsor"}}},
    {"Border :-",
     {{"Show :-", "bordsel"}, {"Style :-", "*type"}, {"Colour :-", "*colour"}, {"Width :-", "*wid"},
      {"Radius :-", "bordrad"}, {"Top-Left :-", "bordleftrad"}, {"Top-Right :-", "bordrightrad"},
      {"Bottom-Left :-", "bordtoprad"}, {"Bottom-Right :-", "bordbotrad"}, {"Collapse :-", "bordcoll"},
      {"Spacing :-", "bordspc"}}},
    {"Box and Background :-",
     {{"Margin Left :-", "lfmarg"}, {"Right :-", "rgmarg"}, {"Top :-", "tpmarg"}, {"Bottom :-", "btmarg"},
      {"", "mrggang"}, {"Padding Left :-", "lfpding"}, {"Right :-", "rgpding"}, {"Top :-", "tppding"},
      {"Bottom :-", "btpding"}, {"", "padgang"}, {"Image :-", "backgfile"}, {"Repeat :-", "bgrep"},
      {"Across :-", "lbgatts"}, {"Down :-", "rbgatts"}, {"Image Size :-", "imgsz"}}},
};

// The border sides as bordsel lists them: control prefix and group caption.
struct TSide {
    const char* Entry;
    const char* Prefix;
    const char* Caption;
};
constexpr TSide kSides[] = {{"All", "bord", "Border :-"},
                            {"Left", "bordleft", "Left Border :-"},
                            {"Right", "bordright", "Right Border :-"},
                            {"Top", "bordtop", "Top Border :-"},
                            {"Bottom", "bordbot", "Bottom Border :-"}};

constexpr const char* kMarginSides[3] = {"rgmarg", "tpmarg", "btmarg"};
constexpr const char* kPaddingSides[3] = {"rgpding", "tppding", "btpding"};

constexpr int kRowHeight = 26, kGroupWidth = 206, kLabelWidth = 90, kFieldLeft = 96, kFieldWidth = 102;

}  // namespace

Tcssdsgnr::Tcssdsgnr(rtl::TComponent* owner) : ui::TForm(owner) {
    cssdsgnr = this;
    buildControls();
    bindEvents();
}

Tcssdsgnr::~Tcssdsgnr() {
    if (cssdsgnr == this) cssdsgnr = nullptr;
}

// ---------------------------------------------------------------- building

void Tcssdsgnr::buildControls() {
    Caption = "CSS Designer";
    SetBounds(40, 40, 1000, 668);
    Constraints->MinWidth = 1000;
    Constraints->MinHeight = 560;

    auto field = [this](ui::TWinControl* parent, const std::string& name, int x, int y, int w) {
        const TStyleControl* spec = FindStyleControl(name);
        TField f;
        f.Spec = spec;
        if (spec->Kind == TStyleKind::Colour) {
            f.Panel = new ui::TPanel(parent);
            f.Panel->BevelOuter = ui::bvLowered;
            f.Panel->Cursor = ui::crHandPoint;
            f.Panel->Hint = "Click to choose the colour";
            f.Panel->ShowHint = true;
            f.Panel->SetBounds(x, y, w, 22);
        } else if (spec->Kind == TStyleKind::Pick || !spec->Entries.empty()) {
            f.Combo = new ui::TComboBox(parent);
            f.Combo->Style = spec->Kind == TStyleKind::Pick ? ui::csDropDownList : ui::csDropDown;
            f.Combo->DropDownCount = 18;
            for (const char* e : spec->Entries) f.Combo->Items->Add(e);
            f.Combo->SetBounds(x, y, w, 24);
        } else {
            f.Edit = new ui::TEdit(parent);
            f.Edit->SetBounds(x, y, w, 24);
        }
        fields_[name] = f;
        order_.push_back(name);
        if (f.Panel) showColour(f.Panel, ui::clBtnFace);
    };

    int x = 6;
    for (const TGroup& g : kGroups) {
        auto* box = new ui::TGroupBox(this);
        box->Caption = g.Caption;
        box->SetBounds(x, 6, kGroupWidth, 26 + static_cast<int>(g.Rows.size()) * kRowHeight);
        if (std::string(g.Caption) == "Border :-") bordgroup = box;
        int y = 20;
        for (const TRow& r : g.Rows) {
            if (*r.Label) {
                auto* l = new ui::TLabel(box);
                l->Caption = r.Label;
                l->SetBounds(6, y + 4, kLabelWidth, 18);
            }
            const std::string c = r.Control;
            if (c[0] == '*') {
                for (const TSide& s : kSides) field(box, s.Prefix + c.substr(1), kFieldLeft, y, kFieldWidth);
            } else if (c == "font") {
                font = new ui::TPanel(box);
                font->BevelOuter = ui::bvLowered;
                font->Cursor = ui::crHandPoint;
                font->Hint = "Click to choose the font";
                font->ShowHint = true;
                font->SetBounds(kFieldLeft, y, kFieldWidth, 22);
            } else if (c == "opacity") {
                field(box, c, kFieldLeft, y, kFieldWidth - 18);
                opacityUpDown = new ui::TUpDown(box);
                opacityUpDown->SetBounds(kFieldLeft + kFieldWidth - 18, y, 18, 24);
                opacityUpDown->Min = 0;
                opacityUpDown->Max = 100;
                opacityUpDown->Position = 100;
                opacityUpDown->Associate = EditOf("opacity");
                EditOf("opacity")->Text = "";
            } else if (c == "cssname") {
                cssname = new ui::TEdit(box);
                cssname->SetBounds(kFieldLeft, y, kFieldWidth, 24);
                cssname->Hint = "A class name puts the style into a rule of that class";
                cssname->ShowHint = true;
            } else if (c == "prvwtyp" || c == "bordsel") {
                auto* combo = new ui::TComboBox(box);
                combo->Style = ui::csDropDownList;
                combo->SetBounds(kFieldLeft, y, kFieldWidth, 24);
                if (c == "prvwtyp") {
                    for (const char* e : {"DIV", "SPAN", "TABLE", "TR", "TD"}) combo->Items->Add(e);
                    prvwtyp = combo;
                } else {
                    for (const TSide& s : kSides) combo->Items->Add(s.Entry);
                    bordsel = combo;
                }
                combo->ItemIndex = 0;
            } else if (c == "mrggang" || c == "padgang") {
                auto* check = new ui::TCheckBox(box);
                check->Caption = "\"Left\" controls other values";
                check->SetBounds(6, y, kGroupWidth - 12, 22);
                check->Checked = true;
                (c == "mrggang" ? mrggang : padgang) = check;
            } else if (c == "backgfile") {
                field(box, c, kFieldLeft, y, kFieldWidth - 28);
                EditOf(c)->Hint = "An image file or link";
                EditOf(c)->ShowHint = true;
                BitBtn3 = new ui::TBitBtn(box);
                BitBtn3->Caption = "...";
                BitBtn3->Hint = "Choose the image (a link opens in the browser)";
                BitBtn3->ShowHint = true;
                BitBtn3->SetBounds(kFieldLeft + kFieldWidth - 26, y, 26, 24);
            } else {
                field(box, c, kFieldLeft, y, kFieldWidth);
            }
            y += kRowHeight;
        }
        x += kGroupWidth + 6;
    }
    showFont();

    auto button = [this](ui::TBitBtn*& b, const char* caption, int y, int h) {
        b = new ui::TBitBtn(this);
        b->Caption = caption;
        b->SetBounds(862, y, 128, h);
    };
    button(BitBtn1, "OK", 12, 64);
    button(BitBtn4, "Cancel", 84, 30);
    BitBtn4->Cancel = true;
    button(BitBtn2, "In Default Browser", 122, 30);
    button(clrfrm, "Clear", 160, 30);

    auto* styleLabel = new ui::TLabel(this);
    styleLabel->Caption = "Style :-";
    styleLabel->SetBounds(6, 424, 120, 18);
    ParseNote = new ui::TLabel(this);
    ParseNote->Caption = "";
    ParseNote->SetBounds(130, 424, 300, 18);
    Memo1 = new ui::TMemo(this);
    Memo1->WordWrap = true;
    Memo1->ScrollBars = ui::ssVertical;
    Memo1->SetBounds(6, 444, 424, 218);
    auto* previewLabel = new ui::TLabel(this);
    previewLabel->Caption = "Preview :-";
    previewLabel->SetBounds(436, 424, 120, 18);
    PreviewPanel = new ui::TPanel(this);
    PreviewPanel->BevelOuter = ui::bvLowered;
    PreviewPanel->Color = ui::clWhite;
    PreviewPanel->SetBounds(436, 444, 558, 218);
    bordselChange(bordsel);
}

void Tcssdsgnr::bindEvents() {
    auto refresh = [this](rtl::TObject* s) { bordtypeChange(s); };
    for (auto& [name, f] : fields_) {
        if (f.Edit) f.Edit->OnChange = refresh;
        if (f.Combo) f.Combo->OnChange = refresh;
        if (ui::TPanel* p = f.Panel) p->OnClick = [this, p](rtl::TObject*) { colourClick(p); };
    }
    EditOf("lfmarg")->OnChange = [this](rtl::TObject* s) { lfmargChange(s); };
    EditOf("lfpding")->OnChange = [this](rtl::TObject* s) { lfpdingChange(s); };
    mrggang->OnClick = refresh;
    padgang->OnClick = refresh;
    prvwtyp->OnChange = refresh;
    bordsel->OnChange = [this](rtl::TObject* s) { bordselChange(s); };
    cssname->OnChange = [this](rtl::TObject* s) { cssnameKeyUp(s); };
    font->OnClick = [this](rtl::TObject* s) { fontClick(s); };
    Memo1->OnChange = [this](rtl::TObject* s) { Memo1Change(s); };
    BitBtn1->OnClick = [this](rtl::TObject* s) { BitBtn1Click(s); };
    BitBtn2->OnClick = [this](rtl::TObject* s) { BitBtn2Click(s); };
    BitBtn3->OnClick = [this](rtl::TObject* s) { BitBtn3Click(s); };
    BitBtn4->OnClick = [this](rtl::TObject* s) { BitBtn4Click(s); };
    clrfrm->OnClick = [this](rtl::TObject* s) { clrfrmClick(s); };
    OnShow = [this](rtl::TObject* s) { FormShow(s); };
}

ui::TEdit* Tcssdsgnr::EditOf(const std::string& Name) const {
    const auto it = fields_.find(Name);
    return it == fields_.end() ? nullptr : it->second.Edit;
}

ui::TComboBox* Tcssdsgnr::ComboOf(const std::string& Name) const {
    const auto it = fields_.find(Name);
    return it == fields_.end() ? nullptr : it->second.Combo;
}

ui::TPanel* Tcssdsgnr::PanelOf(const std::string& Name) const {
    const auto it = fields_.find(Name);
    return it == fields_.end() ? nullptr : it->second.Panel;
}

// ---------------------------------------------------------- controls <-> rule

std::string Tcssdsgnr::valueOf(const TField& f) const {
    if (f.Panel) return f.Panel->Color() == ui::clBtnFace ? "" : "#" + helpers::colorhex(f.Panel->Color);
    if (f.Combo && f.Combo->Style() == ui::csDropDownList) {
        const int i = f.Combo->ItemIndex;
        return i < 0 ? "" : f.Combo->Items[i];
    }
    return rtl::Trim(f.Combo ? f.Combo->Text() : f.Edit->Text());
}

TStyleRule Tcssdsgnr::Rule() const {
    TStyleRule r;
    for (const auto& [name, f] : fields_) {
        const std::string v = valueOf(f);
        // A list's chosen entry counts even when it is the empty one.
        const bool chosen = f.Combo && f.Combo->Style() == ui::csDropDownList && f.Combo->ItemIndex() >= 0;
        if (!v.empty() || chosen) r.Values[name] = v;
    }
    r.FontChosen = FontChosen;
    r.Font.Name = font->Font->Name();
    r.Font.Size = font->Font->Size;
    r.Font.Color = font->Font->Color;
    r.Font.Style = font->Font->Style;
    r.FontFamilyList = FontFamilyList;
    r.MarginGang = mrggang->Checked;
    r.PaddingGang = padgang->Checked;
    r.Others = Others;
    r.ClassName = rtl::Trim(cssname->Text());
    return r;
}

void Tcssdsgnr::setValue(const TField& f, const std::string* value) {
    if (f.Panel) {
        showColour(f.Panel, value ? helpers::colorvalue(*value) : ui::clBtnFace);
    } else if (f.Combo && f.Combo->Style() == ui::csDropDownList) {
        int index = -1;
        for (int i = 0; value && i < f.Combo->Items->Count; ++i)
            if (f.Combo->Items[i] == *value) index = i;
        f.Combo->ItemIndex = index;
    } else if (f.Combo) {
        f.Combo->ItemIndex = -1;
        f.Combo->Text = value ? *value : "";
    } else {
        f.Edit->Text = value ? *value : "";
    }
}

void Tcssdsgnr::SetRule(const TStyleRule& r) {
    TFlagScope quiet(loading_);
    for (const auto& [name, f] : fields_) {
        const auto it = r.Values.find(name);
        setValue(f, it == r.Values.end() ? nullptr : &it->second);
    }
    FontChosen = r.FontChosen;
    font->Font->Name = r.Font.Name.empty() ? std::string("Tahoma") : r.Font.Name;
    font->Font->Size = r.Font.Size;
    font->Font->Color = ui::clBlack;
    font->Font->Style = r.Font.Style;
    showFont();
    FontFamilyList = r.FontFamilyList;
    mrggang->Checked = r.MarginGang;
    padgang->Checked = r.PaddingGang;
    Others = r.Others;
    cssname->Text = r.ClassName;
}

void Tcssdsgnr::showColour(ui::TPanel* panel, ui::TColor colour) {
    panel->Color = colour;
    panel->Caption = colour == ui::clBtnFace ? "not set" : "";
}

void Tcssdsgnr::showFont() {
    font->Caption = font->Font->Name() + " " + std::to_string(font->Font->Size());
}

void Tcssdsgnr::clearControls() {
    TFlagScope quiet(loading_);
    for (const auto& [name, f] : fields_) setValue(f, nullptr);
    cssname->Text = "";
    font->Font->Color = ui::clBlack;
    showFont();
    Others.clear();
}

// ---------------------------------------------------------------- commands

void Tcssdsgnr::bordtypeChange(rtl::TObject*) {
    if (loading_) return;
    WritePreview(BuildStyle());
}

std::string Tcssdsgnr::BuildStyle() {
    TStyleRule r = Rule();
    const std::string text = BuildStyleText(r);
    Others = r.Others;  // the font's declarations leave once the font dialog speaks for them
    TFlagScope writing(building_);
    Memo1->Text = text;
    ParseNote->Caption = "";
    return text;
}

void Tcssdsgnr::ParseStyle(const std::string& Text) {
    clearControls();
    FontChosen = false;
    FontFamilyList.clear();
    TStyleRule r = Rule();
    if (!ParseStyleText(Text, r)) {
        // Nothing of the user's text is lost: it stays as written, and
        // previews as written.
        {
            TFlagScope writing(building_);
            Memo1->Text = Text;
        }
        ParseNote->Caption = "Not read into the controls: kept as written.";
        WritePreview(Text);
        return;
    }
    SetRule(r);
    bordtypeChange(this);
}

void Tcssdsgnr::WritePreview(const std::string& Style) {
    const std::string path = PreviewPath();
    const int sample = prvwtyp->ItemIndex;
    // A page that could not be written (reported) is not shown stale; the
    // engine starts with the first showing, not before.
    if (!helpers::savescratch(path, PreviewPage(Style, sample < 0 ? std::string("DIV") : prvwtyp->Items[sample])) ||
        !Visible())
        return;
    browser::TWebBrowser& b = CppWebBrowser1();
    if (b.Busy()) b.Stop();
    b.Navigate(path);
}

void Tcssdsgnr::Memo1Change(rtl::TObject*) {
    if (!building_) WritePreview(Memo1->Text);
}

void Tcssdsgnr::BitBtn1Click(rtl::TObject*) {
    ui::Clipboard()->AsText = StyleText();
    if (Modal()) ModalResult = ui::mrOk;
    else Close();
}

void Tcssdsgnr::BitBtn4Click(rtl::TObject*) {
    if (Modal()) ModalResult = ui::mrCancel;
    else Close();
}

void Tcssdsgnr::BitBtn2Click(rtl::TObject*) { helpers::shellopen(PreviewPath()); }

void Tcssdsgnr::BitBtn3Click(rtl::TObject*) {
    ui::TEdit* file = EditOf("backgfile");
    const std::string current = rtl::Trim(file->Text());
    if (helpers::isurl(current)) {
        helpers::shellopen(current);
        return;
    }
    ui::TOpenPictureDialog dialog(nullptr);
    dialog.Title = "Background Image";
    dialog.Filter = "JPEG|*.jpg;*.jpeg|PNG|*.png|GIF|*.gif|Flash|*.swf|All Files|*";
    const std::string folder = rtl::ExtractFilePath(current);
    std::error_code ec;
    if (!folder.empty() && std::filesystem::is_directory(folder, ec)) dialog.InitialDir = folder;
    if (!dialog.Execute()) return;
    {
        TFlagScope quiet(loading_);
        file->Text = dialog.FileName;
    }
    bordtypeChange(file);
}

void Tcssdsgnr::fontClick(rtl::TObject*) {
    ui::TFontDialog dialog(nullptr);
    dialog.Font->Assign(*font->Font);
    if (!dialog.Execute()) return;
    font->Font->Assign(*dialog.Font);
    font->Font->Color = ui::clBlack;
    showFont();
    FontChosen = true;
    bordtypeChange(font);
}

void Tcssdsgnr::colourClick(ui::TPanel* Panel) {
    // Black on a text or border panel, and white on the background, mean
    // "not set".
    const ui::TColor unset = Panel == PanelOf("bgcolour") ? ui::clWhite : ui::clBlack;
    ui::TColorDialog dialog(nullptr);
    dialog.Color = Panel->Color() == ui::clBtnFace ? unset : Panel->Color();
    if (!dialog.Execute()) return;
    showColour(Panel, dialog.Color == unset ? ui::clBtnFace : dialog.Color);
    bordtypeChange(Panel);
}

void Tcssdsgnr::gangCopy(const char* left, const char* const others[3], ui::TCheckBox* gang) {
    if (loading_) return;
    if (gang->Checked()) {
        TFlagScope quiet(loading_);
        const std::string value = EditOf(left)->Text();
        for (int i = 0; i < 3; ++i) EditOf(others[i])->Text = value;
    }
    bordtypeChange(gang);
}

void Tcssdsgnr::lfmargChange(rtl::TObject*) { gangCopy("lfmarg", kMarginSides, mrggang); }
void Tcssdsgnr::lfpdingChange(rtl::TObject*) { gangCopy("lfpding", kPaddingSides, padgang); }

void Tcssdsgnr::bordselChange(rtl::TObject*) {
    const int chosen = bordsel->ItemIndex() < 0 ? 0 : bordsel->ItemIndex();
    for (int s = 0; s < static_cast<int>(std::size(kSides)); ++s)
        for (const char* part : {"type", "colour", "wid"}) {
            const TField& f = fields_.at(std::string(kSides[s].Prefix) + part);
            ui::TWinControl* c = f.Edit ? static_cast<ui::TWinControl*>(f.Edit)
                                        : f.Combo ? static_cast<ui::TWinControl*>(f.Combo) : f.Panel;
            c->Visible = s == chosen;
        }
    bordgroup->Caption = kSides[chosen].Caption;
}

void Tcssdsgnr::cssnameKeyUp(rtl::TObject*) {
    if (loading_) return;
    Memo1->Text = WithClassName(Memo1->Text(), cssname->Text());
}

void Tcssdsgnr::clrfrmClick(rtl::TObject*) {
    clearControls();
    bordtypeChange(clrfrm);
}

void Tcssdsgnr::FormShow(rtl::TObject*) {
    BitBtn1->Caption = Modal() ? "OK" : "Copy to\rClipboard\rand Close";
    WritePreview(Memo1->Text);
}

std::string Tcssdsgnr::StyleText() const { return rtl::Trim(Memo1->Text()); }

std::string Tcssdsgnr::PreviewPath() { return helpers::userdatadir() + "qdcsstest.htm"; }

browser::TWebBrowser& Tcssdsgnr::CppWebBrowser1() {
    if (web_) return *web_;
    web_ = std::make_unique<browser::TWebBrowser>(PreviewPanel->ClientWidget());
    web_->OpenExternal = [](const std::string& url) { return helpers::shellopen(url); };
    return *web_;
}

}  // namespace composer
