// Forms: modal showing through the answerer and through the real loop,
// closing, default and cancel buttons, alignment, fonts and exceptions.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QTest>
#include <QTimer>
#include <memory>

#include "platform/ui/comctrls.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "platform/win/pump.h"

using namespace ui;

namespace {

// An input window like the program's: a text, OK and Cancel.
struct InputForm : TForm {
    explicit InputForm(rtl::TComponent* owner) : TForm(owner) {
        Caption = "Enter a value";
        SetBounds(0, 0, 300, 120);
        Edit1 = new TEdit(this);
        Ok = new TBitBtn(this);
        Ok->Kind = bkOK;
        Ok->SetBounds(10, 60, 80, 24);
        Cancel = new TBitBtn(this);
        Cancel->Kind = bkCancel;
        Cancel->SetBounds(100, 60, 80, 24);
        OnShow = [this](rtl::TObject*) { events += "show "; };
        OnClose = [this](rtl::TObject*, TCloseAction&) { events += "close "; };
    }
    TEdit* Edit1;
    TBitBtn* Ok;
    TBitBtn* Cancel;
    std::string events;
};

TEST(Forms, ShowModalIsAnsweredByTheScript) {
    TScriptedDialogs answers;
    InputForm form(nullptr);
    answers.QueueModal([](TForm& f) {
        auto& input = static_cast<InputForm&>(f);
        EXPECT_TRUE(input.Modal());
        EXPECT_TRUE(input.Visible);
        input.Edit1->Text = "4-7,12-20";
        input.Ok->Click();
        return mrNone;  // the window's own result
    });
    EXPECT_EQ(form.ShowModal(), mrOk);
    EXPECT_EQ(form.Edit1->Text(), "4-7,12-20");
    EXPECT_EQ(form.events, "show close ");
    EXPECT_FALSE(form.Visible);
    EXPECT_FALSE(form.Modal());
    EXPECT_EQ(answers.modals, std::vector<std::string>{"Enter a value"});
    EXPECT_EQ(answers.unexpected, 0);

    EXPECT_EQ(form.ShowModal(), mrCancel);  // nothing queued: dismissed
    EXPECT_EQ(answers.unexpected, 1);
}

TEST(Forms, WithoutAnAnswererModalWindowsAreDismissedUnseen) {
    InputForm form(nullptr);
    EXPECT_EQ(form.ShowModal(), mrCancel);
    EXPECT_EQ(form.events, "");
}

TEST(Forms, ShowingAVisibleWindowModallyIsRefused) {
    InputForm form(nullptr);
    form.Show();
    EXPECT_THROW(form.ShowModal(), EInvalidOperation);
}

TEST(Forms, TheModalLoopEndsOnceOnCloseQueryAllows) {
    InputForm form(nullptr);
    int queries = 0;
    form.OnCloseQuery = [&](rtl::TObject*, bool& canClose) { canClose = ++queries > 1; };
    form.BeginModal();
    QTimer::singleShot(10, form.Widget(), [&] { form.Ok->Click(); });
    QTimer::singleShot(40, form.Widget(), [&] {
        EXPECT_TRUE(form.Visible);  // the first answer was refused
        form.Cancel->Click();
    });
    EXPECT_EQ(form.RunModalLoop(), mrCancel);
    EXPECT_EQ(queries, 2);
    EXPECT_FALSE(form.Widget()->isVisible());
}

TEST(Forms, EscapeAndEnterPressTheCancelAndDefaultButtons) {
    InputForm form(nullptr);
    std::string pressed;
    form.Ok->OnClick = [&](rtl::TObject*) { pressed += "ok "; };
    form.Cancel->OnClick = [&](rtl::TObject*) { pressed += "cancel "; };
    form.Show();
    QTest::keyClick(form.Edit1->Widget(), Qt::Key_Escape);
    QTest::keyClick(form.Edit1->Widget(), Qt::Key_Return);
    EXPECT_EQ(pressed, "cancel ok ");
    EXPECT_EQ(form.ModalResult, mrOk);
}

TEST(Forms, ClosingAsksFirst) {
    InputForm form(nullptr);
    bool allow = false;
    TCloseAction action = caHide;
    form.OnCloseQuery = [&](rtl::TObject*, bool& canClose) { canClose = allow; };
    form.OnClose = [&](rtl::TObject*, TCloseAction& a) { a = action; };
    form.Show();
    form.Close();
    EXPECT_TRUE(form.Visible);
    allow = true;
    action = caNone;
    QCloseEvent byUser;
    QApplication::sendEvent(form.Widget(), &byUser);  // the window's close box
    EXPECT_TRUE(form.Visible);
    action = caHide;
    QApplication::sendEvent(form.Widget(), &byUser);
    EXPECT_FALSE(form.Visible);
    EXPECT_FALSE(form.Widget()->isVisible());
}

TEST(Forms, AlignedControlsShareTheClientArea) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 500, 300);
    auto* status = new TStatusBar(&form);
    auto* top = new TPanel(&form);
    top->Height = 40;
    top->Align = alTop;
    auto* left = new TPanel(&form);
    left->Width = 60;
    left->Align = alLeft;
    auto* list = new TListView(&form);
    list->Align = alClient;
    form.Show();
    const int h = status->Height;
    EXPECT_EQ(status->Top + h, form.ClientHeight());
    EXPECT_EQ(status->Width, form.ClientWidth());
    EXPECT_EQ((TRect{list->Left, list->Top, list->Left + list->Width, list->Top + list->Height}),
              (TRect{60, 40, 500, form.ClientHeight - h}));
    form.Width = 700;
    win::ProcessMessages();
    EXPECT_EQ(list->Width, 640);
    EXPECT_EQ(left->Height, form.ClientHeight - h - 40);
}

