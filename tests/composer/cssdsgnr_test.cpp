// The style designer among the program's windows: every control through the
// style text and back, styles it cannot read, the preview page in the real
// engine, and the composer's three ways of using it (the quote style written
// to its file, the Style Designer button, Put Style into CSS Designer).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "composer/bodyedit.h"
#include "composer/cssdsgnr.h"
#include "composer/cssstyle.h"
#include "composer/mlsend.h"
#include "helpers/kwutil.h"
#include "platform/browser/webbrowser.h"
#include "platform/rtl/sysutils.h"
#include "platform/ui/clipbrd.h"
#include "platform/ui/dialogs.h"
#include "platform/win/pump.h"
#include "tests/support/program_windows.h"

using namespace composer;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class Designer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = testsupport::NewProgramFolder("cssdsgnr");
        setenv("XDG_DATA_HOME", (folder + "userdata").c_str(), 1);
        testsupport::StartProgramWindows(folder);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(folder); }
    void SetUp() override {
        ASSERT_NE(cssdsgnr, nullptr);
        ASSERT_NE(mlsend, nullptr);
        helpers::homedir = folder;
        dialogs = std::make_unique<ui::TScriptedDialogs>();
        d = cssdsgnr;
        d->Hide();
        d->mrggang->Checked = true;
        d->padgang->Checked = true;
        d->FontChosen = false;
        d->clrfrm->Click();
    }
    void TearDown() override {
        EXPECT_EQ(dialogs->unexpected, 0) << "a dialog nobody expected was shown";
        dialogs.reset();
    }

    // A control as a person sets it: an edit's text, a list's entry, a
    // panel's colour, a box's tick.
    void set(const std::string& name, const std::string& value) {
        if (name == "mrggang" || name == "padgang") {
            (name == "mrggang" ? d->mrggang : d->padgang)->Checked = value == "1";
        } else if (name == "cssname") {
            d->cssname->Text = value;
        } else if (ui::TEdit* e = d->EditOf(name)) {
            e->Text = value;
        } else if (ui::TPanel* p = d->PanelOf(name)) {
            p->Color = helpers::colorvalue(value);
        } else if (ui::TComboBox* c = d->ComboOf(name)) {
            if (c->Style() == ui::csDropDownList) {
                c->ItemIndex = -1;
                for (int i = 0; i < c->Items->Count; ++i)
                    if (c->Items[i] == value) c->ItemIndex = i;
                ASSERT_GE(c->ItemIndex(), 0) << name << " has no entry " << value;
            } else {
                c->Text = value;
            }
        } else {
            FAIL() << "no control " << name;
        }
    }
    // What a control shows: "-" for a list with nothing chosen or a colour
    // panel that is not set.
    std::string get(const std::string& name) const {
        if (name == "mrggang") return d->mrggang->Checked() ? "1" : "0";
        if (name == "padgang") return d->padgang->Checked() ? "1" : "0";
        if (name == "cssname") return d->cssname->Text();
        if (ui::TEdit* e = d->EditOf(name)) return e->Text();
        if (ui::TPanel* p = d->PanelOf(name))
            return p->Color() == ui::clBtnFace ? "-" : "#" + helpers::colorhex(p->Color);
        ui::TComboBox* c = d->ComboOf(name);
        if (c->Style() != ui::csDropDownList) return c->Text();
        return c->ItemIndex() < 0 ? "-" : c->Items[c->ItemIndex()];
    }

    static std::string folder;
    std::unique_ptr<ui::TScriptedDialogs> dialogs;
    Tcssdsgnr* d = nullptr;
};
std::string Designer::folder;

// ------------------------------------------------------------ the rule

TEST(StyleRule, LengthValues) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"90%", "90%;"}, {"12", "12px;"}, {"2em", "2em;"}, {"-3", "-3px;"}, {"7PX", "7PX;"}, {"1.5", "1.5;"}};
    for (const auto& c : cases) EXPECT_EQ(LengthValue(c.in), c.out) << c.in;
}

