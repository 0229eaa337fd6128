#pragma once
// The string grid: a table of texts addressed as Cells[column][row], with
// fixed title rows and columns counted in (row 0 is the title row when
// FixedRows is 1). One fixed row and one fixed column are supported, shown
// as the grid's headers. The editor reports its text to OnGetEditText when
// it opens and every change to OnSetEditText while the user types.
#include <functional>
#include <memory>
#include <string>

#include "platform/ui/controls.h"

namespace ui {

RTL_EXCEPTION_CLASS(EInvalidGridOperation, rtl::Exception);

enum TGridOption : unsigned {
    goFixedVertLine = 1, goFixedHorzLine = 2, goVertLine = 4, goHorzLine = 8, goRangeSelect = 16,
    goRowSizing = 64, goColSizing = 128, goEditing = 1024, goTabs = 2048, goRowSelect = 4096,
    goAlwaysShowEditor = 8192
};
using TGridOptions = unsigned;

using TGetEditEvent = std::function<void(rtl::TObject* Sender, int ACol, int ARow, std::string& Value)>;
using TSetEditEvent = std::function<void(rtl::TObject* Sender, int ACol, int ARow, const std::string& Value)>;

struct TGridPrivate;

class TStringGrid : public TWinControl {
    std::unique_ptr<TGridPrivate> g_;

    int getColCount() const;
    void setColCount(int v);
    int getRowCount() const;
    void setRowCount(int v);
    int getFixedCols() const { return fixedCols_; }
    void setFixedCols(int v);
    int getFixedRows() const { return fixedRows_; }
    void setFixedRows(int v);
    int getDefaultRowHeight() const;
    void setDefaultRowHeight(int v);
    int getDefaultColWidth() const;
    void setDefaultColWidth(int v);
    int getRow() const;
    void setRow(int v);
    int getCol() const;
    void setCol(int v);
    TGridOptions getOptions() const { return options_; }
    void setOptions(TGridOptions v);
    bool getEditorMode() const;
    void setEditorMode(bool v);
    int getColWidth(int i) const;
    void setColWidth(int i, int v);

    int fixedCols_ = 1, fixedRows_ = 1;
    TGridOptions options_ = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;

public:
    explicit TStringGrid(rtl::TComponent* owner);
    ~TStringGrid() override;
    const char* ClassName() const override { return "TStringGrid"; }

    class TCell {
    public:
        TCell(TStringGrid* g, int c, int r) : g_(g), c_(c), r_(r) {}
        operator std::string() const { return g_->GetCell(c_, r_); }
        std::string operator()() const { return g_->GetCell(c_, r_); }
        TCell& operator=(const std::string& v) {
            g_->SetCell(c_, r_, v);
            return *this;
        }
        TCell& operator=(const TCell& other) { return *this = other(); }
        friend bool operator==(const TCell& a, const std::string& b) { return a() == b; }

    private:
        TStringGrid* g_;
        int c_, r_;
    };
    class TColumnCells {
    public:
        TColumnCells(TStringGrid* g, int c) : g_(g), c_(c) {}
        TCell operator[](int row) const { return TCell(g_, c_, row); }

    private:
        TStringGrid* g_;
        int c_;
    };
    class TCells {
    public:
        explicit TCells(TStringGrid* g) : g_(g) {}
        TCells(const TCells&) = delete;
        TColumnCells operator[](int col) const { return TColumnCells(g_, col); }

    private:
        TStringGrid* g_;
    };

    TCells Cells{this};
    TProp<TStringGrid, int, &TStringGrid::getColCount, &TStringGrid::setColCount> ColCount{this};
    // Rows including the fixed ones; never fewer than FixedRows.
    TProp<TStringGrid, int, &TStringGrid::getRowCount, &TStringGrid::setRowCount> RowCount{this};
    TProp<TStringGrid, int, &TStringGrid::getFixedCols, &TStringGrid::setFixedCols> FixedCols{this};
    TProp<TStringGrid, int, &TStringGrid::getFixedRows, &TStringGrid::setFixedRows> FixedRows{this};
    TProp<TStringGrid, int, &TStringGrid::getDefaultRowHeight, &TStringGrid::setDefaultRowHeight> DefaultRowHeight{this};
    TProp<TStringGrid, int, &TStringGrid::getDefaultColWidth, &TStringGrid::setDefaultColWidth> DefaultColWidth{this};
    // The current cell, in grid coordinates (fixed ones counted).
    TProp<TStringGrid, int, &TStringGrid::getRow, &TStringGrid::setRow> Row{this};
    TProp<TStringGrid, int, &TStringGrid::getCol, &TStringGrid::setCol> Col{this};
    TProp<TStringGrid, TGridOptions, &TStringGrid::getOptions, &TStringGrid::setOptions> Options{this};
    // Whether the current cell's editor is open; closing it keeps the text.
    TProp<TStringGrid, bool, &TStringGrid::getEditorMode, &TStringGrid::setEditorMode> EditorMode{this};
    TIndexedProp<TStringGrid, int, &TStringGrid::getColWidth, &TStringGrid::setColWidth> ColWidths{this};

    // A cell out of range raises EInvalidGridOperation "Grid index out of
    // range".
    std::string GetCell(int col, int row) const;
    void SetCell(int col, int row, const std::string& text);

    TGetEditEvent OnGetEditText;
    TSetEditEvent OnSetEditText;

protected:
    TColor DefaultColor() const override { return clWindow; }

private:
    friend struct TGridPrivate;
    void checkCell(int col, int row) const;
    void reshape(int cols, int rows);
    void refix(int& fixed, int v);
};

}  // namespace ui
