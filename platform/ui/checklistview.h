#pragma once
// TCheckListView: a report list view whose rows carry check boxes and hold
// their own texts (no owner data): a caption and sub-items per row, column
// headers that may be hidden, captions the user may edit in place (F2, or a
// click on the selected row) when the list is not read-only.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/controls.h"

namespace ui {

struct TCheckListViewPrivate;

class TCheckListView : public TWinControl {
    bool getChecked(int row) const;
    void setChecked(int row, bool v);
    int getItemIndex() const;
    void setItemIndex(int v);
    bool getReadOnly() const;
    void setReadOnly(bool v);
    bool getShowColumnHeaders() const;
    void setShowColumnHeaders(bool v);
    bool getCheckOnLabelClick() const { return checkOnLabelClick_; }
    void setCheckOnLabelClick(bool v) { checkOnLabelClick_ = v; }

    std::unique_ptr<TCheckListViewPrivate> v_;
    bool checkOnLabelClick_ = false;

public:
    explicit TCheckListView(rtl::TComponent* owner);
    ~TCheckListView() override;
    const char* ClassName() const override { return "TCheckListView"; }

    // Column captions; the first column holds the rows' captions.
    void SetColumns(const std::vector<std::string>& Captions);
    int ColumnCount() const;
    int ColumnWidth(int Column) const;
    void SetColumnWidth(int Column, int Width);
    // Wide enough for the column's texts.
    void AutoSizeColumn(int Column);
    // The width of the rows' area, without frame and scroll bar.
    int ViewWidth() const;
    bool VerticalScrollBarShown() const;

    int Count() const;
    // Adds a row, unchecked; returns its index.
    int AddItem(const std::string& Caption, const std::vector<std::string>& SubItems = {});
    void Clear();
    std::string Caption(int Row) const;
    void SetCaption(int Row, const std::string& Caption);
    std::string SubItem(int Row, int Column) const;
    // Where a row's caption text lies (client coordinates).
    TRect LabelRect(int Row) const;
    // Starts editing Row's caption in place (asks OnEditing first).
    void EditCaption(int Row);
    bool IsEditing() const;

    // Setting a check, the selection or the texts raises nothing; the
    // user's changes raise the events below.
    TIndexedProp<TCheckListView, bool, &TCheckListView::getChecked, &TCheckListView::setChecked> Checked{this};
    // The selected row, -1 for none; setting -1 clears the selection.
    TProp<TCheckListView, int, &TCheckListView::getItemIndex, &TCheckListView::setItemIndex> ItemIndex{this};
    // Captions can be edited in place only when false.
    TProp<TCheckListView, bool, &TCheckListView::getReadOnly, &TCheckListView::setReadOnly> ReadOnly{this};
    TProp<TCheckListView, bool, &TCheckListView::getShowColumnHeaders, &TCheckListView::setShowColumnHeaders>
        ShowColumnHeaders{this};
    // A click on or right of a row's label toggles its check box too.
    TProp<TCheckListView, bool, &TCheckListView::getCheckOnLabelClick, &TCheckListView::setCheckOnLabelClick>
        CheckOnLabelClick{this};

    // Told from the event loop once the click is done, so it may refill
    // the list.
    std::function<void(rtl::TObject* Sender, int Row)> OnItemChecked;
    std::function<void(rtl::TObject* Sender, int Row, bool Selected)> OnSelectItem;
    // Before an edit starts; AllowEdit false keeps the caption.
    std::function<void(rtl::TObject* Sender, int Row, bool& AllowEdit)> OnEditing;
    // When an edit ended with a new text; Accept false restores the old
    // caption. It must not remove rows.
    std::function<void(rtl::TObject* Sender, int Row, const std::string& Text, bool& Accept)> OnEdited;

private:
    friend struct TCheckListViewPrivate;
};

}  // namespace ui