TEST(StyleRule, OpacityIsADecimalFractionBothWays) {
    for (int v = 0; v <= 100; ++v) {
        TStyleRule r;
        r.Values["opacity"] = std::to_string(v);
        const std::string css = BuildStyleText(r);
        const std::string fraction = OpacityFraction(v);
        EXPECT_NE(css.find(" opacity:" + fraction + ";"), std::string::npos) << css;
        EXPECT_NE(css.find("filter:alpha(opacity=" + std::to_string(v) + ");"), std::string::npos) << css;
        EXPECT_DOUBLE_EQ(std::stod(fraction), v / 100.0) << fraction;
        TStyleRule back;
        ASSERT_TRUE(ParseStyleText(css, back)) << css;
        EXPECT_EQ(back.Value("opacity"), std::to_string(v)) << css;
        EXPECT_TRUE(back.Others.empty()) << css;  // the filter twin is taken too
    }
    EXPECT_EQ(OpacityFraction(85), "0.85");
    EXPECT_EQ(OpacityFraction(7), "0.07");
    EXPECT_EQ(OpacityFraction(100), "1");
}

TEST(StyleRule, BorderWrittenWidthFirstComesBackTypeFirst) {
    TStyleRule r;
    ASSERT_TRUE(ParseStyleText("border:7px ridge red", r));
    EXPECT_EQ(rtl::Trim(BuildStyleText(r)), "border:ridge #FF0000 7px;");
}

TEST(StyleRule, BackgroundLinks) {
    TStyleRule r;
    ASSERT_TRUE(ParseStyleText("background: url('/img/a.png') no-repeat", r));
    EXPECT_EQ(r.Value("backgfile"), "/img/a.png");
    EXPECT_EQ(BuildStyleText(r), " background: url('/img/a.png') no-repeat;") << "a site-relative link stays";
    r.Values["backgfile"] = "/srv/VRQS/htdocs/img/b.png";
    EXPECT_EQ(BuildStyleText(r), " background: url('/img/b.png') no-repeat;") << "a page of the local web server";
}

TEST(StyleRule, WhatNoControlTakesSurvivesUnchanged) {
    const struct {
        const char* in;
        const char* kept;  // the declaration as it comes back
    } cases[] = {
        {"width:90%; z-index:3", " z-index:3;"},
        {"color:var(--ink)", " color:var(--ink);"},           // no colour a panel can hold
        {"border:none", " border:none;"},                     // no style past none: not written by the group
        {"border-color:red", " border-color:red;"},           // a colour without a style
        {"background:red url('a.png')", " background:red url('a.png');"},  // a colour in the shorthand
        {"margin:1px 2px 3px 4px 5px", " margin:1px 2px 3px 4px 5px;"},
        {"opacity:50%", " opacity:50%;"},
        {"white-space:break-spaces", " white-space:break-spaces;"},
        {"background-image:url('data:image/png;base64,AA==')", " background-image:url('data:image/png;base64,AA==');"},
    };
    for (const auto& c : cases) {
        TStyleRule r;
        ASSERT_TRUE(ParseStyleText(c.in, r)) << c.in;
        const std::string css = BuildStyleText(r);
        EXPECT_NE(css.find(c.kept), std::string::npos) << c.in << " -> " << css;
    }
}

TEST(StyleRule, TextThatIsNoDeclarationListIsRefused) {
    for (const char* text : {"color red; width:3px", "<div>quoted</div>", "a { color:red }", ".x { color:red",
                             "p:hover { color:red }", "color:red } b { width:1px"}) {
        TStyleRule r;
        r.Values["width"] = "5px";
        EXPECT_FALSE(ParseStyleText(text, r)) << text;
        EXPECT_EQ(r.Value("width"), "5px") << "the rule was touched by " << text;
    }
}

