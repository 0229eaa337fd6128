#pragma once
// Common controls: the owner-data list view, the rich edit, the status bar,
// the up-down and the page control.
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/stdctrls.h"

class QObject;
class QLabel;
class QTextCharFormat;

namespace ui {

// ------------------------------------------------------------ list view
//
// The list view works in owner-data mode: it holds no texts, only an item
// count. Whenever it paints a row it asks OnData for that row's caption and
// sub-items (once per row and paint, and only for rows on screen), and
// OnCustomDrawItem for its colours (the brush colour of Canvas is the row's
// background, the font colour its text). Rows have one fixed height.
// Selection and focus are kept by index. Items->Item(i) and Selected give a
// scratch item filled by OnData: it stays valid until the next such call.

class TListView;
struct TListViewPrivate;

class TListColumn {
    std::string getCaption() const { return caption_; }
    void setCaption(std::string v);
    int getWidth() const;
    void setWidth(int v);

    TListView* view_;
    int index_;
    std::string caption_;

public:
    TListColumn(TListView* view, int index) : view_(view), index_(index) {}
    TListColumn(const TListColumn&) = delete;
    TProp<TListColumn, std::string, &TListColumn::getCaption, &TListColumn::setCaption> Caption{this};
    TProp<TListColumn, int, &TListColumn::getWidth, &TListColumn::setWidth> Width{this};
    int Index() const { return index_; }
};

class TListColumns {
    int getCount() const { return static_cast<int>(columns_.size()); }
    TListView* view_;
    std::vector<std::unique_ptr<TListColumn>> columns_;

public:
    explicit TListColumns(TListView* view) : view_(view) {}
    TListColumns(const TListColumns&) = delete;
    TListColumn* Add();
    void Clear();
    TReadProp<TListColumns, int, &TListColumns::getCount> Count{this};
    TListColumn* Items(int index) const;
    TListColumn* operator[](int index) const { return Items(index); }
};

enum TItemState : unsigned { isNone = 0, isFocused = 4, isSelected = 8 };
using TItemStates = unsigned;
enum TSearchDirection { sdLeft, sdRight, sdAbove, sdBelow, sdAll };
enum TCustomDrawStateFlag : unsigned { cdsSelected = 1, cdsFocused = 16 };
using TCustomDrawState = unsigned;

class TListItem {
    int getIndex() const { return index_; }
    bool getSelected() const;
    void setSelected(bool v);
    bool getFocused() const;
    void setFocused(bool v);

    TListView* view_;
    int index_ = -1;
    rtl::TStringList subItems_;

public:
    explicit TListItem(TListView* view) : view_(view) {}
    TListItem(const TListItem&) = delete;
    TReadProp<TListItem, int, &TListItem::getIndex> Index{this};
    TProp<TListItem, bool, &TListItem::getSelected, &TListItem::setSelected> Selected{this};
    TProp<TListItem, bool, &TListItem::getFocused, &TListItem::setFocused> Focused{this};
    std::string Caption;
    TPart<rtl::TStringList> SubItems{&subItems_};
    // Scrolls the item into view.
    void MakeVisible(bool partialOK = false);

    // Library use: empties the item and points it at a row.
    void Reset(int index);
};

class TListItems {
    int getCount() const;
    void setCount(int v);
    TListView* view_;

public:
    explicit TListItems(TListView* view) : view_(view) {}
    TListItems(const TListItems&) = delete;
    // Setting Count keeps the selection of the rows that remain.
    TProp<TListItems, int, &TListItems::getCount, &TListItems::setCount> Count{this};
    TListItem* Item(int index) const;
    TListItem* operator[](int index) const { return Item(index); }
    void Clear() { setCount(0); }
    // Stops repainting until the matching EndUpdate.
    void BeginUpdate();
    void EndUpdate();
};

using TLVOwnerDataEvent = std::function<void(rtl::TObject* Sender, TListItem* Item)>;
using TLVColumnClickEvent = std::function<void(rtl::TObject* Sender, TListColumn* Column)>;
using TLVColumnRClickEvent = std::function<void(rtl::TObject* Sender, TListColumn* Column, TPoint Point)>;
using TLVCustomDrawItemEvent =
    std::function<void(rtl::TObject* Sender, TListItem* Item, TCustomDrawState State, bool& DefaultDraw)>;
using TLVSelectItemEvent = std::function<void(rtl::TObject* Sender, TListItem* Item, bool Selected)>;

class TListView : public TWinControl {
    std::unique_ptr<TListViewPrivate> v_;  // first: the parts below point into it

