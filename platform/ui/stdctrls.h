#pragma once
// Standard controls: labels, edits, memos, combo boxes, list boxes, check
// list boxes, buttons, check boxes, radio buttons and group boxes.
//
// Positions (SelStart, SelLength, the edit messages) count bytes of the
// control's UTF-8 text, in which every line break is CR LF (two bytes);
// that is the text Text gives. A position inside a character, or between
// the CR and LF of a break, falls back to the character's start (a range's
// end moves on to the character's end). Setting SelStart empties the
// selection; setting SelLength extends it from SelStart.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui/controls.h"
#include "platform/ui/prompter.h"

class QPlainTextEdit;
class QTextDocument;

namespace ui {

// Edit-control messages that Perform understands.
constexpr unsigned WM_SETREDRAW = 0x000B, WM_GETTEXTLENGTH = 0x000E, WM_HSCROLL = 0x0114, WM_VSCROLL = 0x0115;
constexpr unsigned EM_GETSEL = 0x00B0, EM_SETSEL = 0x00B1, EM_LINESCROLL = 0x00B6, EM_SCROLLCARET = 0x00B7,
                   EM_GETLINECOUNT = 0x00BA, EM_LINEINDEX = 0x00BB, EM_LINELENGTH = 0x00C1, EM_REPLACESEL = 0x00C2,
                   EM_GETLINE = 0x00C4, EM_LINEFROMCHAR = 0x00C9, EM_GETFIRSTVISIBLELINE = 0x00CE,
                   EM_SETREADONLY = 0x00CF, EM_POSFROMCHAR = 0x00D6, EM_CHARFROMPOS = 0x00D7,
                   EM_EXLINEFROMCHAR = 0x0436, EM_GETEVENTMASK = 0x043B, EM_SETBKGNDCOLOR = 0x0443,
                   EM_SETEVENTMASK = 0x0445, EM_GETTEXTLENGTHEX = 0x045F;
constexpr unsigned CB_SHOWDROPDOWN = 0x014F, CB_SETEXTENDEDUI = 0x0155, CB_GETEXTENDEDUI = 0x0156,
                   CB_GETDROPPEDSTATE = 0x0157, CB_GETDROPPEDWIDTH = 0x015F, CB_SETDROPPEDWIDTH = 0x0160;
// Scroll-bar requests (low word of WM_VSCROLL / WM_HSCROLL's WParam).
constexpr unsigned SB_LINEUP = 0, SB_LINEDOWN = 1, SB_PAGEUP = 2, SB_PAGEDOWN = 3, SB_THUMBPOSITION = 4,
                   SB_THUMBTRACK = 5, SB_TOP = 6, SB_BOTTOM = 7, SB_ENDSCROLL = 8;
// Rich-edit event mask bits.
constexpr uint32_t ENM_CHANGE = 0x1, ENM_UPDATE = 0x2, ENM_SCROLL = 0x4, ENM_KEYEVENTS = 0x10000,
                   ENM_MOUSEEVENTS = 0x20000, ENM_SELCHANGE = 0x80000;

inline WPARAM MAKEWPARAM(unsigned lo, unsigned hi) { return (lo & 0xFFFF) | ((static_cast<WPARAM>(hi) & 0xFFFF) << 16); }
inline unsigned LOWORD(uintptr_t v) { return v & 0xFFFF; }
inline unsigned HIWORD(uintptr_t v) { return (v >> 16) & 0xFFFF; }

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// ---------------------------------------------------------------- label

class TLabel : public TControl {
    std::string getCaption() const { return caption_; }
    void setCaption(std::string v);
    bool getWordWrap() const;
    void setWordWrap(bool v);
    bool getAutoSize() const { return autoSize_; }
    void setAutoSize(bool v);
    bool getTransparent() const;
    void setTransparent(bool v);
    TAlignment getAlignment() const { return alignment_; }
    void setAlignment(TAlignment v);

