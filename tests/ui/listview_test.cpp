// The owner-data list view: 1,500,000 virtual rows asked for on demand,
// selection by index and its events, column clicks, hidden headers and
// custom row colours.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QImage>
#include <QTableView>
#include <QTest>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/ui/comctrls.h"
#include "platform/ui/stdctrls.h"
#include "platform/win/pump.h"

#include "tests/ui/form_fixture.h"

using namespace ui;

namespace {

constexpr int kRows = 1500000;

class ListViewTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        form->SetBounds(0, 0, 640, 400);
        list = new TListView(form.get());
        list->Align = alClient;
        for (const char* caption : {"v Msg", "From", "To", "Subject"}) {
            TListColumn* c = list->Columns->Add();
            c->Caption = caption;
            c->Width = 120;
        }
        list->OnData = [this](rtl::TObject*, TListItem* item) {
            asked.insert(item->Index);
            ++calls;
            item->Caption = std::to_string(item->Index + 1);
            for (const char* s : {"from", "to", "subject"}) item->SubItems->Add(std::string(s) + std::to_string(item->Index));
        };
        list->Items->Count = kRows;
    }
    QTableView* table() const { return static_cast<QTableView*>(list->Widget()); }
    QString shown(int row, int col) const { return table()->model()->index(row, col).data().toString(); }
    TListView* list = nullptr;
    std::set<int> asked;
    int calls = 0;
};

TEST_F(ListViewTest, AsksOnlyForTheRowsOnScreen) {
    showForm();
    const int visible = list->VisibleRowCount;
    ASSERT_GT(visible, 5);
    ASSERT_FALSE(asked.empty());
    EXPECT_LE(static_cast<int>(asked.size()), visible + 2);
    EXPECT_LE(*asked.rbegin(), visible + 1);
    // One call per row and paint, whatever the number of columns.
    EXPECT_LE(calls, 4 * (visible + 2));

    asked.clear();
    list->Items->Item(kRows - 1)->MakeVisible(false);
    table()->viewport()->repaint();
    ASSERT_FALSE(asked.empty());
    EXPECT_GE(*asked.begin(), kRows - visible - 2);
    EXPECT_EQ(shown(kRows - 1, 3), "subject1499999");
    EXPECT_EQ(table()->rowHeight(0), table()->rowHeight(kRows - 1));
}

TEST_F(ListViewTest, SelectionAndFocusByIndex) {
    list->MultiSelect = true;
    for (int i : {1000000, 5, 9}) list->Items[i]->Selected = true;
    EXPECT_EQ(list->SelCount, 3);
    EXPECT_EQ(list->ItemIndex, 5);
    EXPECT_EQ(list->Selected->Index, 5);
    EXPECT_EQ(list->Selected->Caption, "6");
    std::vector<int> walked;
    for (TListItem* it = list->Selected; it; it = list->GetNextItem(it, sdAll, isSelected)) walked.push_back(it->Index);
    EXPECT_EQ(walked, (std::vector<int>{5, 9, 1000000}));
    EXPECT_EQ(list->SelectedIndexes(), walked);
    list->Items[9]->Selected = false;
    EXPECT_EQ(list->SelCount, 2);

    list->Items[42]->Focused = true;
    EXPECT_EQ(list->ItemFocused()->Index, 42);
    list->ItemIndex = 7;  // only that row
    EXPECT_EQ(list->SelectedIndexes(), std::vector<int>{7});
    EXPECT_TRUE(list->Items[7]->Focused);

    list->SelectAll();
    EXPECT_EQ(list->SelCount, kRows);
    list->ClearSelection();
    EXPECT_EQ(list->ItemIndex, -1);
    EXPECT_EQ(list->Selected(), nullptr);

    list->Items[3]->Selected = true;
    list->Items[20]->Selected = true;
    list->Items->Count = 10;  // rows that remain keep their selection
    EXPECT_EQ(list->SelectedIndexes(), std::vector<int>{3});
    EXPECT_THROW(list->Items->Item(10), rtl::EListError);
    list->Items->Clear();
    EXPECT_EQ(list->Items->Count, 0);
}

TEST_F(ListViewTest, SingleSelectionReplacesTheSelectedRow) {
    list->Items[4]->Selected = true;
    list->Items[8]->Selected = true;
    EXPECT_EQ(list->SelectedIndexes(), std::vector<int>{8});
}

TEST_F(ListViewTest, ColumnClicksAndRightClicksNameTheColumn) {
    int clicked = -1, rightClicked = -1;
    TPoint where;
    list->OnColumnClick = [&](rtl::TObject*, TListColumn* c) { clicked = c->Index(); };
    list->OnColumnRightClick = [&](rtl::TObject*, TListColumn* c, TPoint p) {
        rightClicked = c->Index();
        where = p;
    };
    showForm();
    QHeaderView* header = table()->horizontalHeader();
    const QPoint third(header->sectionViewportPosition(2) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, third);
    EXPECT_EQ(clicked, 2);
    QContextMenuEvent right(QContextMenuEvent::Mouse, third, header->viewport()->mapToGlobal(third));
    QApplication::sendEvent(header->viewport(), &right);
    EXPECT_EQ(rightClicked, 2);
    EXPECT_EQ(where, list->ScreenToClient({right.globalPos().x(), right.globalPos().y()}));
    list->Columns[1]->Caption = "v From";
    EXPECT_EQ(table()->model()->headerData(1, Qt::Horizontal).toString(), "v From");
    EXPECT_EQ(list->Columns[1]->Width, 120);
}