    bool getMultiSelect() const;
    void setMultiSelect(bool v);
    bool getGridLines() const;
    void setGridLines(bool v);
    bool getHideSelection() const { return hideSelection_; }
    void setHideSelection(bool v);
    int getItemIndex() const;
    void setItemIndex(int v);
    TListItem* getSelected() const;
    TListItem* getItemFocused() const;
    int getSelCount() const;
    TListItem* getTopItem() const;
    int getVisibleRowCount() const;
    bool getShowColumnHeaders() const;
    void setShowColumnHeaders(bool v);

    bool hideSelection_ = true;
    QObject* selectionPainter_ = nullptr;  // owned by the table

public:
    explicit TListView(rtl::TComponent* owner);
    ~TListView() override;
    const char* ClassName() const override { return "TListView"; }

    TPart<TListColumns> Columns;
    TPart<TListItems> Items;
    // The custom-draw canvas: read back after OnCustomDrawItem.
    TPart<TCanvas> Canvas;
    // A read-only report of whole rows whose texts come from OnData: the
    // only kind of list view there is.
    TProp<TListView, bool, &TListView::getMultiSelect, &TListView::setMultiSelect> MultiSelect{this};
    TProp<TListView, bool, &TListView::getGridLines, &TListView::setGridLines> GridLines{this};
    // Whether the selected rows lose their highlight while the list has not
    // the focus (true at start).
    TProp<TListView, bool, &TListView::getHideSelection, &TListView::setHideSelection> HideSelection{this};
    // The first selected row (-1 when none); setting selects only that row
    // and focuses it.
    TProp<TListView, int, &TListView::getItemIndex, &TListView::setItemIndex> ItemIndex{this};
    TReadProp<TListView, TListItem*, &TListView::getSelected> Selected{this};
    TReadProp<TListView, TListItem*, &TListView::getItemFocused> ItemFocused{this};
    TReadProp<TListView, int, &TListView::getSelCount> SelCount{this};
    TReadProp<TListView, TListItem*, &TListView::getTopItem> TopItem{this};
    TReadProp<TListView, int, &TListView::getVisibleRowCount> VisibleRowCount{this};
    TProp<TListView, bool, &TListView::getShowColumnHeaders, &TListView::setShowColumnHeaders> ShowColumnHeaders{this};

    void ClearSelection();
    void SelectAll();
    // The next row after Start (from the first row when Start is null) in
    // the given states (isSelected, isFocused; none: any row); null when
    // there is none. Only sdAll is supported, as in a report view.
    TListItem* GetNextItem(TListItem* start, TSearchDirection direction, TItemStates states);
    // Every selected row, in order.
    std::vector<int> SelectedIndexes() const;
    // Repaints rows First..Last, asking OnData for them again.
    void UpdateItems(int first, int last);
    // Horizontal (pixels) and vertical (rows) scroll positions.
    int ScrollPos(bool horizontal) const;
    void Scroll(int dx, int dy);