    std::string caption_;
    bool autoSize_ = true;
    TAlignment alignment_ = taLeftJustify;
    void fit();

public:
    explicit TLabel(rtl::TComponent* owner);
    const char* ClassName() const override { return "TLabel"; }
    // CR LF, CR or LF in a caption break the line; "&&" shows one "&".
    TProp<TLabel, std::string, &TLabel::getCaption, &TLabel::setCaption> Caption{this};
    TProp<TLabel, bool, &TLabel::getWordWrap, &TLabel::setWordWrap> WordWrap{this};
    TProp<TLabel, bool, &TLabel::getAutoSize, &TLabel::setAutoSize> AutoSize{this};
    TProp<TLabel, bool, &TLabel::getTransparent, &TLabel::setTransparent> Transparent{this};
    TProp<TLabel, TAlignment, &TLabel::getAlignment, &TLabel::setAlignment> Alignment{this};

protected:
    void FontChanged() override;
};

// ----------------------------------------------------------------- edits

// What every edit has: text, selection, read-only state, clipboard work
// and the edit messages.
class TCustomEdit : public TWinControl {
    std::string getText() const { return GetText(); }
    void setText(std::string v) { SetText(v); }
    int getSelStart() const { return GetSelStart(); }
    void setSelStart(int v) { Select(v, 0); }
    int getSelLength() const { return GetSelLength(); }
    void setSelLength(int v) { Select(GetSelStart(), v < 0 ? 0 : v); }
    std::string getSelText() const { return GetSelText(); }
    void setSelText(std::string v) { SetSelText(v); }
    bool getReadOnly() const { return GetReadOnly(); }
    void setReadOnly(bool v) { SetReadOnly(v); }
    int getMaxLength() const { return maxLength_; }
    void setMaxLength(int v);
    bool getModified() const { return GetModified(); }
    void setModified(bool v) { SetModified(v); }

protected:
    int maxLength_ = 0;

public:
    explicit TCustomEdit(rtl::TComponent* owner) : TWinControl(owner) {}
    TProp<TCustomEdit, std::string, &TCustomEdit::getText, &TCustomEdit::setText> Text{this};
    TProp<TCustomEdit, int, &TCustomEdit::getSelStart, &TCustomEdit::setSelStart> SelStart{this};
    TProp<TCustomEdit, int, &TCustomEdit::getSelLength, &TCustomEdit::setSelLength> SelLength{this};
    TProp<TCustomEdit, std::string, &TCustomEdit::getSelText, &TCustomEdit::setSelText> SelText{this};
    TProp<TCustomEdit, bool, &TCustomEdit::getReadOnly, &TCustomEdit::setReadOnly> ReadOnly{this};
    // Characters the user may type; 0 is no limit.
    TProp<TCustomEdit, int, &TCustomEdit::getMaxLength, &TCustomEdit::setMaxLength> MaxLength{this};
    TProp<TCustomEdit, bool, &TCustomEdit::getModified, &TCustomEdit::setModified> Modified{this};

    virtual std::string GetText() const = 0;
    virtual void SetText(const std::string& text) = 0;
    virtual int GetSelStart() const = 0;
    virtual int GetSelLength() const = 0;
    // Selects Length bytes from Start (both clamped), the caret at the end.
    virtual void Select(int64_t start, int64_t length) = 0;
    virtual std::string GetSelText() const = 0;
    // Replaces the selection (or inserts at the caret); the caret follows.
    virtual void SetSelText(const std::string& text) = 0;
    virtual int64_t GetTextLen() const = 0;
    virtual bool GetReadOnly() const = 0;
    virtual void SetReadOnly(bool v) = 0;
    virtual bool GetModified() const = 0;
    virtual void SetModified(bool v) = 0;
    virtual void ScrollCaret() = 0;

