// Timers, the up-down, the status bar, labels, panels, check boxes, radio
// buttons and groups, page controls, and what every control shares.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "platform/ui/comctrls.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "platform/win/pump.h"

#include "tests/ui/form_fixture.h"

using namespace ui;

namespace {

TEST(Timers, TickWhileEnabledAndStopWhenDisabled) {
    TTimer timer(nullptr);
    timer.Enabled = false;
    timer.Interval = 20;
    int ticks = 0;
    timer.OnTimer = [&](rtl::TObject* sender) {
        EXPECT_EQ(sender, &timer);
        if (++ticks == 3) timer.Enabled = false;  // a one-shot use stops itself in its handler
    };
    timer.Enabled = true;
    ASSERT_TRUE(win::PumpUntil([&] { return ticks == 3; }, 5000));
    win::PumpFor(100);
    EXPECT_EQ(ticks, 3);
}

TEST(Timers, ExceptionsInTicksGoToTheApplication) {
    TTimer timer(nullptr);
    timer.Interval = 10;
    std::string caught;
    Application->OnException = [&](rtl::TObject*, const std::exception& e) { caught = e.what(); };
    timer.OnTimer = [&](rtl::TObject*) {
        timer.Enabled = false;
        throw rtl::Exception("tick failed");
    };
    EXPECT_TRUE(win::PumpUntil([&] { return !caught.empty(); }, 5000));
    Application->OnException = nullptr;
    EXPECT_EQ(caught, "tick failed");
}

using ControlsTest = FormTest;

TEST_F(ControlsTest, UpDownStepsWrapsAndWritesItsEdit) {
    auto* edit = new TEdit(form.get());
    edit->SetBounds(10, 10, 80, 21);
    auto* upDown = new TUpDown(form.get());
    upDown->Min = 1;
    upDown->Max = 9999;
    upDown->Wrap = true;
    upDown->Associate = edit;
    upDown->Position = 5;
    std::vector<TUDBtnType> clicks;
    upDown->OnClick = [&](rtl::TObject*, TUDBtnType b) { clicks.push_back(b); };
    EXPECT_EQ(edit->Text(), "5");
    EXPECT_TRUE(clicks.empty());  // setting the position is silent
    EXPECT_EQ(upDown->Left + upDown->Width, 90);  // beside the edit, in its place
    upDown->Position = 9999;
    upDown->Step(btNext);
    EXPECT_EQ(upDown->Position, 1);
    upDown->Step(btPrev);
    EXPECT_EQ(upDown->Position, 9999);
    EXPECT_EQ(edit->Text(), "9999");
    upDown->Wrap = false;
    upDown->Step(btNext);
    EXPECT_EQ(upDown->Position, 9999);
    upDown->Thousands = true;
    EXPECT_EQ(edit->Text(), "9,999");
    showForm();
    QTest::keyClick(edit->Widget(), Qt::Key_Down);
    EXPECT_EQ(upDown->Position, 9998);
    const auto buttons = upDown->Widget()->findChildren<QToolButton*>();
    ASSERT_EQ(buttons.size(), 2);
    buttons[0]->click();
    EXPECT_EQ(upDown->Position, 9999);
    EXPECT_EQ(clicks, (std::vector<TUDBtnType>{btNext, btPrev, btNext, btPrev, btNext}));
}

// Panels keep their widths, and the last reaches the bar's right end
// whatever its own, so a long text is never cut at a panel's width.
TEST_F(ControlsTest, StatusBarPanelsShowTheirTexts) {
    auto* bar = new TStatusBar(form.get());
    bar->Panels->Add()->Width = 120;
    bar->Panels->Add()->Width = 50;
    bar->Panels[1]->Text = "Getting Messages...";
    EXPECT_EQ(bar->Panels->Count, 2);
    EXPECT_EQ(bar->Panels[1]->Text(), "Getting Messages...");
    EXPECT_EQ(bar->Panels[1]->Width(), 50);
    showForm();
    const auto labels = bar->Widget()->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 2);
    EXPECT_EQ(labels[1]->text(), "Getting Messages...");
    EXPECT_EQ(labels[0]->width(), 120);
    EXPECT_GT(labels[1]->width(), 200);
    EXPECT_GE(labels[1]->geometry().right(), bar->Widget()->width() - 30);
    EXPECT_EQ(bar->Align, alBottom);
    EXPECT_THROW(bar->Panels[2], rtl::EListError);
}