TEST_F(ListViewTest, CustomDrawPaintsRowBackgrounds) {
    const TColor odd = RGB(76, 218, 245), even = RGB(122, 221, 122), yellow = RGB(255, 255, 0);
    list->OnCustomDrawItem = [&](rtl::TObject*, TListItem* item, TCustomDrawState, bool&) {
        ASSERT_EQ(item->Caption, std::to_string(item->Index + 1));  // the item OnData filled
        list->Canvas->Brush->Color = item->Index == 3 ? yellow : item->Index % 2 ? odd : even;
        if (item->Index == 3) list->Canvas->Font->Color = clRed;
    };
    showForm();
    const QImage image = table()->viewport()->grab().toImage();
    auto pixel = [&](int row) {
        const QRect r = table()->visualRect(table()->model()->index(row, 1));
        const QColor c = image.pixelColor(r.center().x(), r.top() + 2);
        return RGB(c.red(), c.green(), c.blue());
    };
    EXPECT_EQ(pixel(0), even);
    EXPECT_EQ(pixel(1), odd);
    EXPECT_EQ(pixel(3), yellow);
    EXPECT_EQ(table()->model()->index(3, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
}

// A selected row shows as selected while the list has the focus, and
// without it only when the list does not hide its selection.
TEST_F(ListViewTest, HideSelectionWhileAnotherControlHasTheFocus) {
    list->Align = alNone;
    list->SetBounds(0, 30, 600, 300);
    auto* edit = new TEdit(form.get());
    edit->SetBounds(0, 0, 100, 24);
    showForm();
    list->ItemIndex = 1;
    auto selectedShows = [&] {
        win::ProcessMessages();
        const QImage image = table()->viewport()->grab().toImage();
        auto at = [&](int row) {
            const QRect r = table()->visualRect(table()->model()->index(row, 1));
            return image.pixelColor(r.center().x(), r.top() + 2);
        };
        return at(1) != at(0);
    };
    const struct {
        bool hide, listFocused, shows;
    } cases[] = {{true, false, false}, {false, false, true}, {true, true, true}, {false, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "hide " << c.hide << " focused " << c.listFocused);
        list->HideSelection = c.hide;
        (c.listFocused ? static_cast<TWinControl*>(list) : edit)->SetFocus();
        ASSERT_TRUE(win::PumpUntil([&] { return table()->hasFocus() == c.listFocused; }, 2000));
        EXPECT_EQ(selectedShows(), c.shows);
    }
}

TEST_F(ListViewTest, UpdateItemsAsksAgain) {
    showForm();
    std::string subject = "before";
    list->OnData = [&](rtl::TObject*, TListItem* item) { item->Caption = subject; };
    list->UpdateItems(0, 0);
    EXPECT_EQ(shown(0, 0), "before");
    subject = "after";
    EXPECT_EQ(shown(0, 0), "before");  // kept until the rows are asked for again
    list->UpdateItems(0, 0);
    EXPECT_EQ(shown(0, 0), "after");
}

TEST_F(ListViewTest, ClicksAndKeysReachTheHandlers) {
    int clicks = 0, doubles = 0;
    WORD lastKey = 0;
    list->OnClick = [&](rtl::TObject*) { ++clicks; };
    list->OnDblClick = [&](rtl::TObject*) { ++doubles; };
    list->OnKeyDown = [&](rtl::TObject*, WORD& key, TShiftState) { lastKey = key; };
    showForm();
    const QPoint row2 = table()->visualRect(table()->model()->index(2, 1)).center();
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, row2);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(list->ItemIndex, 2);
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, row2);
    EXPECT_EQ(doubles, 1);
    QTest::keyClick(table(), Qt::Key_Delete);
    EXPECT_EQ(lastKey, VK_DELETE);
    EXPECT_EQ(list->ScrollPos(true), 0);
}

TEST_F(ListViewTest, SelectItemTellsOfEveryRowSelectedOrUnselected) {
    std::vector<std::string> told;
    list->OnSelectItem = [&](rtl::TObject*, TListItem* item, bool selected) {
        told.push_back((selected ? "+" : "-") + item->Caption);
    };
    showForm();
    list->ItemIndex = 4;  // the program's choice
    EXPECT_EQ(told, std::vector<std::string>{"+5"});
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, table()->visualRect(table()->model()->index(2, 1)).center());
    EXPECT_EQ(told, (std::vector<std::string>{"+5", "-5", "+3"})) << "the user's click";
    list->ClearSelection();
    EXPECT_EQ(told.back(), "-3");
}

TEST_F(ListViewTest, ColumnHeadersCanBeHidden) {
    showForm();
    EXPECT_TRUE(list->ShowColumnHeaders());
    const int rowsWithHeader = list->VisibleRowCount;
    list->ShowColumnHeaders = false;
    EXPECT_FALSE(list->ShowColumnHeaders());
    EXPECT_TRUE(table()->horizontalHeader()->isHidden());
    win::ProcessMessages();
    EXPECT_GT(list->VisibleRowCount, rowsWithHeader) << "the header's room goes to the rows";
}

}  // namespace