TEST(StyleRule, ClassNameAroundTheText) {
    EXPECT_EQ(WithClassName(" color:#FF0000;", "quote"), ".quote { color:#FF0000;}");
    EXPECT_EQ(WithClassName(".quote { color:#FF0000;}", "box"), ".box { color:#FF0000;}");
    EXPECT_EQ(WithClassName(".quote { color:#FF0000;}", " "), " color:#FF0000;");
    EXPECT_EQ(StyleAttributeText(".q { font-family:\"Times New Roman\"; width:9px;}"),
              "font-family:'Times New Roman'; width:9px;");
}

TEST(StyleRule, PreviewPageSamples) {
    const std::string div = PreviewPage(" width:9px;", "DIV");
    EXPECT_NE(div.find(".tmp { width:9px;}"), std::string::npos) << div;
    EXPECT_NE(div.find("<DIV CLASS=\"tmp\">The quick brown fox jumps over the lazy dog.</DIV>"), std::string::npos);
    EXPECT_EQ(div.rfind("<!DOCTYPE html>\r\n<HTML>", 0), 0u);
    const std::string named = PreviewPage(".quote { background: url('/img/a.png');}", "TD");
    EXPECT_NE(named.find(".tmp { background: url('http://127.0.0.1/img/a.png');}"), std::string::npos) << named;
    size_t cells = 0;
    for (size_t at = named.find("<TD CLASS=\"tmp\">Cell "); at != std::string::npos;
         at = named.find("<TD CLASS=\"tmp\">Cell ", at + 1))
        ++cells;
    EXPECT_EQ(cells, 9u);
    EXPECT_NE(PreviewPage("x:y", "TR").find("<TR CLASS=\"tmp\"><TD>Cell 4</TD>"), std::string::npos);
}

// ------------------------------------------------------------ the window

