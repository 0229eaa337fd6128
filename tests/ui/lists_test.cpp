// Combo boxes, list boxes and check lists; keys, menu shortcuts, context
// popups and focus events as the controls raise them.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <memory>

#include "platform/ui/menus.h"
#include "platform/ui/stdctrls.h"
#include "platform/win/pump.h"

#include "tests/ui/form_fixture.h"

using namespace ui;

namespace {

using ListsTest = FormTest;

TEST_F(ListsTest, ComboBoxRaisesOnChangeOnlyForTheUser) {
    auto* combo = new TComboBox(form.get());
    int changes = 0;
    combo->OnChange = [&](rtl::TObject*) { ++changes; };
    combo->Items->Text = "Alpha\r\nBeta\r\nGamma";
    combo->ItemIndex = 1;
    combo->Text = "typed";
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(combo->Text(), "typed");
    showForm();
    QTest::keyClicks(static_cast<QComboBox*>(combo->Widget())->lineEdit(), "ab");
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(combo->Text(), "typedab");

    combo->Style = csDropDownList;
    combo->Text = "gamma";  // a pick list takes the entry of that text
    EXPECT_EQ(combo->ItemIndex, 2);
    EXPECT_EQ(combo->Text(), "Gamma");
    changes = 0;
    combo->SetFocus();
    QTest::keyClick(combo->Widget(), Qt::Key_Up);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(combo->ItemIndex, 1);
}

TEST_F(ListsTest, SortedListsInsertInOrderIgnoringCase) {
    auto* combo = new TComboBox(form.get());
    auto* list = new TListBox(form.get());
    for (TStrings* items : {static_cast<TStrings*>(combo->Items), static_cast<TStrings*>(list->Items)}) {
        items->Add("pear");
        items->Add("Apple");
    }
    combo->Sorted = true;
    list->Sorted = true;
    for (TStrings* items : {static_cast<TStrings*>(combo->Items), static_cast<TStrings*>(list->Items)}) {
        EXPECT_EQ(items->Add("banana"), 1);
        EXPECT_EQ(items->Text(), "Apple\r\nbanana\r\npear\r\n");
    }
}

TEST_F(ListsTest, DroppedDownComboTakesKeysOnTheHighlightedEntry) {
    auto* combo = new TComboBox(form.get());
    combo->Items->Text = "one\r\ntwo\r\nthree";
    int dropDowns = 0;
    combo->OnDropDown = [&](rtl::TObject*) {
        ++dropDowns;
        combo->Items->Add("four");  // filled just before the list shows
    };
    combo->OnKeyDown = [&](rtl::TObject*, WORD& key, TShiftState shift) {
        if (key == VK_DELETE && combo->DroppedDown && KeyModifiers(shift) == 0) {
            combo->Items->Delete(combo->ItemIndex);
            key = 0;
        }
    };
    showForm();
    combo->Perform(CB_SETDROPPEDWIDTH, 300, 0);
    EXPECT_EQ(combo->Perform(CB_GETDROPPEDWIDTH, 0, 0), 300);
    combo->Perform(CB_SETEXTENDEDUI, 1, 0);
    combo->SetFocus();
    QTest::keyClick(combo->Widget(), Qt::Key_Down);
    ASSERT_TRUE(combo->DroppedDown);
    EXPECT_EQ(dropDowns, 1);
    auto* view = static_cast<QComboBox*>(combo->Widget())->view();
    view->setCurrentIndex(view->model()->index(1, 0));
    EXPECT_EQ(combo->ItemIndex, 1);
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(combo->Items->Text(), "one\r\nthree\r\nfour\r\n");
    combo->DroppedDown = false;
    EXPECT_FALSE(combo->DroppedDown);
}

TEST_F(ListsTest, ListBoxSelectionByIndexAndByTheUser) {
    auto* list = new TListBox(form.get());
    list->SetBounds(0, 0, 200, 200);
    for (int i = 0; i < 30; ++i) list->Items->Add("item " + std::to_string(i));
    int clicks = 0;
    list->OnClick = [&](rtl::TObject*) { ++clicks; };
    list->ItemIndex = 3;
    EXPECT_EQ(list->ItemIndex, 3);
    EXPECT_EQ(clicks, 0);
    showForm();
    const TRect r = list->ItemRect(5);
    EXPECT_EQ(list->ItemAtPos({r.Left + 2, r.Top + 2}, true), 5);
    QWidget* viewport = static_cast<QListWidget*>(list->Widget())->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, viewport->mapFrom(list->Widget(), QPoint(r.Left + 2, r.Top + 2)));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(list->ItemIndex, 5);
    list->TopIndex = 10;
    EXPECT_EQ(list->TopIndex, 10);