TEST(Forms, ControlsFollowTheParentFontUntilTheirOwnIsSet) {
    TForm form(nullptr);
    auto* label = new TLabel(&form);
    auto* panel = new TPanel(&form);
    auto* inner = new TEdit(panel);
    form.Font->Name = "Arial";
    form.Font->Size = 12;
    EXPECT_EQ(label->Font->Name(), "Arial");
    EXPECT_EQ(inner->Font->Size, 12);
    label->Font->Size = 20;
    EXPECT_FALSE(label->ParentFont);
    form.Font->Size = 9;
    EXPECT_EQ(label->Font->Size, 20);
    EXPECT_EQ(inner->Font->Size, 9);
    EXPECT_EQ(label->Font->Height, -27);
}

TEST(Forms, HandlerExceptionsGoToTheApplication) {
    TForm form(nullptr);
    auto* button = new TButton(&form);
    button->OnClick = [](rtl::TObject*) { throw rtl::EConvertError("'x' is not a valid integer value"); };
    std::string caught;
    Application->OnException = [&](rtl::TObject*, const std::exception& e) { caught = e.what(); };
    button->Click();
    EXPECT_EQ(caught, "'x' is not a valid integer value");
    Application->OnException = nullptr;

    TScriptedPrompter prompter;  // without a handler: an error box
    button->Click();
    ASSERT_EQ(prompter.prompts.size(), 1u);
    EXPECT_EQ(prompter.prompts[0].type, mtError);
    EXPECT_EQ(prompter.prompts[0].text, "'x' is not a valid integer value");
}

TEST(Forms, ConstraintsLimitTheWindow) {
    TForm form(nullptr);
    form.Constraints->MinWidth = 800;
    form.Constraints->MinHeight = 400;
    form.SetBounds(0, 0, 300, 200);
    EXPECT_EQ(form.Width, 800);
    EXPECT_EQ(form.Height, 400);
}

TEST(Forms, TheHourglassCoversEveryWindowUntilReset) {
    Screen->Cursor = crHourGlass;
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    Screen->Cursor = crDefault;
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