// Every control set as a person sets it, the style built, read back into
// cleared controls, and each control showing its value again.
TEST_F(Designer, EveryControlRoundTrips) {
    struct TSet {
        const char* control;
        std::string in;
        std::string out = "";  // what the control shows afterwards; "" means the same
    };
    struct TCase {
        std::vector<TSet> set;
        std::string css;
    };
    const std::string image = folder + "a b.png";
    writeFile(image, "png");
    const std::vector<TCase> cases = {
        {{{"colour", "#FF0000"}}, " color:#FF0000;"},
        {{{"width", "12", "12px"}}, " width:12px;"},
        {{{"height", "90%"}}, " height:90%;"},
        {{{"minwid", "2em"}, {"minhei", "10px"}}, " min-width:2em; min-height:10px;"},
        {{{"maxwid", "100", "100px"}, {"maxhei", "50vh"}}, " max-width:100px; max-height:50vh;"},
        {{{"bgcolour", "#C0C0C0"}}, " background-color:#C0C0C0;"},
        {{{"whtspc", "pre-wrap"}}, " white-space:pre-wrap;"},
        {{{"lettspc", "1", "1px"}, {"lhei", "1.5"}}, " letter-spacing:1px; line-height:1.5;"},
        {{{"bordtype", "ridge"}, {"bordcolour", "#FF0000"}, {"bordwid", "7", "7px"}}, " border:ridge #FF0000 7px;"},
        {{{"bordlefttype", "dashed"}, {"bordleftcolour", "#00FF00"}, {"bordleftwid", "2px"}},
         " border-left:dashed #00FF00 2px;"},
        {{{"bordrighttype", "double"}, {"bordrightcolour", "#123456"}, {"bordrightwid", "1em"}},
         " border-right:double #123456 1em;"},
        {{{"bordtoptype", "solid"}, {"bordtopcolour", "#0000FF"}, {"bordtopwid", "3", "3px"}},
         " border-top:solid #0000FF 3px;"},
        {{{"bordbottype", "groove"}, {"bordbotcolour", "#808080"}, {"bordbotwid", "4px"}},
         " border-bottom:groove #808080 4px;"},
        {{{"bordrighttype", "inset"}}, " border-right:inset;"},
        {{{"bordrad", "4", "4px"}, {"bordleftrad", "1px"}, {"bordrightrad", "2px"}, {"bordtoprad", "3px"},
          {"bordbotrad", "5%"}},
         " border-radius:4px; border-top-left-radius:1px; border-top-right-radius:2px;"
         " border-bottom-left-radius:3px; border-bottom-right-radius:5%;"},
        {{{"bordcoll", "collapse"}, {"bordspc", "2", "2px"}}, " border-collapse:collapse; border-spacing:2px;"},
        {{{"horza", "center"}, {"verta", "middle"}}, " text-align:center; vertical-align:middle;"},
        // The blank entry of a list writes nothing, so nothing is chosen when read back.
        {{{"horza", "", "-"}, {"verta", "text-top"}}, " vertical-align:text-top;"},
        {{{"mrggang", "1"}, {"lfmarg", "5", "5px"}, {"rgmarg", "5", "5px"}, {"tpmarg", "5", "5px"},
          {"btmarg", "5", "5px"}},
         " margin:5px;"},
        {{{"mrggang", "0"}, {"lfmarg", "1px"}, {"rgmarg", "2px"}, {"tpmarg", "3px"}, {"btmarg", "auto"}},
         " margin-left:1px; margin-right:2px; margin-top:3px; margin-bottom:auto;"},
        {{{"padgang", "1"}, {"lfpding", "12", "12px"}, {"rgpding", "12", "12px"}, {"tppding", "12", "12px"},
          {"btpding", "12", "12px"}},
         " padding:12px;"},
        {{{"padgang", "0"}, {"rgpding", "2em"}, {"btpding", "1", "1px"}}, " padding-right:2em; padding-bottom:1px;"},
        {{{"backgfile", "http://x.test/a.png"}, {"bgrep", "no-repeat"}, {"lbgatts", "10", "10px"},
          {"rbgatts", "bottom"}},
         " background: url('http://x.test/a.png') no-repeat 10px bottom;"},
        {{{"backgfile", image}, {"bgrep", "repeat-x"}, {"lbgatts", "center"}, {"rbgatts", "top"}},
         " background: url('file://" + rtl::StringReplace(image, " ", "%20", rtl::rfReplaceAll) +
             "') repeat-x center top;"},
        {{{"imgsz", "cover"}}, " background-size:cover;"},
        {{{"opacity", "85"}}, " opacity:0.85; filter:alpha(opacity=85);"},
        {{{"psit", "absolute"}, {"lfpos", "5", "5px"}, {"rgpos", "6px"}, {"tppos", "-7", "-7px"}, {"btpos", "8%"}},
         " position:absolute; left:5px; right:6px; top:-7px; bottom:8%;"},
        {{{"flot", "right"}, {"ovflow", "hidden"}, {"crsor", "pointer"}}, " float:right; overflow:hidden; cursor:pointer;"},
        {{{"cssname", "quote"}, {"width", "9px"}}, ".quote { width:9px;}"},
    };
    std::set<std::string> covered;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.css);
        d->clrfrm->Click();
        for (const TSet& s : c.set) set(s.control, s.in);
        const std::string css = d->BuildStyle();
        EXPECT_EQ(css, c.css);
        EXPECT_EQ(d->Memo1->Text(), c.css);
        d->clrfrm->Click();
        d->mrggang->Checked = true;
        d->padgang->Checked = true;
        d->ParseStyle(css);
        for (const TSet& s : c.set) {
            EXPECT_EQ(get(s.control), s.out.empty() ? s.in : s.out) << s.control;
            covered.insert(s.control);
        }
        EXPECT_TRUE(d->Others.empty());
        EXPECT_EQ(d->Memo1->Text(), css) << "built again from the controls";
    }
    for (const TStyleControl& c : StyleControls()) EXPECT_TRUE(covered.count(c.Name)) << c.Name << " has no case";
}

// An empty value, chosen or read, is no declaration.
TEST_F(Designer, EmptyValuesWriteNothing) {
    d->ParseStyle("text-align:; z-index: ; width:5px; vertical-align:");
    EXPECT_EQ(d->Memo1->Text(), " width:5px;");
}