TEST_F(ControlsTest, CaptionsBreakLinesAtAnyLineEnd) {
    auto* label = new TLabel(form.get());
    label->Caption = "0 of 0\r\nViewing 0\r0 bytes";
    EXPECT_EQ(label->Caption(), "0 of 0\r\nViewing 0\r0 bytes");
    EXPECT_EQ(static_cast<QLabel*>(label->Widget())->text(), "0 of 0\nViewing 0\n0 bytes");
    label->Caption = "Match &Case && more";
    EXPECT_EQ(static_cast<QLabel*>(label->Widget())->text(), "Match Case & more");
    int clicks = 0;
    label->OnClick = [&](rtl::TObject*) { ++clicks; };
    showForm();
    QTest::mouseClick(label->Widget(), Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

TEST_F(ControlsTest, CheckBoxesAndRadiosRaiseOnClickForEveryChange) {
    auto* box = new TCheckBox(form.get());
    auto* group = new TRadioGroup(form.get());
    auto* radio1 = new TRadioButton(form.get());
    auto* radio2 = new TRadioButton(form.get());
    std::string events;
    box->OnClick = [&](rtl::TObject*) { events += box->Checked ? "on " : "off "; };
    group->OnClick = [&](rtl::TObject*) { events += "group" + std::to_string(group->ItemIndex) + " "; };
    radio2->OnClick = [&](rtl::TObject*) { events += "radio2 "; };
    box->Checked = true;
    box->Checked = true;  // no change, no event
    box->Checked = false;
    group->Items->Text = "Up\r\nDown";
    group->ItemIndex = 1;
    radio1->Checked = true;
    radio2->Checked = true;
    EXPECT_FALSE(radio1->Checked);
    EXPECT_EQ(events, "on off group1 radio2 ");
    showForm();
    QTest::mouseClick(box->Widget(), Qt::LeftButton);
    EXPECT_TRUE(box->Checked);
    EXPECT_EQ(events, "on off group1 radio2 on ");
}

TEST_F(ControlsTest, PageControlPagesAndTheirControls) {
    auto* pages = new TPageControl(form.get());
    auto* first = new TTabSheet(form.get());
    auto* second = new TTabSheet(form.get());
    first->Caption = "Options";
    second->Caption = "Dictionaries";
    first->PageControl = pages;
    second->PageControl = pages;
    auto* edit = new TEdit(second);
    int changes = 0;
    pages->OnChange = [&](rtl::TObject*) { ++changes; };
    EXPECT_EQ(pages->PageCount, 2);
    EXPECT_EQ(second->PageIndex(), 1);
    pages->ActivePage = second;
    EXPECT_EQ(pages->ActivePageIndex, 1);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(edit->Parent, second);
    auto* tabs = static_cast<QTabWidget*>(pages->Widget());
    EXPECT_EQ(tabs->tabText(0), "Options");
    tabs->setCurrentIndex(0);  // as the user does
    EXPECT_EQ(changes, 1);
    delete first;
    EXPECT_EQ(pages->PageCount, 1);
}

TEST_F(ControlsTest, SharedPropertiesAndOwnership) {
    auto* panel = new TPanel(form.get());
    auto* button = new TButton(panel);
    button->Tag = 999;
    button->Hint = "Click to Find Text\r\nRight-Click to Find Again|longer help";
    button->ShowHint = true;
    EXPECT_EQ(button->Widget()->toolTip(), "Click to Find Text\nRight-Click to Find Again");
    button->ShowHint = false;
    EXPECT_TRUE(button->Widget()->toolTip().isEmpty());
    EXPECT_EQ(button->Tag, 999);
    EXPECT_EQ(button->Parent, panel);
    EXPECT_EQ(button->ParentForm(), form.get());
    button->Enabled = false;
    EXPECT_FALSE(button->Enabled);
    panel->Visible = false;
    EXPECT_TRUE(button->Visible);  // its own setting
    EXPECT_FALSE(button->Widget()->isVisibleTo(form->Widget()));
    panel->Color = clSilver;
    EXPECT_EQ(panel->Color, clSilver);
    EXPECT_EQ(button->Color, clBtnFace);
    const int before = form->ComponentCount();
    delete panel;  // its owned button goes with it
    EXPECT_EQ(form->ComponentCount(), before - 1);
    EXPECT_EQ(form->ControlCount(), 0);
}

TEST_F(ControlsTest, InputStaysWithTheControlItWasMeantFor) {
    auto* panel = new TPanel(form.get());
    panel->SetBounds(0, 0, 300, 100);
    auto* label = new TLabel(panel);
    label->Caption = "Character Set :-";
    auto* edit = new TEdit(panel);
    edit->SetBounds(0, 40, 100, 22);
    auto* combo = new TComboBox(form.get());
    combo->SetBounds(0, 120, 100, 22);
    combo->Items->Text = "a\r\nb";
    std::string events;
    auto note = [&](const char* what) { return [&events, what](rtl::TObject*) { events += what; }; };
    label->OnClick = note("label ");
    panel->OnClick = note("panel ");
    panel->OnMouseDown = [&](rtl::TObject*, TMouseButton, TShiftState, int, int) { events += "panel-down "; };
    panel->OnKeyDown = [&](rtl::TObject*, WORD&, TShiftState) { events += "panel-key "; };
    edit->OnKeyDown = [&](rtl::TObject*, WORD&, TShiftState) { events += "edit-key "; };
    combo->OnKeyDown = [&](rtl::TObject*, WORD&, TShiftState) { events += "combo-key "; };
    showForm();
    QTest::mouseClick(label->Widget(), Qt::LeftButton);
    edit->SetFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);  // the edit leaves it to its parents
    combo->SetFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);  // the combo's editor leaves it to the combo
    EXPECT_EQ(events, "label edit-key combo-key ");
}

TEST_F(ControlsTest, AParentThatGoesFirstLeavesItsChildrenIntact) {
    auto* panel = new TPanel(form.get());
    auto* edit = new TEdit(form.get());  // owned by the form, shown on the panel
    edit->Parent = panel;
    edit->Text = "kept";
    delete panel;
    EXPECT_EQ(edit->Parent, nullptr);
    EXPECT_EQ(edit->Text(), "kept");
    edit->Parent = form.get();
    EXPECT_EQ(edit->Parent, form.get());
}

}  // namespace

namespace {

TEST_F(ControlsTest, ADisabledControlDrawsItsTextGreyWhateverItsFontColour) {
    auto* b = new TButton(form.get());
    b->Parent = form.get();
    b->Font->Color = clRed;
    b->Enabled = false;
    const QPalette pal = b->Widget()->palette();
    const QColor red(255, 0, 0);
    EXPECT_EQ(pal.color(QPalette::Active, QPalette::ButtonText), red);
    EXPECT_EQ(pal.color(QPalette::Inactive, QPalette::ButtonText), red);
    EXPECT_NE(pal.color(QPalette::Disabled, QPalette::ButtonText), red);
}

}  // namespace