    void SelectAll() { Select(0, GetTextLen()); }
    void ClearSelection() { SetSelText(""); }
    void Clear() { SetText(""); }
    virtual void CopyToClipboard() = 0;
    virtual void CutToClipboard() = 0;
    virtual void PasteFromClipboard() = 0;
    virtual void Undo() = 0;

    LRESULT Perform(unsigned msg, WPARAM wParam, LPARAM lParam) override;
    rtl::TNotifyEvent OnChange;

protected:
    TColor DefaultColor() const override { return clWindow; }
    virtual void ApplyMaxLength() = 0;
    void Changed();
};

class TEdit : public TCustomEdit {
    char getPasswordChar() const { return passwordChar_; }
    void setPasswordChar(char v);
    char passwordChar_ = 0;

public:
    explicit TEdit(rtl::TComponent* owner);
    const char* ClassName() const override { return "TEdit"; }
    // Any character but 0 hides what is typed.
    TProp<TEdit, char, &TEdit::getPasswordChar, &TEdit::setPasswordChar> PasswordChar{this};

    std::string GetText() const override;
    void SetText(const std::string& text) override;
    int GetSelStart() const override;
    int GetSelLength() const override;
    void Select(int64_t start, int64_t length) override;
    std::string GetSelText() const override;
    void SetSelText(const std::string& text) override;
    int64_t GetTextLen() const override;
    bool GetReadOnly() const override;
    void SetReadOnly(bool v) override;
    bool GetModified() const override;
    void SetModified(bool v) override;
    void ScrollCaret() override {}
    void CopyToClipboard() override;
    void CutToClipboard() override;
    void PasteFromClipboard() override;
    void Undo() override;

protected:
    void ApplyMaxLength() override;
};

struct TMemoPrivate;

// A multi-line edit. Its lines are the text's lines: Lines, and the edit
// messages that count lines, count the parts between line breaks.
class TCustomMemo : public TCustomEdit {
    std::unique_ptr<TMemoPrivate> m_;  // first: Lines points into it

    bool getWordWrap() const;
    void setWordWrap(bool v);
    TScrollStyle getScrollBars() const;
    void setScrollBars(TScrollStyle v);
    bool getWantTabs() const;
    void setWantTabs(bool v);

public:
    explicit TCustomMemo(rtl::TComponent* owner);
    ~TCustomMemo() override;

    TPart<TStrings> Lines;
    TProp<TCustomMemo, bool, &TCustomMemo::getWordWrap, &TCustomMemo::setWordWrap> WordWrap{this};
    TProp<TCustomMemo, TScrollStyle, &TCustomMemo::getScrollBars, &TCustomMemo::setScrollBars> ScrollBars{this};
    TProp<TCustomMemo, bool, &TCustomMemo::getWantTabs, &TCustomMemo::setWantTabs> WantTabs{this};

    std::string GetText() const override;
    void SetText(const std::string& text) override;
    int GetSelStart() const override;
    int GetSelLength() const override;
    void Select(int64_t start, int64_t length) override;
    std::string GetSelText() const override;
    void SetSelText(const std::string& text) override;
    int64_t GetTextLen() const override;
    bool GetReadOnly() const override;
    void SetReadOnly(bool v) override;
    bool GetModified() const override;
    void SetModified(bool v) override;
    void ScrollCaret() override;
    void CopyToClipboard() override;
    void CutToClipboard() override;
    void PasteFromClipboard() override;
    void Undo() override;

    // Line of byte position Pos (0-based); byte position where Line starts
    // (-1 beyond the last line); number of lines (an empty last line after
    // a final break counts).
    int LineFromChar(int64_t pos) const;
    int64_t LineIndex(int line) const;
    int LineCount() const;
    // The first line at least partly on screen; scrolling by lines and
    // characters.
    int FirstVisibleLine() const;
    void LineScroll(int chars, int lines);
    // Byte position of the character at a client point, and the client
    // point of a byte position's character.
    int64_t CharFromPos(TPoint p) const;
    TPoint PosFromChar(int64_t pos) const;
    // Scroll-bar positions (lines vertically, pixels horizontally), with
    // their full range.
    int ScrollPos(bool horizontal) const;
    void SetScrollPos(bool horizontal, int pos);
    // Stops and restarts repainting (WM_SETREDRAW).
    void SetRedraw(bool on);