TEST_F(Designer, FontShowsButStaysAsWrittenUntilTheDialogIsUsed) {
    d->ParseStyle("font-family:Arial, Helvetica, sans-serif; font-size:12pt; font-weight:bold; width:5px");
    EXPECT_EQ(d->font->Font->Name(), "Arial");
    EXPECT_EQ(d->font->Font->Size(), 12);
    EXPECT_TRUE(d->font->Font->Style() & helpers::fsBold);
    EXPECT_FALSE(d->FontChosen);
    EXPECT_EQ(d->Memo1->Text(),
              " width:5px; font-family:Arial, Helvetica, sans-serif; font-size:12pt; font-weight:bold;");
    // The dialog's font replaces the written one, keeping the fallback fonts.
    dialogs->QueueDialog([](ui::TCommonDialog& dialog) {
        auto& f = static_cast<ui::TFontDialog&>(dialog);
        f.Font->Size = 14;
        f.Font->Style = 0;
        f.Font->Color = ui::clRed;
        return true;
    });
    d->font->OnClick(d->font);
    EXPECT_TRUE(d->FontChosen);
    EXPECT_EQ(d->Memo1->Text(), "font-family:Arial, Helvetica, sans-serif; font-size:14pt; width:5px;");
}

TEST_F(Designer, ColourDialogsBlackAndWhiteMeanNotSet) {
    const struct {
        const char* panel;
        ui::TColor chosen;
        const char* shows;
    } cases[] = {{"colour", ui::clBlack, "-"},     {"colour", ui::clWhite, "#FFFFFF"},
                 {"bgcolour", ui::clWhite, "-"},   {"bgcolour", ui::clBlack, "#000000"},
                 {"bordcolour", ui::clRed, "#FF0000"}};
    for (const auto& c : cases) {
        d->clrfrm->Click();
        dialogs->QueueDialog([&](ui::TCommonDialog& dialog) {
            static_cast<ui::TColorDialog&>(dialog).Color = c.chosen;
            return true;
        });
        d->PanelOf(c.panel)->OnClick(d->PanelOf(c.panel));
        EXPECT_EQ(get(c.panel), c.shows) << c.panel;
    }
}

TEST_F(Designer, LeftControlsTheOtherSidesWhileTicked) {
    d->EditOf("lfmarg")->Text = "4";
    for (const char* side : {"rgmarg", "tpmarg", "btmarg"}) EXPECT_EQ(get(side), "4") << side;
    d->EditOf("lfpding")->Text = "6";
    EXPECT_EQ(get("btpding"), "6");
    EXPECT_EQ(d->Memo1->Text(), " margin:4px; padding:6px;");
    d->padgang->Checked = false;
    d->EditOf("lfpding")->Text = "1";
    EXPECT_EQ(get("btpding"), "6");
    EXPECT_EQ(d->Memo1->Text(), " margin:4px; padding-left:1px; padding-right:6px; padding-top:6px; padding-bottom:6px;");
}

TEST_F(Designer, ClassNameWrapsRenamesAndLeaves) {
    d->EditOf("width")->Text = "3";
    d->cssname->Text = "box";
    EXPECT_EQ(d->Memo1->Text(), ".box { width:3px;}");
    d->cssname->Text = "quote";
    EXPECT_EQ(d->Memo1->Text(), ".quote { width:3px;}");
    d->cssname->Text = "";
    EXPECT_EQ(d->Memo1->Text(), " width:3px;");
}

TEST_F(Designer, BorderChoiceShowsOneSide) {
    const char* captions[] = {"Border :-", "Left Border :-", "Right Border :-", "Top Border :-", "Bottom Border :-"};
    const char* prefixes[] = {"bord", "bordleft", "bordright", "bordtop", "bordbot"};
    for (int s = 0; s < 5; ++s) {
        d->bordsel->ItemIndex = s;
        d->bordsel->OnChange(d->bordsel);
        EXPECT_EQ(d->bordgroup->Caption(), captions[s]);
        for (int o = 0; o < 5; ++o) {
            EXPECT_EQ(d->ComboOf(std::string(prefixes[o]) + "type")->Visible(), o == s);
            EXPECT_EQ(d->PanelOf(std::string(prefixes[o]) + "colour")->Visible(), o == s);
        }
    }
    d->bordsel->ItemIndex = 0;
    d->bordsel->OnChange(d->bordsel);
}

