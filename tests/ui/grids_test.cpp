// The string grid: cells with a fixed title row, sizes, the current cell
// and the editor's events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <memory>

#include "platform/ui/grids.h"
#include "platform/win/pump.h"

#include "tests/ui/form_fixture.h"

using namespace ui;

namespace {

class GridTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        form->SetBounds(0, 0, 600, 300);
        grid = new TStringGrid(form.get());
        grid->Align = alClient;
        grid->ColCount = 5;
        grid->FixedCols = 0;
        grid->RowCount = 2;
        grid->Options = grid->Options | goEditing | goTabs | goColSizing;
        grid->DefaultRowHeight = 20;
        const char* titles[] = {" POP3 Host (Optional Description)", " Email Username", " Password", " SMTP Host",
                                " Email Address"};
        for (int c = 0; c < 5; ++c) grid->Cells[c][0] = titles[c];
    }
    TStringGrid* grid = nullptr;
};

TEST_F(GridTest, CellsCountTheTitleRow) {
    grid->Cells[0][1] = "mail.example.org/+587 (work)";
    grid->RowCount = 3;
    grid->Cells[4][2] = "b@example.org";
    EXPECT_EQ(grid->Cells[0][0](), " POP3 Host (Optional Description)");
    EXPECT_EQ(grid->Cells[0][1](), "mail.example.org/+587 (work)");
    auto* table = static_cast<QTableWidget*>(grid->Widget());
    EXPECT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->horizontalHeaderItem(1)->text(), " Email Username");
    EXPECT_EQ(table->item(1, 4)->text(), "b@example.org");
    grid->RowCount = 1;  // only the title row left
    EXPECT_EQ(grid->RowCount, 1);
    EXPECT_EQ(grid->Cells[3][0](), " SMTP Host");
    EXPECT_THROW(grid->Cells[0][1](), EInvalidGridOperation);
    EXPECT_THROW(grid->Cells[5][0] = "x", EInvalidGridOperation);
    grid->RowCount = 2;
    EXPECT_EQ(grid->Cells[0][1](), "");
    grid->FixedRows = 0;  // the titles become an ordinary row, in place
    EXPECT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(0, 1)->text(), " Email Username");
}

TEST_F(GridTest, CurrentCellAndColumnWidths) {
    grid->RowCount = 4;
    grid->Row = 3;
    grid->Col = 2;
    EXPECT_EQ(grid->Row, 3);
    EXPECT_EQ(grid->Col, 2);
    grid->ColWidths[1] = 150;
    EXPECT_EQ(grid->ColWidths[1], 150);
    EXPECT_EQ(grid->DefaultRowHeight, 20);
    EXPECT_EQ(static_cast<QTableWidget*>(grid->Widget())->rowHeight(2), 20);
}

TEST_F(GridTest, TheEditorReportsItsTextAsTheUserTypes) {
    grid->Cells[1][1] = "alice";
    std::string kept;
    std::vector<std::string> typed;
    grid->OnGetEditText = [&](rtl::TObject*, int c, int r, std::string& value) {
        EXPECT_EQ(c, 1);
        EXPECT_EQ(r, 1);
        kept = value;
    };
    grid->OnSetEditText = [&](rtl::TObject*, int, int, const std::string& value) { typed.push_back(value); };
    showForm();
    grid->Row = 1;
    grid->Col = 1;
    grid->EditorMode = true;
    ASSERT_TRUE(grid->EditorMode);
    EXPECT_EQ(kept, "alice");
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (!editor) editor = static_cast<QTableWidget*>(grid->Widget())->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "bob");
    EXPECT_EQ(typed, (std::vector<std::string>{"b", "bo", "bob"}));
    EXPECT_EQ(grid->Cells[1][1](), "bob");
    // The text it began with stays what it was: the cell taking each change
    // does not count as the editor opening again.
    EXPECT_EQ(kept, "alice");
    grid->EditorMode = false;
    win::ProcessMessages();
    EXPECT_FALSE(grid->EditorMode);
    EXPECT_EQ(grid->Cells[1][1](), "bob");
    EXPECT_EQ(typed.size(), 3u);  // closing reports nothing new
}

}  // namespace