    LRESULT Perform(unsigned msg, WPARAM wParam, LPARAM lParam) override;

protected:
    void ApplyMaxLength() override {}
    QPlainTextEdit* Editor() const;
    QTextDocument* Document() const;
    // Formatting changes made between these do not count as text changes.
    void BeginFormat();
    void EndFormat();
    bool InFormat() const;
    // Rich edits report positions in their own message forms and honour the
    // event mask; plain memos do neither.
    virtual bool RichMessages() const { return false; }
    uint32_t EventMask() const;
    void SetEventMask(uint32_t mask);
    virtual void SelectionChanged() {}
    // Widget positions of the current selection, and conversions.
    int CharsOf(int64_t bytes, bool roundUp = false) const;
    int64_t BytesOf(int chars) const;

private:
    friend struct TMemoPrivate;
};

class TMemo : public TCustomMemo {
public:
    explicit TMemo(rtl::TComponent* owner) : TCustomMemo(owner) {}
    const char* ClassName() const override { return "TMemo"; }
};

// --------------------------------------------------------- combo box

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList };

struct TComboPrivate;

class TComboBox : public TWinControl {
    std::string getText() const;
    void setText(std::string v);
    int getItemIndex() const;
    void setItemIndex(int v);
    TComboBoxStyle getStyle() const { return style_; }
    void setStyle(TComboBoxStyle v);
    int getDropDownCount() const;
    void setDropDownCount(int v);
    bool getSorted() const;
    void setSorted(bool v);
    int getMaxLength() const { return maxLength_; }
    void setMaxLength(int v);
    bool getDroppedDown() const;
    void setDroppedDown(bool v);
    int getSelStart() const;
    void setSelStart(int v);
    int getSelLength() const;
    void setSelLength(int v);
    std::string getSelText() const;
    void setSelText(std::string v);

    std::unique_ptr<TComboPrivate> c_;
    TComboBoxStyle style_ = csDropDown;
    int maxLength_ = 0;

public:
    explicit TComboBox(rtl::TComponent* owner);
    ~TComboBox() override;
    const char* ClassName() const override { return "TComboBox"; }

    TPart<TStrings> Items;
    // Setting Text or ItemIndex raises no OnChange: only the user's edits
    // and choices do. While the list is dropped down, ItemIndex is the
    // entry under the highlight.
    TProp<TComboBox, std::string, &TComboBox::getText, &TComboBox::setText> Text{this};
    TProp<TComboBox, int, &TComboBox::getItemIndex, &TComboBox::setItemIndex> ItemIndex{this};
    TProp<TComboBox, TComboBoxStyle, &TComboBox::getStyle, &TComboBox::setStyle> Style{this};
    TProp<TComboBox, int, &TComboBox::getDropDownCount, &TComboBox::setDropDownCount> DropDownCount{this};
    TProp<TComboBox, bool, &TComboBox::getSorted, &TComboBox::setSorted> Sorted{this};
    TProp<TComboBox, int, &TComboBox::getMaxLength, &TComboBox::setMaxLength> MaxLength{this};
    TProp<TComboBox, bool, &TComboBox::getDroppedDown, &TComboBox::setDroppedDown> DroppedDown{this};
    TProp<TComboBox, int, &TComboBox::getSelStart, &TComboBox::setSelStart> SelStart{this};
    TProp<TComboBox, int, &TComboBox::getSelLength, &TComboBox::setSelLength> SelLength{this};
    TProp<TComboBox, std::string, &TComboBox::getSelText, &TComboBox::setSelText> SelText{this};