    TLVOwnerDataEvent OnData;
    TLVColumnClickEvent OnColumnClick;
    TLVColumnRClickEvent OnColumnRightClick;
    TLVCustomDrawItemEvent OnCustomDrawItem;
    // A row became selected or unselected, by the user or the program; the
    // item is the scratch item of that row.
    TLVSelectItemEvent OnSelectItem;

protected:
    TColor DefaultColor() const override { return clWindow; }
    void FontChanged() override;

private:
    friend class TListColumn;
    friend class TListColumns;
    friend class TListItem;
    friend class TListItems;
    friend struct TListViewPrivate;
};

// The width of a vertical scroll bar, as lists and memos draw it.
int ScrollBarWidth();

// ------------------------------------------------------------ rich edit

class TRichEdit;
struct TRichEditPrivate;

// The font's plain underline, or a wavy one in a colour of its own (how a
// misspelt word is marked).
enum TUnderlineStyle { usNone, usSingle, usWave };

// The character attributes of a rich edit's selection (or, with no
// selection, of what is typed next), or its default attributes.
class TTextAttributes {
    TColor getColor() const;
    void setColor(TColor v);
    std::string getName() const;
    void setName(std::string v);
    int getSize() const;
    void setSize(int v);
    int getHeight() const;
    void setHeight(int v);
    TFontStyles getStyle() const;
    void setStyle(TFontStyles v);
    TUnderlineStyle getUnderlineStyle() const;
    void setUnderlineStyle(TUnderlineStyle v);
    TColor getUnderlineColor() const;
    void setUnderlineColor(TColor v);

    void apply(const QTextCharFormat& f);

    TRichEdit* edit_;
    bool defaults_;

public:
    TTextAttributes(TRichEdit* edit, bool defaults) : edit_(edit), defaults_(defaults) {}
    TTextAttributes(const TTextAttributes&) = delete;
    TProp<TTextAttributes, TColor, &TTextAttributes::getColor, &TTextAttributes::setColor> Color{this};
    TProp<TTextAttributes, std::string, &TTextAttributes::getName, &TTextAttributes::setName> Name{this};
    TProp<TTextAttributes, int, &TTextAttributes::getSize, &TTextAttributes::setSize> Size{this};
    TProp<TTextAttributes, int, &TTextAttributes::getHeight, &TTextAttributes::setHeight> Height{this};
    TProp<TTextAttributes, TFontStyles, &TTextAttributes::getStyle, &TTextAttributes::setStyle> Style{this};
    TProp<TTextAttributes, TUnderlineStyle, &TTextAttributes::getUnderlineStyle, &TTextAttributes::setUnderlineStyle>
        UnderlineStyle{this};
    // clDefault: the text's colour.
    TProp<TTextAttributes, TColor, &TTextAttributes::getUnderlineColor, &TTextAttributes::setUnderlineColor>
        UnderlineColor{this};
    void Assign(const TFont& font);
};

// A memo whose characters carry colours and fonts. Positions, lines and
// the edit messages work as in a memo (bytes, CR LF); EM_CHARFROMPOS and
// EM_POSFROMCHAR take the rich-edit forms (points by address), and the
// event mask (EM_SETEVENTMASK) governs OnChange (ENM_CHANGE) and
// OnSelectionChange (ENM_SELCHANGE). Colouring never counts as a change.
// The control keeps no undo history of its own: formatting would fill it.
class TRichEdit : public TCustomMemo {
    bool getPlainText() const { return plainText_; }
    void setPlainText(bool v) { plainText_ = v; }
    bool plainText_ = false;
    TTextAttributes selAttributes_{this, false};
    TTextAttributes defAttributes_{this, true};
    std::unique_ptr<TRichEditPrivate> r_;

public:
    explicit TRichEdit(rtl::TComponent* owner);
    ~TRichEdit() override;
    const char* ClassName() const override { return "TRichEdit"; }

    TPart<TTextAttributes> SelAttributes{&selAttributes_};
    TPart<TTextAttributes> DefAttributes{&defAttributes_};
    TProp<TRichEdit, bool, &TRichEdit::getPlainText, &TRichEdit::setPlainText> PlainText{this};
    // The printable area in printer pixels; empty means the whole page.
    TRect PageRect;
    // Prints the whole text on the printer (printers.h) as a document of
    // that title.
    void Print(const std::string& caption);
    // Wavy underlines in Color over the byte ranges [first, second) of line
    // Line (offsets into the line's UTF-8 text), in place of the line's
    // earlier wavy ones; the font's plain underline and the colours stay.
    // Like colouring, no change of the text and nothing for a history.
    void SetLineUnderlines(int Line, const std::vector<std::pair<int64_t, int64_t>>& Ranges, TColor Color);
    // The first and the last line at least partly in view.
    void VisibleLines(int& First, int& Last) const;
    // Asks for ViewChanged once the events of the moment are done.
    void ViewChangedLater();