    list->MultiSelect = true;
    list->ClearSelection();
    list->Selected[2] = true;
    list->Selected[7] = true;
    EXPECT_EQ(list->SelCount, 2);
    EXPECT_TRUE(list->Selected[7]);
    EXPECT_FALSE(list->Selected[3]);
    EXPECT_THROW(list->Selected[30] = true, rtl::EListError);

    auto* small = new TListBox(form.get());
    small->SetBounds(200, 0, 100, 200);
    small->Items->Text = "a\r\nb";
    win::ProcessMessages();
    EXPECT_EQ(small->ItemAtPos({5, 150}, true), -1);
    EXPECT_EQ(small->ItemAtPos({5, 150}, false), 2);
}

TEST_F(ListsTest, ColumnsSpreadTheEntries) {
    auto* list = new TListBox(form.get());
    list->SetBounds(0, 0, 300, 100);
    for (int i = 0; i < 40; ++i) list->Items->Add("x" + std::to_string(i));
    list->Columns = 3;
    showForm();
    EXPECT_EQ(list->ItemRect(0).Left, list->ItemRect(1).Left);
    EXPECT_GT(list->ItemRect(39).Left, list->ItemRect(0).Left);
    EXPECT_GT(list->Canvas()->TextWidth("x39 wide"), list->Canvas()->TextWidth("x"));
}

TEST_F(ListsTest, CheckListRaisesOnClickCheckForTheUser) {
    auto* list = new TCheckListBox(form.get());
    list->Items->Text = "a\r\nb\r\nc";
    int checks = 0;
    list->OnClickCheck = [&](rtl::TObject*) { ++checks; };
    list->Checked[1] = true;
    EXPECT_TRUE(list->Checked[1]);
    EXPECT_FALSE(list->Checked[0]);
    EXPECT_EQ(checks, 0);
    showForm();
    list->ItemIndex = 2;
    list->SetFocus();
    QTest::keyClick(list->Widget(), Qt::Key_Space);
    EXPECT_TRUE(list->Checked[2]);
    EXPECT_EQ(checks, 1);
}

TEST_F(ListsTest, KeyHandlersSwallowAndReplaceKeys) {
    auto* edit = new TEdit(form.get());
    auto* memo = new TMemo(form.get());
    edit->OnKeyDown = [](rtl::TObject*, WORD& key, TShiftState) {
        if (key == 'A') key = 0;
    };
    memo->OnKeyPress = [](rtl::TObject*, char32_t& key) {
        if (key == 13) key = 0;         // Enter makes no line
        else if (key == U'x') key = U'\u00e9';  // "x" types "é"
    };
    showForm();
    QTest::keyClicks(edit->Widget(), "bAnana");
    EXPECT_EQ(edit->Text(), "bnn");
    memo->SetFocus();
    QTest::keyClicks(memo->Widget(), "x1");
    QTest::keyClick(memo->Widget(), Qt::Key_Return);
    EXPECT_EQ(memo->Text(), "\xC3\xA9" "1");
}

TEST_F(ListsTest, HeldKeysCanBeAskedFor) {
    auto* memo = new TMemo(form.get());
    showForm();
    EXPECT_GE(GetKeyState(VK_DOWN), 0);
    QTest::keyPress(memo->Widget(), Qt::Key_Down);
    EXPECT_LT(GetKeyState(VK_DOWN), 0);
    QTest::keyPress(memo->Widget(), Qt::Key_Shift);
    EXPECT_LT(GetKeyState(VK_SHIFT), 0);
    QTest::keyRelease(memo->Widget(), Qt::Key_Shift);
    QTest::keyRelease(memo->Widget(), Qt::Key_Down);
    EXPECT_GE(GetKeyState(VK_DOWN), 0);
    EXPECT_GE(GetKeyState(VK_SHIFT), 0);
    EXPECT_GE(GetKeyState(VK_LBUTTON), 0);
}