    void SelectAll();
    // Combo-box messages: drop-down width, the extended keyboard interface
    // (Down opens the list), the dropped-down state.
    LRESULT Perform(unsigned msg, WPARAM wParam, LPARAM lParam) override;

    rtl::TNotifyEvent OnChange;
    rtl::TNotifyEvent OnSelect;
    rtl::TNotifyEvent OnDropDown;
    rtl::TNotifyEvent OnCloseUp;

protected:
    TColor DefaultColor() const override { return clWindow; }

private:
    friend struct TComboPrivate;
};

// ------------------------------------------------------------ list box

struct TListBoxPrivate;

class TListBox : public TWinControl {
    int getItemIndex() const;
    void setItemIndex(int v);
    bool getSelected(int i) const;
    void setSelected(int i, bool v);
    bool getMultiSelect() const { return multiSelect_; }
    void setMultiSelect(bool v);
    bool getExtendedSelect() const { return extendedSelect_; }
    void setExtendedSelect(bool v);
    bool getSorted() const;
    void setSorted(bool v);
    int getTopIndex() const;
    void setTopIndex(int v);
    int getItemHeight() const;
    int getColumns() const { return columns_; }
    void setColumns(int v);
    int getSelCount() const;

    bool multiSelect_ = false, extendedSelect_ = true;
    int columns_ = 0;

protected:
    std::unique_ptr<TListBoxPrivate> l_;
    explicit TListBox(rtl::TComponent* owner, bool checkable);

public:
    explicit TListBox(rtl::TComponent* owner) : TListBox(owner, false) {}
    ~TListBox() override;
    const char* ClassName() const override { return "TListBox"; }

    TPart<TStrings> Items;
    TProp<TListBox, int, &TListBox::getItemIndex, &TListBox::setItemIndex> ItemIndex{this};
    TIndexedProp<TListBox, bool, &TListBox::getSelected, &TListBox::setSelected> Selected{this};
    TProp<TListBox, bool, &TListBox::getMultiSelect, &TListBox::setMultiSelect> MultiSelect{this};
    TProp<TListBox, bool, &TListBox::getExtendedSelect, &TListBox::setExtendedSelect> ExtendedSelect{this};
    TProp<TListBox, bool, &TListBox::getSorted, &TListBox::setSorted> Sorted{this};
    TProp<TListBox, int, &TListBox::getTopIndex, &TListBox::setTopIndex> TopIndex{this};
    TReadProp<TListBox, int, &TListBox::getItemHeight> ItemHeight{this};
    // More than 0 lays the entries out in that many columns, filled top to
    // bottom.
    TProp<TListBox, int, &TListBox::getColumns, &TListBox::setColumns> Columns{this};
    TReadProp<TListBox, int, &TListBox::getSelCount> SelCount{this};
    // For measuring texts in the list's font.
    TCanvas* Canvas();

    // The entry at a client point: -1 off the entries, or, unless Existing,
    // the count below the last one.
    int ItemAtPos(TPoint p, bool existing) const;
    TRect ItemRect(int index) const;
    void ClearSelection();
    void SelectAll();

protected:
    TColor DefaultColor() const override { return clWindow; }
    void FontChanged() override;
};

class TCheckListBox : public TListBox {
    bool getChecked(int i) const;
    void setChecked(int i, bool v);

public:
    explicit TCheckListBox(rtl::TComponent* owner);
    const char* ClassName() const override { return "TCheckListBox"; }
    TIndexedProp<TCheckListBox, bool, &TCheckListBox::getChecked, &TCheckListBox::setChecked> Checked{this};
    // Raised when the user ticks or clears an entry.
    rtl::TNotifyEvent OnClickCheck;
};

// ------------------------------------------------------------- buttons