TEST_F(Designer, BackgroundImageFromThePictureDialog) {
    const std::string image = folder + "bg.png";
    writeFile(image, "png");
    std::string started;
    dialogs->QueueDialog([&](ui::TCommonDialog& dialog) {
        auto& open = static_cast<ui::TOpenPictureDialog&>(dialog);
        started = open.InitialDir;
        open.FileName = image;
        return true;
    });
    writeFile(folder + "old.png", "png");
    d->EditOf("backgfile")->Text = folder + "old.png";
    d->BitBtn3->Click();
    EXPECT_EQ(rtl::IncludeTrailingPathDelimiter(started), folder) << "starts in the named file's folder";
    EXPECT_EQ(get("backgfile"), image);
    EXPECT_EQ(d->Memo1->Text(), " background: url('file://" + image + "');");
}

TEST_F(Designer, AStyleItCannotReadKeepsTheUsersText) {
    d->EditOf("width")->Text = "50";
    const std::string text = "<div style=\"color:red\">not a style</div>";
    d->ParseStyle(text);
    EXPECT_EQ(d->Memo1->Text(), text);
    EXPECT_EQ(d->StyleText(), text);
    EXPECT_EQ(get("width"), "");
    EXPECT_NE(d->ParseNote->Caption().find("kept as written"), std::string::npos);
    EXPECT_NE(readFile(Tcssdsgnr::PreviewPath()).find(text), std::string::npos);
}

TEST_F(Designer, ClearEmptiesEverything) {
    d->ParseStyle(".q { color:red; width:3px; bordtype:x; border:solid; z-index:2 }");
    EXPECT_EQ(get("cssname"), "q");
    d->clrfrm->Click();
    for (const TStyleControl& c : StyleControls()) {
        const std::string v = get(c.Name);
        EXPECT_TRUE(v.empty() || v == "-") << c.Name << " shows " << v;
    }
    EXPECT_TRUE(d->Others.empty());
    EXPECT_EQ(d->Memo1->Text(), "");
}

// ------------------------------------------------ the composer's commands

TEST_F(Designer, QuoteStyleWrittenOnOkByReplacingTheFile) {
    Tmlsend* m = mlsend;
    m->BlockStyle = "background-color:silver; border:7px ridge red; padding:12px; margin-left:2px; width:90%;";
    const std::string path = QuoteStylePath();
    writeFile(path, "old style");
    const std::string keep = folder + "kept-link";
    std::filesystem::remove(keep);
    ASSERT_EQ(::link(path.c_str(), keep.c_str()), 0);
    std::string caption;
    dialogs->QueueModal([&](ui::TForm& form) {
        EXPECT_EQ(&form, d);
        caption = d->BitBtn1->Caption;
        EXPECT_EQ(get("bordtype"), "ridge");
        EXPECT_EQ(get("bgcolour"), "#C0C0C0");
        d->EditOf("width")->Text = "80%";
        d->EditOf("opacity")->Text = "85";
        d->BitBtn1->Click();
        return ui::mrNone;
    });
    m->BodyEditor->SetBlockStyle1->Click();
    EXPECT_EQ(caption, "OK");
    EXPECT_EQ(m->BlockStyle,
              "width:80%; background-color:#C0C0C0; border:ridge #FF0000 7px; margin-left:2px; padding:12px;"
              " opacity:0.85; filter:alpha(opacity=85);");
    EXPECT_EQ(readFile(path), m->BlockStyle);
    EXPECT_EQ(ui::Clipboard()->AsText(), m->BlockStyle);
    // Written beside and renamed over: the old file's other name still holds
    // the old text, and nothing else is left in the folder.
    EXPECT_EQ(readFile(keep), "old style");
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        EXPECT_TRUE(name.find("pelliwoxblockstyle") == std::string::npos || name == "pelliwoxblockstyle.txt") << name;
    }
    std::filesystem::remove(keep);

    // Cancel changes nothing.
    const std::string before = m->BlockStyle;
    dialogs->QueueModal([&](ui::TForm&) {
        d->EditOf("width")->Text = "10%";
        d->BitBtn4->Click();
        return ui::mrNone;
    });
    m->BodyEditor->SetBlockStyle1->Click();
    EXPECT_EQ(m->BlockStyle, before);
    EXPECT_EQ(readFile(path), before);
}

