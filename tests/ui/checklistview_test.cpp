// TCheckListView: the user's checks, clicks and in-place edits raise its
// events; the program's own changes do not; a refused edit puts the old
// caption back.
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

#include "platform/ui/checklistview.h"
#include "tests/ui/form_fixture.h"

using namespace ui;

namespace {

class CheckListViewTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        list = new TCheckListView(form.get());
        list->Parent = form.get();
        list->SetBounds(0, 0, 300, 200);
        list->SetColumns({"Name", "File"});
        list->AddItem("alpha", {"a.x"});
        list->AddItem("beta", {"b.x"});
        list->OnItemChecked = [this](rtl::TObject*, int row) { checkedRows.push_back(row); };
        list->OnSelectItem = [this](rtl::TObject*, int row, bool on) {
            if (on) selectedRows.push_back(row);
        };
    }
    QTreeWidget* tree() const { return static_cast<QTreeWidget*>(list->Widget()); }
    void clickLabel(int row) {
        const TRect r = list->LabelRect(row);
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {},
                          tree()->viewport()->mapFrom(tree(), QPoint(r.Left + 4, (r.Top + r.Bottom) / 2)));
        QApplication::processEvents();
    }
    void edit(int row, const char* text) {
        list->ItemIndex = row;
        list->SetFocus();
        QTest::keyClick(tree(), Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(editor, nullptr);
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents();
    }

    TCheckListView* list = nullptr;
    std::vector<int> checkedRows, selectedRows;
};

}  // namespace

TEST_F(CheckListViewTest, OnlyTheUsersChecksAndSelectionsAreTold) {
    list->Checked[1] = true;
    list->ItemIndex = 0;
    EXPECT_TRUE(list->Checked[1]);
    EXPECT_EQ(list->ItemIndex, 0);
    EXPECT_TRUE(checkedRows.empty());
    EXPECT_TRUE(selectedRows.empty());
    EXPECT_EQ(list->SubItem(1, 1), "b.x");

    showForm();
    tree()->topLevelItem(0)->setCheckState(0, Qt::Checked);  // as the check box's click does
    EXPECT_TRUE(checkedRows.empty());                         // told from the loop, once the click is done
    QApplication::processEvents();
    EXPECT_EQ(checkedRows, std::vector<int>{0});
    clickLabel(1);
    EXPECT_EQ(selectedRows, std::vector<int>{1});
    EXPECT_TRUE(list->Checked[1]);  // a click on the text alone changes no check
    list->CheckOnLabelClick = true;
    clickLabel(1);
    EXPECT_FALSE(list->Checked[1]);
    EXPECT_EQ(checkedRows, (std::vector<int>{0, 1}));
}

TEST_F(CheckListViewTest, EditsAreAskedForAndCanBeRefused) {
    list->ReadOnly = false;
    list->OnEditing = [](rtl::TObject*, int row, bool& allow) { allow = row == 0; };
    std::vector<std::string> edited;
    list->OnEdited = [&](rtl::TObject*, int, const std::string& text, bool& accept) {
        edited.push_back(text);
        accept = text != "taken";
    };
    showForm();
    edit(0, "taken");
    EXPECT_EQ(list->Caption(0), "alpha");
    edit(0, "gamma");
    EXPECT_EQ(list->Caption(0), "gamma");
    EXPECT_EQ(edited, (std::vector<std::string>{"taken", "gamma"}));
    list->ItemIndex = 1;
    QTest::keyClick(tree(), Qt::Key_F2);
    EXPECT_FALSE(list->IsEditing());
    list->SetCaption(1, "delta");  // the program's own: not an edit
    QApplication::processEvents();
    EXPECT_EQ(edited.size(), 2u);
    EXPECT_TRUE(checkedRows.empty());
}