TEST_F(ListsTest, KeyPreviewLetsTheFormSeeKeysFirst) {
    auto* memo = new TMemo(form.get());
    std::string seen;
    form->KeyPreview = true;
    form->OnKeyDown = [&](rtl::TObject*, WORD& key, TShiftState shift) {
        seen += "form ";
        if (key == VK_F3 && KeyModifiers(shift) == 0) key = 0;
    };
    memo->OnKeyDown = [&](rtl::TObject*, WORD&, TShiftState) { seen += "memo "; };
    showForm();
    QTest::keyClick(memo->Widget(), Qt::Key_F3);
    EXPECT_EQ(seen, "form ");
    QTest::keyClick(memo->Widget(), Qt::Key_F4);
    EXPECT_EQ(seen, "form form memo ");
}

TEST_F(ListsTest, MenuShortcutsComeBeforeTheControlsKeys) {
    auto* memo = new TMemo(form.get());
    auto* popup = new TPopupMenu(form.get());
    auto* quote = new TMenuItem(form.get());
    auto* copy = new TMenuItem(form.get());
    quote->Caption = "Quote Selected Text";
    quote->ShortCut = ShortCut('B', ssCtrl);
    copy->Caption = "Copy";
    copy->ShortCut = ShortCut('C', ssCtrl);
    popup->Items->Add(quote);
    popup->Items->Add(copy);
    memo->PopupMenu = popup;
    auto* menu = new TMainMenu(form.get());
    auto* top = new TMenuItem(form.get());
    auto* font = new TMenuItem(form.get());
    top->Caption = "&Edit";
    font->Caption = "Web Font";
    font->ShortCut = ShortCut(VK_F7, 0);
    top->Add(font);
    menu->Items->Add(top);
    form->Menu = menu;
    std::string clicked;
    int memoKeys = 0;
    quote->OnClick = [&](rtl::TObject*) { clicked += "quote "; };
    copy->OnClick = [&](rtl::TObject*) { clicked += "copy "; };
    font->OnClick = [&](rtl::TObject*) { clicked += "font "; };
    memo->OnKeyDown = [&](rtl::TObject*, WORD& key, TShiftState) {
        if (key != VK_CONTROL) ++memoKeys;
    };
    showForm();
    memo->SetFocus();
    QTest::keyClick(memo->Widget(), Qt::Key_B, Qt::ControlModifier);
    QTest::keyClick(memo->Widget(), Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(memo->Widget(), Qt::Key_F7);
    EXPECT_EQ(clicked, "quote copy font ");
    EXPECT_EQ(memoKeys, 0);
    quote->Enabled = false;  // a disabled item leaves the key to the control
    QTest::keyClick(memo->Widget(), Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(memoKeys, 1);
    EXPECT_EQ(ShortCutToText(ShortCut('Z', ssCtrl | ssShift)), "Ctrl+Shift+Z");
    EXPECT_EQ(popup->FindItemByShortCut(ShortCut('C', ssCtrl)), copy);
}

TEST_F(ListsTest, ContextPopupReportsTheClientPointAndCanSuppressTheMenu) {
    auto* button = new TButton(form.get());
    button->SetBounds(10, 10, 80, 24);
    auto* popup = new TPopupMenu(form.get());
    int popups = 0;
    popup->OnPopup = [&](rtl::TObject*) { ++popups; };
    button->PopupMenu = popup;
    TPoint at{-5, -5};
    bool suppress = true;
    button->OnContextPopup = [&](rtl::TObject*, TPoint pos, bool& handled) {
        at = pos;
        handled = suppress;
    };
    showForm();
    QContextMenuEvent right(QContextMenuEvent::Mouse, QPoint(7, 9), button->Widget()->mapToGlobal(QPoint(7, 9)));
    QApplication::sendEvent(button->Widget(), &right);
    EXPECT_EQ(at, (TPoint{7, 9}));
    EXPECT_EQ(popups, 0);
    suppress = false;
    QApplication::sendEvent(button->Widget(), &right);
    EXPECT_EQ(popups, 1);
    popup->Items->SubMenu()->hide();
}

TEST_F(ListsTest, FocusRaisesEnterAndExit) {
    auto* a = new TEdit(form.get());
    auto* b = new TEdit(form.get());
    std::string events;
    a->OnEnter = [&](rtl::TObject*) { events += "enter-a "; };
    a->OnExit = [&](rtl::TObject*) { events += "exit-a "; };
    b->OnEnter = [&](rtl::TObject*) { events += "enter-b "; };
    showForm();
    a->SetFocus();
    win::PumpUntil([&] { return a->Focused(); }, 2000);
    b->SetFocus();
    win::PumpUntil([&] { return b->Focused(); }, 2000);
    EXPECT_EQ(events, "enter-a exit-a enter-b ");
}

}  // namespace