TEST_F(Designer, QuoteStyleTheDesignerCannotReadIsKept) {
    Tmlsend* m = mlsend;
    m->BlockStyle = "color:red; this is no style";
    writeFile(QuoteStylePath(), m->BlockStyle);
    dialogs->QueueModal([&](ui::TForm&) {
        d->BitBtn1->Click();
        return ui::mrNone;
    });
    m->BodyEditor->SetBlockStyle1->Click();
    EXPECT_EQ(m->BlockStyle, "color:red; this is no style");
    EXPECT_EQ(readFile(QuoteStylePath()), "color:red; this is no style");
}

TEST_F(Designer, StyleDesignerButtonAndPutStyle) {
    Tmlsend* m = mlsend;
    m->Show();
    d->Others = {{"z-index", "1"}};
    m->stydesig->Click();
    EXPECT_TRUE(d->Visible());
    EXPECT_EQ(d->BitBtn1->Caption(), "Copy to\rClipboard\rand Close");
    EXPECT_TRUE(d->Others.empty()) << "the button starts without the last parse's leftovers";
    d->EditOf("width")->Text = "7";
    d->BitBtn1->Click();
    EXPECT_FALSE(d->Visible());
    EXPECT_EQ(ui::Clipboard()->AsText(), "width:7px;");

    m->bdy->Text = "<P STYLE=\"color:blue; z-index:3\">x</P>";
    m->bdy->Select(10, 21);
    ASSERT_EQ(m->bdy->SelText(), "color:blue; z-index:3");
    m->BodyEditor->PutStyleintoCSSDesigner1->Click();
    EXPECT_TRUE(d->Visible());
    EXPECT_EQ(get("colour"), "#0000FF");
    EXPECT_EQ(d->Memo1->Text(), " color:#0000FF; z-index:3;");
    d->BitBtn4->Click();
    EXPECT_FALSE(d->Visible());
    m->Hide();
}

// The preview page in the engine shows the style: the sample's computed
// style carries what the controls say.
TEST_F(Designer, PreviewShowsTheStyle) {
    d->ParseStyle("background-color:silver; border:7px ridge red; width:200px; opacity:0.85");
    d->Show();
    browser::TWebBrowser& web = d->CppWebBrowser1();
    const std::string probe =
        "(function(){var e=document.querySelector('.tmp');if(!e)return '';var s=getComputedStyle(e);"
        "return [s.backgroundColor,s.borderTopStyle,s.borderTopWidth,s.borderTopColor,s.width,s.opacity].join('|');})()";
    std::string seen;
    const std::string want = "rgb(192, 192, 192)|ridge|7px|rgb(255, 0, 0)|200px|0.85";
    EXPECT_TRUE(win::PumpUntil([&] { return (seen = web.RunScript(probe)) == want; }, 30000)) << seen;

    // A change of a control reaches the page, on the chosen sample.
    d->prvwtyp->ItemIndex = 4;  // TD
    d->EditOf("width")->Text = "33";
    const std::string cell =
        "(function(){var e=document.querySelectorAll('td.tmp');if(e.length!=9)return String(e.length);"
        "return getComputedStyle(e[0]).borderTopStyle;})()";
    EXPECT_TRUE(win::PumpUntil([&] { return (seen = web.RunScript(cell)) == "ridge"; }, 30000)) << seen;
    d->prvwtyp->ItemIndex = 0;
    d->Hide();
}

}  // namespace