class TButton : public TWinControl {
    std::string getCaption() const { return caption_; }
    void setCaption(std::string v);
    TModalResult getModalResult() const { return modalResult_; }
    void setModalResult(TModalResult v) { modalResult_ = v; }
    bool getDefault() const { return default_; }
    void setDefault(bool v);
    bool getCancel() const { return cancel_; }
    void setCancel(bool v) { cancel_ = v; }

    std::string caption_;
    TModalResult modalResult_ = mrNone;
    bool default_ = false, cancel_ = false;

public:
    explicit TButton(rtl::TComponent* owner);
    const char* ClassName() const override { return "TButton"; }
    TProp<TButton, std::string, &TButton::getCaption, &TButton::setCaption> Caption{this};
    // Set on the form when the button is clicked, which ends a modal showing.
    TProp<TButton, TModalResult, &TButton::getModalResult, &TButton::setModalResult> ModalResult{this};
    // Enter presses the Default button of a form, Escape its Cancel button.
    TProp<TButton, bool, &TButton::getDefault, &TButton::setDefault> Default{this};
    TProp<TButton, bool, &TButton::getCancel, &TButton::setCancel> Cancel{this};
    void Click() override;
};

enum TBitBtnKind { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll };

class TBitBtn : public TButton {
    TBitBtnKind getKind() const { return kind_; }
    void setKind(TBitBtnKind v);
    TBitBtnKind kind_ = bkCustom;

public:
    explicit TBitBtn(rtl::TComponent* owner) : TButton(owner) {}
    const char* ClassName() const override { return "TBitBtn"; }
    // A kind sets the caption, modal result and Default/Cancel it stands for.
    TProp<TBitBtn, TBitBtnKind, &TBitBtn::getKind, &TBitBtn::setKind> Kind{this};
    void Click() override;
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

class TCheckBox : public TWinControl {
    std::string getCaption() const { return caption_; }
    void setCaption(std::string v);
    bool getChecked() const;
    void setChecked(bool v);
    TCheckBoxState getState() const;
    void setState(TCheckBoxState v);
    bool getAllowGrayed() const;
    void setAllowGrayed(bool v);
    std::string caption_;

public:
    explicit TCheckBox(rtl::TComponent* owner);
    const char* ClassName() const override { return "TCheckBox"; }
    TProp<TCheckBox, std::string, &TCheckBox::getCaption, &TCheckBox::setCaption> Caption{this};
    // Every change of the state raises OnClick, the program's own included.
    TProp<TCheckBox, bool, &TCheckBox::getChecked, &TCheckBox::setChecked> Checked{this};
    TProp<TCheckBox, TCheckBoxState, &TCheckBox::getState, &TCheckBox::setState> State{this};
    TProp<TCheckBox, bool, &TCheckBox::getAllowGrayed, &TCheckBox::setAllowGrayed> AllowGrayed{this};
};

class TRadioButton : public TWinControl {
    std::string getCaption() const { return caption_; }
    void setCaption(std::string v);
    bool getChecked() const;
    void setChecked(bool v);
    std::string caption_;

public:
    explicit TRadioButton(rtl::TComponent* owner);
    const char* ClassName() const override { return "TRadioButton"; }
    TProp<TRadioButton, std::string, &TRadioButton::getCaption, &TRadioButton::setCaption> Caption{this};
    // Becoming checked (by the user or the program) raises OnClick; radio
    // buttons with the same parent exclude each other.
    TProp<TRadioButton, bool, &TRadioButton::getChecked, &TRadioButton::setChecked> Checked{this};
};

class TGroupBox : public TWinControl {
    std::string getCaption() const { return caption_; }
    void setCaption(std::string v);
    std::string caption_;

public:
    explicit TGroupBox(rtl::TComponent* owner);
    const char* ClassName() const override { return "TGroupBox"; }
    TProp<TGroupBox, std::string, &TGroupBox::getCaption, &TGroupBox::setCaption> Caption{this};
};

}  // namespace ui