    rtl::TNotifyEvent OnSelectionChange;

protected:
    bool RichMessages() const override { return true; }
    void SelectionChanged() override;
    // Lines [First, First + Count) are new or changed, and the lines after
    // them moved by Delta. Told while the text changes: change nothing here.
    virtual void LinesChanged(int First, int Count, int Delta) {}
    // What is in view may differ (the text, the caret, the scroll position,
    // the size or the focus changed): told once the event that changed it
    // is done, once for several.
    virtual void ViewChanged() {}

private:
    friend class TTextAttributes;
    friend struct TRichEditPrivate;
};

// ------------------------------------------------------------ status bar

class TStatusBar;

class TStatusPanel {
    std::string getText() const { return text_; }
    void setText(std::string v);
    int getWidth() const { return width_; }
    void setWidth(int v);
    TAlignment getAlignment() const { return alignment_; }
    void setAlignment(TAlignment v);

    QLabel* label_;
    std::string text_;
    int width_ = 50;
    bool last_ = false;  // the last panel fills the rest of the bar
    TAlignment alignment_ = taLeftJustify;

public:
    explicit TStatusPanel(QLabel* label) : label_(label) {}
    TStatusPanel(const TStatusPanel&) = delete;
    TProp<TStatusPanel, std::string, &TStatusPanel::getText, &TStatusPanel::setText> Text{this};
    TProp<TStatusPanel, int, &TStatusPanel::getWidth, &TStatusPanel::setWidth> Width{this};
    TProp<TStatusPanel, TAlignment, &TStatusPanel::getAlignment, &TStatusPanel::setAlignment> Alignment{this};

private:
    friend class TStatusPanels;
};

class TStatusPanels {
    int getCount() const { return static_cast<int>(panels_.size()); }
    TStatusBar* bar_;
    std::vector<std::unique_ptr<TStatusPanel>> panels_;

public:
    explicit TStatusPanels(TStatusBar* bar) : bar_(bar) {}
    TStatusPanels(const TStatusPanels&) = delete;
    TStatusPanel* Add();
    void Clear();
    TReadProp<TStatusPanels, int, &TStatusPanels::getCount> Count{this};
    TStatusPanel* Items(int index) const;
    TStatusPanel* operator[](int index) const { return Items(index); }
};

// Panels side by side at the bottom of a window (aligned to the bottom).
class TStatusBar : public TWinControl {
    TStatusPanels panels_{this};
    bool getSimplePanel() const { return simplePanel_; }
    void setSimplePanel(bool v);
    std::string getSimpleText() const { return simpleText_; }
    void setSimpleText(std::string v);
    bool simplePanel_ = false;
    std::string simpleText_;

public:
    explicit TStatusBar(rtl::TComponent* owner);
    const char* ClassName() const override { return "TStatusBar"; }
    TPart<TStatusPanels> Panels{&panels_};
    TProp<TStatusBar, bool, &TStatusBar::getSimplePanel, &TStatusBar::setSimplePanel> SimplePanel{this};
    TProp<TStatusBar, std::string, &TStatusBar::getSimpleText, &TStatusBar::setSimpleText> SimpleText{this};

private:
    friend class TStatusPanels;
};

// --------------------------------------------------------------- up-down

enum TUDBtnType { btNext, btPrev };
using TUDClickEvent = std::function<void(rtl::TObject* Sender, TUDBtnType Button)>;

// Two arrow buttons that step Position between Min and Max and write it
// into the associated edit, which the up-down sits beside.
class TUpDown : public TWinControl {
    int getMin() const { return min_; }
    void setMin(int v);
    int getMax() const { return max_; }
    void setMax(int v);
    int getPosition() const { return position_; }
    void setPosition(int v);
    int getIncrement() const { return increment_; }
    void setIncrement(int v) { increment_ = v; }
    bool getWrap() const { return wrap_; }
    void setWrap(bool v) { wrap_ = v; }
    bool getThousands() const { return thousands_; }
    void setThousands(bool v);
    bool getArrowKeys() const { return arrowKeys_; }
    void setArrowKeys(bool v) { arrowKeys_ = v; }
    TWinControl* getAssociate() const { return associate_; }
    void setAssociate(TWinControl* v);

    int min_ = 0, max_ = 100, position_ = 0, increment_ = 1;
    bool wrap_ = false, thousands_ = false, arrowKeys_ = true;
    TWinControl* associate_ = nullptr;
    QObject* keyFilter_ = nullptr;  // the associate's key filter, a child of our widget
    void showPosition();

public:
    explicit TUpDown(rtl::TComponent* owner);
    ~TUpDown() override;
    const char* ClassName() const override { return "TUpDown"; }
    TProp<TUpDown, int, &TUpDown::getMin, &TUpDown::setMin> Min{this};
    TProp<TUpDown, int, &TUpDown::getMax, &TUpDown::setMax> Max{this};
    // Setting Position raises no OnClick.
    TProp<TUpDown, int, &TUpDown::getPosition, &TUpDown::setPosition> Position{this};
    TProp<TUpDown, int, &TUpDown::getIncrement, &TUpDown::setIncrement> Increment{this};
    // Past Max goes on at Min and below Min at Max, instead of stopping.
    TProp<TUpDown, bool, &TUpDown::getWrap, &TUpDown::setWrap> Wrap{this};
    // Digit grouping of the number in the associate ("1,000"); off.
    TProp<TUpDown, bool, &TUpDown::getThousands, &TUpDown::setThousands> Thousands{this};
    // Up and Down in the associate press the buttons.
    TProp<TUpDown, bool, &TUpDown::getArrowKeys, &TUpDown::setArrowKeys> ArrowKeys{this};
    TProp<TUpDown, TWinControl*, &TUpDown::getAssociate, &TUpDown::setAssociate> Associate{this};
    // What a press of a button does: steps, then raises OnClick.
    void Step(TUDBtnType button);
    TUDClickEvent OnClick;

protected:
    void Notification(rtl::TComponent* component, rtl::TOperation op) override;
};

// ---------------------------------------------------------- page control

class TPageControl;

class TTabSheet : public TWinControl {
    std::string getCaption() const { return caption_; }
    void setCaption(std::string v);
    TPageControl* getPageControl() const { return pageControl_; }
    void setPageControl(TPageControl* v);
    std::string caption_;
    TPageControl* pageControl_ = nullptr;

public:
    explicit TTabSheet(rtl::TComponent* owner);
    ~TTabSheet() override;
    const char* ClassName() const override { return "TTabSheet"; }
    TProp<TTabSheet, std::string, &TTabSheet::getCaption, &TTabSheet::setCaption> Caption{this};
    TProp<TTabSheet, TPageControl*, &TTabSheet::getPageControl, &TTabSheet::setPageControl> PageControl{this};
    int PageIndex() const;
    void SetParent(TWinControl* parent) override;
};

class TPageControl : public TWinControl {
    TTabSheet* getActivePage() const;
    void setActivePage(TTabSheet* v);
    int getActivePageIndex() const;
    void setActivePageIndex(int v);
    int getPageCount() const { return static_cast<int>(pages_.size()); }
    std::vector<TTabSheet*> pages_;
    int quiet_ = 0;

public:
    explicit TPageControl(rtl::TComponent* owner);
    const char* ClassName() const override { return "TPageControl"; }
    // Setting the page raises no OnChange; the user's choice does.
    TProp<TPageControl, TTabSheet*, &TPageControl::getActivePage, &TPageControl::setActivePage> ActivePage{this};
    TProp<TPageControl, int, &TPageControl::getActivePageIndex, &TPageControl::setActivePageIndex> ActivePageIndex{this};
    TReadProp<TPageControl, int, &TPageControl::getPageCount> PageCount{this};
    TTabSheet* Pages(int index) const;
    rtl::TNotifyEvent OnChange;

private:
    friend class TTabSheet;
    void insertPage(TTabSheet* page);
    void removePage(TTabSheet* page);
};

}  // namespace ui
