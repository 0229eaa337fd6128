// The custom dictionary dialogs: the list, the new-name prompt and the
// three-page editor.
#include "spell/lx3customdialogs.h"

#include <functional>
#include <memory>

#include "platform/rtl/sysutils.h"
#include "platform/ui/prompter.h"
#include "spell/lx3configdialog.h"
#include "spell/lx3dialogs_p.h"
#include "spell/lxcodepage.h"

namespace spell {

using detail::CentredOn;
using detail::TFilling;

namespace {

// The file-name part of what the user typed, whichever separator it uses.
std::string namePart(const std::string& text) {
    const size_t at = text.find_last_of("/\\");
    return at == std::string::npos ? text : text.substr(at + 1);
}

// Exact (case-sensitive) row of Text in a list; -1 when absent.
int exactRow(ui::TStrings& items, const std::string& text) {
    for (int i = 0; i < items.Count(); ++i)
        if (items[i] == text) return i;
    return -1;
}

// Words are kept in the dictionary's 8-bit code page; the controls show
// UTF-8. A word with a character the page lacks cannot be stored.
std::string shown(const std::string& word) { return Utf8FromCp1252(word); }
bool stored(const std::string& text, std::string& word) { return Cp1252FromUtf8(text, word); }

ui::TButton* makeButton(rtl::TComponent* owner, ui::TWinControl* parent, int left, int top, int width = 75) {
    auto* b = new ui::TButton(owner);
    b->Parent = parent;
    b->SetBounds(left, top, width, 23);
    return b;
}

ui::TLabel* makeLabel(rtl::TComponent* owner, ui::TWinControl* parent, int left, int top, int width, int height) {
    auto* l = new ui::TLabel(owner);
    l->Parent = parent;
    l->SetBounds(left, top, width, height);
    return l;
}

}  // namespace

// ================================================================ the list

TCustomDictionariesDialog::TCustomDictionariesDialog(rtl::TComponent* Owner) : ui::TForm(Owner) {
    BorderStyle = ui::bsDialog;
    Position = CentredOn(Owner);
    SetBounds(0, 0, 312, 206);

    CustomGroup = new ui::TGroupBox(this);
    CustomGroup->Parent = this;
    CustomGroup->SetBounds(8, 8, 297, 161);
    CustomDictionaries = new ui::TCheckListView(this);
    CustomDictionaries->Parent = CustomGroup;
    CustomDictionaries->SetBounds(8, 16, 201, 137);
    CustomDictionaries->ReadOnly = false;
    CustomDictionaries->OnSelectItem = [this](rtl::TObject*, int Row, bool Selected) {
        CustomDictionariesSelectItem(Row, Selected);
    };
    CustomDictionaries->OnItemChecked = [this](rtl::TObject*, int Row) { CustomDictionariesItemChecked(Row); };
    CustomDictionaries->OnEditing = [this](rtl::TObject*, int Row, bool& Allow) {
        CustomDictionariesEditing(Row, Allow);
    };
    CustomDictionaries->OnEdited = [this](rtl::TObject*, int Row, const std::string& Text, bool& Accept) {
        CustomDictionariesEdited(Row, Text, Accept);
    };
    EditButton = makeButton(this, CustomGroup, 214, 16);
    EditButton->OnClick = [this](rtl::TObject* s) { EditButtonClick(s); };
    DeleteButton = makeButton(this, CustomGroup, 214, 43);
    DeleteButton->OnClick = [this](rtl::TObject* s) { DeleteButtonClick(s); };
    NewButton = makeButton(this, CustomGroup, 214, 70);
    NewButton->OnClick = [this](rtl::TObject* s) { NewButtonClick(s); };
    HelpButton = makeButton(this, this, 149, 176);
    OK = makeButton(this, this, 230, 176);
    OK->Default = true;
    OK->ModalResult = ui::mrOk;
    DialogControl = new TConfigurationDialogCtrl(this);
    DialogControl->OnConfigurationAvailable = [this] { Fill(); };
}

void TCustomDictionariesDialog::Fill() {
    TLexiroConfig* config = DialogControl->Configuration();
    if (!config) return;
    const TFilling filling(filling_);
    Caption = DialogControl->GetString(lsDictionaries);
    CustomGroup->Caption = DialogControl->GetString(lsDlgCustomDictionaries);
    EditButton->Caption = DialogControl->GetString(lsDlgEdit);
    DeleteButton->Caption = DialogControl->GetString(lsDlgDelete);
    NewButton->Caption = DialogControl->GetString(lsDlgNew);
    HelpButton->Caption = DialogControl->GetString(lsDlgHelp);
    OK->Caption = DialogControl->GetString(lsDlgOK);
    HelpButton->Visible =
        HasCommand(DialogControl->ReadCommandsVisible(), sdcHelp) && DialogControl->ReadHelpCtxDictionariesDialog() != 0;
    HelpButton->Enabled = HasCommand(DialogControl->ReadCommandsEnabled(), sdcHelp);
    EditButton->Enabled = false;
    DeleteButton->Enabled = false;

    entries_.clear();
    CustomDictionaries->Clear();
    auto addRow = [this](const std::string& caption, const TListEntry& entry) {
        const int row = CustomDictionaries->AddItem(caption);
        CustomDictionaries->Checked[row] = entry.Checked;
        entries_.push_back(entry);
    };
    TCustomDictionary* internal = DialogControl->ReadInternalCustom();
    if (internal && HasCommand(DialogControl->ReadCommandsVisible(), sdcInternalEdit) &&
        (internal->IgnoreCount() > 0 || internal->AutoCorrectCount() > 0)) {
        TListEntry e;
        e.Internal = true;
        addRow(DialogControl->GetString(lsIgnoreAllChangeAll), e);
    }
    const std::vector<std::string> available = DialogControl->ReadAvailableCustom();
    const TLxConfigList& listed = config->ReadCustomDictionaries();
    for (const auto& name : available) {
        const std::string caption = rtl::ExtractFileName(name);
        TListEntry e;
        e.Checked = false;
        e.Name = name;
        // The configuration may list it with a folder or with variables.
        for (const auto& item : listed.Items()) {
            const std::string expanded = DialogControl->ExpandVars(item);
            if (item == name || expanded == name || rtl::ExtractFileName(expanded) == caption) {
                e.Checked = true;
                e.Name = item;
                break;
            }
        }
        e.Renameable = e.Name == caption;
        addRow(caption, e);
    }
}

int TCustomDictionariesDialog::rowOf(const std::string& Caption) const {
    for (int i = 0; i < CustomDictionaries->Count(); ++i)
        if (!entries_[static_cast<size_t>(i)].Internal && CustomDictionaries->Caption(i) == Caption) return i;
    return -1;
}

void TCustomDictionariesDialog::select(int Row) {
    CustomDictionaries->ItemIndex = Row;
    CustomDictionariesSelectItem(Row, Row >= 0);
}

void TCustomDictionariesDialog::CustomDictionariesSelectItem(int, bool) {
    const int row = CustomDictionaries->ItemIndex;
    const bool any = row >= 0 && row < static_cast<int>(entries_.size());
    EditButton->Enabled = any;
    DeleteButton->Enabled = any && !entries_[static_cast<size_t>(row)].Internal;
}

void TCustomDictionariesDialog::CustomDictionariesItemChecked(int Row) {
    if (filling_ > 0 || Row < 0 || Row >= static_cast<int>(entries_.size())) return;
    TListEntry& e = entries_[static_cast<size_t>(Row)];
    const bool checked = CustomDictionaries->Checked[Row];
    if (e.Internal) {
        // Words of Ignore All / Change All always count.
        CustomDictionaries->Checked[Row] = true;
        return;
    }
    if (checked == e.Checked) return;
    e.Checked = checked;
    select(Row);
    DialogControl->EnableCustomDictionary(e.Name, checked);
}

void TCustomDictionariesDialog::CustomDictionariesEditing(int Row, bool& AllowEdit) {
    AllowEdit = Row >= 0 && Row < static_cast<int>(entries_.size()) && entries_[static_cast<size_t>(Row)].Renameable &&
                !entries_[static_cast<size_t>(Row)].Internal;
}

void TCustomDictionariesDialog::CustomDictionariesEdited(int Row, const std::string& Text, bool& Accept) {
    TListEntry& e = entries_[static_cast<size_t>(Row)];
    // A failed rename puts the old caption back.
    Accept = DialogControl->RenameCustomDictionary(e.Name, Text);
    if (!Accept) return;
    // Listed as the file is now called.
    e.Name = rtl::ChangeFileExt(Text, ".lxu");
    CustomDictionaries->SetCaption(Row, e.Name);
}

void TCustomDictionariesDialog::DeleteButtonClick(rtl::TObject*) {
    const int row = CustomDictionaries->ItemIndex;
    if (row < 0 || row >= static_cast<int>(entries_.size()) || entries_[static_cast<size_t>(row)].Internal) return;
    if (ui::MessageDlg(DialogControl->GetString(lsRemoveCustomDict), ui::mtWarning, ui::mbYesNo,
                       DialogControl->GetString(lsConfirmation)) != ui::mrYes)
        return;
    DialogControl->RemoveCustomDictionary(entries_[static_cast<size_t>(row)].Name);
    Fill();
}

void TCustomDictionariesDialog::NewButtonClick(rtl::TObject*) {
    std::string typed;
    {
        const auto prompt = std::make_unique<TNewCustomDictionary>(this);
        prompt->DialogControl->WriteLexiroSpell(DialogControl->LexiroSpell());
        if (prompt->ShowModal() != ui::mrOk) return;
        typed = namePart(prompt->NameEdit->Text());
    }
    if (typed.empty()) return;
    const std::string name = rtl::ChangeFileExt(typed, ".lxu");
    int row = rowOf(name);
    if (row < 0) {
        if (!DialogControl->CreateNewCustomDictionary(name)) return;
        Fill();
        row = rowOf(name);
    }
    select(row);
    CustomDictionaries->SetFocus();
}

void TCustomDictionariesDialog::EditButtonClick(rtl::TObject*) {
    const int row = CustomDictionaries->ItemIndex;
    if (row < 0 || row >= static_cast<int>(entries_.size())) return;
    const TListEntry& e = entries_[static_cast<size_t>(row)];
    if (e.Internal) {
        DialogControl->EditCustomDictionary(DialogControl->ReadInternalCustom());
        return;
    }
    const auto dictionary = DialogControl->GetCustomDictionary(e.Name);
    if (dictionary) DialogControl->EditCustomDictionary(dictionary.get());
}

// ============================================================ the prompt

TNewCustomDictionary::TNewCustomDictionary(rtl::TComponent* Owner) : ui::TForm(Owner) {
    BorderStyle = ui::bsDialog;
    Position = CentredOn(Owner);
    SetBounds(0, 0, 231, 102);
    EditLabel = makeLabel(this, this, 8, 16, 217, 16);
    NameEdit = new ui::TEdit(this);
    NameEdit->Parent = this;
    NameEdit->SetBounds(8, 40, 217, 21);
    OKButton = makeButton(this, this, 70, 72);
    OKButton->Default = true;
    OKButton->ModalResult = ui::mrOk;
    CancelButton = makeButton(this, this, 150, 72);
    CancelButton->Cancel = true;
    CancelButton->ModalResult = ui::mrCancel;
    ActiveControl = NameEdit;
    DialogControl = new TConfigurationDialogCtrl(this);
    DialogControl->OnConfigurationAvailable = [this] {
        Caption = DialogControl->GetString(lsNewCustomTitle);
        EditLabel->Caption = DialogControl->GetString(lsDlgNewCustom);
        OKButton->Caption = DialogControl->GetString(lsDlgOK);
        CancelButton->Caption = DialogControl->GetString(lsDlgCancel);
    };
}

// ============================================================ the editor

// The added-words and excluded-words pages work alike on their own kind of
// word.
struct TCustomDictionaryEditDialog::TWordPage {
    ui::TTabSheet* sheet;
    ui::TEdit* edit;
    ui::TListBox* list;
    ui::TButton* add;
    ui::TButton* del;
    std::function<bool(const std::string&)> exists, store, remove, otherKind;
    std::function<int()> count;
    std::function<std::string(int)> word;
};

TCustomDictionaryEditDialog::TCustomDictionaryEditDialog(rtl::TComponent* Owner) : ui::TForm(Owner) {
    BorderStyle = ui::bsDialog;
    Position = CentredOn(Owner);
    SetBounds(0, 0, 314, 333);
    DialogControl = new TConfigurationDialogCtrl(this);
    DialogControl->OnCustomDictionaryAvailable = [this] { build(); };
}

// The pages, their texts and what each shows depend on the dictionary, so
// they are made once the mediator has it.
void TCustomDictionaryEditDialog::build() {
    if (dictionary_ || !DialogControl->CustomDictionary()) return;
    dictionary_ = DialogControl->CustomDictionary();
    TCustomDictionary& Dictionary = *dictionary_;
    const bool internal = &Dictionary == DialogControl->ReadInternalCustom();
    auto text = [this](TSpellLanguageString id) { return DialogControl->GetString(id); };

    PageControl = new ui::TPageControl(this);
    PageControl->Parent = this;
    PageControl->SetBounds(0, 0, 313, 297);
    PageControl->OnChange = [this](rtl::TObject*) { ShowPage(PageControl->ActivePage()); };

    auto makeSheet = [this](const std::string& caption) {
        auto* sheet = new ui::TTabSheet(this);
        sheet->PageControl = PageControl;
        sheet->Caption = caption;
        return sheet;
    };
    auto makeExplain = [this](ui::TTabSheet* sheet, const std::string& caption, int height) {
        ui::TLabel* l = makeLabel(this, sheet, 8, 8, 289, height);
        l->WordWrap = true;
        l->Caption = caption;
        return l;
    };
    auto makeEdit = [this](ui::TTabSheet* sheet, int left, int width) {
        auto* e = new ui::TEdit(this);
        e->Parent = sheet;
        e->SetBounds(left, 64, width, 21);
        return e;
    };
    auto makeList = [this](ui::TTabSheet* sheet, bool sorted) {
        auto* l = new ui::TListBox(this);
        l->Parent = sheet;
        l->SetBounds(8, 91, 209, 170);
        l->Sorted = sorted;
        return l;
    };

    AddedWordsSheet = makeSheet(text(internal ? lsDlgIgnoreAll : lsDlgAddedWords));
    AddedWordsExplain = makeExplain(AddedWordsSheet, text(lsDlgAddedWordsExplanation), 41);
    IgnoreEditLabel = makeLabel(this, AddedWordsSheet, 8, 48, 209, 14);
    IgnoreEditLabel->Caption = text(lsDlgIgnoreThisWord);
    IgnoreEdit = makeEdit(AddedWordsSheet, 8, 209);
    IgnoreList = makeList(AddedWordsSheet, true);
    AddIgnoreButton = makeButton(this, AddedWordsSheet, 224, 64);
    AddIgnoreButton->Caption = text(lsDlgAdd);
    DeleteIgnoreButton = makeButton(this, AddedWordsSheet, 224, 91);
    DeleteIgnoreButton->Caption = text(lsDlgDelete);

    AutoCorrectWordsSheet = makeSheet(text(internal ? lsDlgChangeAll : lsDlgAutoCorrectPairs));
    AutoCorrectWordsExplain = makeExplain(AutoCorrectWordsSheet, text(lsDlgAutoCorrectPairsExplanation), 41);
    ReplaceEditLabel = makeLabel(this, AutoCorrectWordsSheet, 8, 48, 81, 14);
    ReplaceEditLabel->Caption = text(lsDlgReplace);
    WithEditLabel = makeLabel(this, AutoCorrectWordsSheet, 96, 48, 121, 14);
    WithEditLabel->Caption = text(lsDlgWith);
    ReplaceEdit = makeEdit(AutoCorrectWordsSheet, 8, 81);
    WithEdit = makeEdit(AutoCorrectWordsSheet, 96, 121);
    AutoCorrectList = makeList(AutoCorrectWordsSheet, false);
    AddAutoCorrectButton = makeButton(this, AutoCorrectWordsSheet, 224, 64);
    AddAutoCorrectButton->Caption = text(lsDlgAdd);
    DeleteAutoCorrectButton = makeButton(this, AutoCorrectWordsSheet, 224, 91);
    DeleteAutoCorrectButton->Caption = text(lsDlgDelete);

    ExcludedWordsSheet = makeSheet(text(lsDlgExcludedWords));
    ExcludeWordsExplanation = makeExplain(ExcludedWordsSheet, text(lsDlgExcludedWordsExplanation), 39);
    ExcludeEditLabel = makeLabel(this, ExcludedWordsSheet, 8, 48, 209, 14);
    ExcludeEditLabel->Caption = text(lsDlgExcludeThisWord);
    ExcludeEdit = makeEdit(ExcludedWordsSheet, 8, 209);
    ExcludeList = makeList(ExcludedWordsSheet, true);
    AddExcludeButton = makeButton(this, ExcludedWordsSheet, 224, 64);
    AddExcludeButton->Caption = text(lsDlgAdd);
    DeleteExcludeButton = makeButton(this, ExcludedWordsSheet, 224, 91);
    DeleteExcludeButton->Caption = text(lsDlgDelete);

    HelpButton = makeButton(this, this, 150, 304);
    HelpButton->Caption = text(lsDlgHelp);
    HelpButton->Visible = HasCommand(DialogControl->ReadCommandsVisible(), sdcHelp) &&
                          DialogControl->ReadHelpCtxDictionaryEditDialog() != 0;
    HelpButton->Enabled = HasCommand(DialogControl->ReadCommandsEnabled(), sdcHelp);
    OK = makeButton(this, this, 231, 304);
    OK->Caption = text(lsDlgOK);
    OK->ModalResult = ui::mrOk;
    Caption = internal ? text(lsIgnoreAllChangeAllTitle) : rtl::ExtractFileName(Dictionary.Filename());

    TCustomDictionary& d = Dictionary;
    ignorePage_ = std::make_unique<TWordPage>(TWordPage{
        AddedWordsSheet, IgnoreEdit, IgnoreList, AddIgnoreButton, DeleteIgnoreButton,
        [&d](const std::string& w) { return d.IgnoreExists(w); }, [&d](const std::string& w) { return d.AddIgnore(w); },
        [&d](const std::string& w) { return d.RemoveIgnore(w); }, [&d](const std::string& w) { return d.ExcludeExists(w); },
        [&d] { return d.IgnoreCount(); }, [&d](int i) { return d.GetIgnoreWord(i); }});
    excludePage_ = std::make_unique<TWordPage>(TWordPage{
        ExcludedWordsSheet, ExcludeEdit, ExcludeList, AddExcludeButton, DeleteExcludeButton,
        [&d](const std::string& w) { return d.ExcludeExists(w); }, [&d](const std::string& w) { return d.AddExclude(w); },
        [&d](const std::string& w) { return d.RemoveExclude(w); }, [&d](const std::string& w) { return d.IgnoreExists(w); },
        [&d] { return d.ExcludeCount(); }, [&d](int i) { return d.GetExcludeWord(i); }});

    for (TWordPage* page : {ignorePage_.get(), excludePage_.get()}) {
        page->edit->OnChange = [this, page](rtl::TObject*) { wordEditChange(*page); };
        page->edit->OnKeyDown = [this, page](rtl::TObject*, ui::WORD& Key, ui::TShiftState) {
            if (Key != ui::VK_RETURN) return;
            Key = 0;
            if (page->add->Enabled()) addWord(*page);
        };
        page->add->OnClick = [this, page](rtl::TObject*) { addWord(*page); };
        page->del->OnClick = [this, page](rtl::TObject*) { deleteWord(*page); };
        page->list->OnClick = [this, page](rtl::TObject*) {
            const int row = page->list->ItemIndex;
            if (filling_ == 0 && row >= 0) page->edit->Text = (*page->list->Items)[row];
        };
        page->add->Enabled = false;
        page->del->Enabled = false;
    }
    ReplaceEdit->OnChange = [this](rtl::TObject* s) { ReplaceEditChange(s); };
    WithEdit->OnChange = [this](rtl::TObject* s) { WithEditChange(s); };
    ReplaceEdit->OnKeyDown = [this](rtl::TObject*, ui::WORD& Key, ui::TShiftState) {
        if (Key != ui::VK_RETURN) return;
        Key = 0;
        if (!ReplaceEdit->Text().empty()) WithEdit->SetFocus();
    };
    WithEdit->OnKeyDown = [this](rtl::TObject*, ui::WORD& Key, ui::TShiftState) {
        if (Key != ui::VK_RETURN) return;
        Key = 0;
        if (AddAutoCorrectButton->Enabled()) AddAutoCorrectClick(WithEdit);
    };
    AddAutoCorrectButton->OnClick = [this](rtl::TObject* s) { AddAutoCorrectClick(s); };
    DeleteAutoCorrectButton->OnClick = [this](rtl::TObject* s) { DeleteAutoCorrectClick(s); };
    AutoCorrectList->OnClick = [this](rtl::TObject* s) { AutoCorrectListClick(s); };
    AddAutoCorrectButton->Enabled = false;
    DeleteAutoCorrectButton->Enabled = false;

    // Pages the commands leave out go away.
    const TSpellDialogCommands visible = DialogControl->ReadCommandsVisible();
    if (!HasCommand(visible, sdcAddedEdit)) AddedWordsSheet->PageControl = nullptr;
    if (!HasCommand(visible, sdcAutoCorrectEdit)) AutoCorrectWordsSheet->PageControl = nullptr;
    if (!(DialogControl->ReadUseExcludeWords() && !internal && HasCommand(visible, sdcExcludedEdit)))
        ExcludedWordsSheet->PageControl = nullptr;
    if (PageControl->PageCount() > 0) {
        PageControl->ActivePageIndex = 0;
        ShowPage(PageControl->ActivePage());
    }
    if (AddedWordsSheet->PageControl() == PageControl) ActiveControl = IgnoreEdit;
}

void TCustomDictionaryEditDialog::ShowPage(ui::TTabSheet* Page) {
    const TFilling filling(filling_);
    for (TWordPage* page : {ignorePage_.get(), excludePage_.get()}) {
        if (page->sheet != Page || page->list->Items->Count() > 0) continue;
        page->list->Items->BeginUpdate();
        for (int i = 0; i < page->count(); ++i) page->list->Items->Add(shown(page->word(i)));
        page->list->Items->EndUpdate();
    }
    if (Page == AutoCorrectWordsSheet && !pairsFilled_) fillPairs();
}

void TCustomDictionaryEditDialog::fillPairs() {
    pairsFilled_ = true;
    pairs_.clear();
    AutoCorrectList->Items->Clear();
    for (int i = 0; i < dictionary_->AutoCorrectCount(); ++i) {
        std::string word, replacement;
        dictionary_->GetAutoCorrectWord(i, word, replacement);
        pairs_.emplace_back(word, replacement);
        AutoCorrectList->Items->Add(pairRow(word, replacement));
    }
}

std::string TCustomDictionaryEditDialog::pairRow(const std::string& Word, const std::string& Replacement) const {
    return shown(Word) + "  \u2192  " + shown(Replacement);
}

// ------------------------------------------------- added and excluded words

void TCustomDictionaryEditDialog::wordEditChange(TWordPage& Page) {
    std::string word;
    const bool storable = stored(Page.edit->Text(), word);
    if (storable && !word.empty() && Page.exists(word)) {
        Page.add->Enabled = false;
        const int row = exactRow(*Page.list->Items, shown(word));
        {
            const TFilling filling(filling_);
            Page.list->ItemIndex = row;
        }
        Page.del->Enabled = row >= 0;
        return;
    }
    {
        const TFilling filling(filling_);
        Page.list->ItemIndex = -1;
    }
    Page.del->Enabled = false;
    std::string replacement;
    Page.add->Enabled = storable && !word.empty() && !dictionary_->AutoCorrectExists(word, replacement) &&
                        !Page.otherKind(word);
}

void TCustomDictionaryEditDialog::addWord(TWordPage& Page) {
    std::string word;
    if (!stored(Page.edit->Text(), word) || !Page.store(word)) return;
    {
        const TFilling filling(filling_);
        Page.list->Items->Add(shown(word));
    }
    wordEditChange(Page);
}

void TCustomDictionaryEditDialog::deleteWord(TWordPage& Page) {
    const int row = Page.list->ItemIndex;
    if (row < 0) return;
    std::string word;
    if (!stored((*Page.list->Items)[row], word) || !Page.remove(word)) return;
    const TFilling filling(filling_);
    Page.list->Items->Delete(row);
    const int count = Page.list->Items->Count();
    Page.list->ItemIndex = row < count ? row : count - 1;
    Page.del->Enabled = Page.list->ItemIndex() >= 0;
    Page.add->Enabled = false;
}

void TCustomDictionaryEditDialog::IgnoreEditChange(rtl::TObject*) { wordEditChange(*ignorePage_); }
void TCustomDictionaryEditDialog::AddIgnoreClick(rtl::TObject*) { addWord(*ignorePage_); }
void TCustomDictionaryEditDialog::DeleteIgnoreClick(rtl::TObject*) { deleteWord(*ignorePage_); }
void TCustomDictionaryEditDialog::ExcludeEditChange(rtl::TObject*) { wordEditChange(*excludePage_); }
void TCustomDictionaryEditDialog::AddExcludeClick(rtl::TObject*) { addWord(*excludePage_); }
void TCustomDictionaryEditDialog::DeleteExcludeClick(rtl::TObject*) { deleteWord(*excludePage_); }

// ------------------------------------------------------ auto-correct pairs

void TCustomDictionaryEditDialog::ReplaceEditChange(rtl::TObject*) {
    if (filling_ > 0) return;
    if (!pairsFilled_) fillPairs();
    std::string word, with, replacement;
    const bool storable = stored(ReplaceEdit->Text(), word) && stored(WithEdit->Text(), with);
    if (storable && !word.empty() && dictionary_->AutoCorrectExists(word, replacement)) {
        AddAutoCorrectButton->Enabled = false;
        int row = -1;
        for (size_t i = 0; i < pairs_.size(); ++i)
            if (pairs_[i].first == word) row = static_cast<int>(i);
        {
            const TFilling filling(filling_);
            AutoCorrectList->ItemIndex = row;
        }
        DeleteAutoCorrectButton->Enabled = row >= 0;
        return;
    }
    {
        const TFilling filling(filling_);
        AutoCorrectList->ItemIndex = -1;
    }
    DeleteAutoCorrectButton->Enabled = false;
    AddAutoCorrectButton->Enabled = storable && !word.empty() && !with.empty() && !dictionary_->IgnoreExists(word) &&
                                    !dictionary_->ExcludeExists(word);
}

void TCustomDictionaryEditDialog::WithEditChange(rtl::TObject* Sender) {
    if (filling_ > 0) return;
    const int row = AutoCorrectList->ItemIndex;
    std::string word, with, replacement;
    if (row >= 0 && stored(ReplaceEdit->Text(), word) && stored(WithEdit->Text(), with) &&
        dictionary_->AutoCorrectExists(word, replacement)) {
        // Editing the replacement of a listed pair changes that pair.
        if (with.empty() || with == replacement) return;
        if (!dictionary_->RemoveAutoCorrect(word)) return;
        if (!dictionary_->AddAutoCorrect(word, with)) {
            dictionary_->AddAutoCorrect(word, replacement);
            return;
        }
        pairs_[static_cast<size_t>(row)].second = with;
        const TFilling filling(filling_);
        AutoCorrectList->Items->Strings[row] = pairRow(word, with);
        AutoCorrectList->ItemIndex = row;
        return;
    }
    ReplaceEditChange(Sender);
}

void TCustomDictionaryEditDialog::AddAutoCorrectClick(rtl::TObject* Sender) {
    std::string word, with;
    if (!stored(ReplaceEdit->Text(), word) || !stored(WithEdit->Text(), with) || with.empty()) return;
    if (!pairsFilled_) fillPairs();
    if (!dictionary_->AddAutoCorrect(word, with)) return;
    pairs_.emplace_back(word, with);
    {
        const TFilling filling(filling_);
        AutoCorrectList->Items->Add(pairRow(word, with));
    }
    ReplaceEditChange(Sender);
}

void TCustomDictionaryEditDialog::DeleteAutoCorrectClick(rtl::TObject*) {
    const int row = AutoCorrectList->ItemIndex;
    if (row < 0 || row >= static_cast<int>(pairs_.size())) return;
    if (!dictionary_->RemoveAutoCorrect(pairs_[static_cast<size_t>(row)].first)) return;
    pairs_.erase(pairs_.begin() + row);
    const TFilling filling(filling_);
    AutoCorrectList->Items->Delete(row);
    const int count = AutoCorrectList->Items->Count();
    AutoCorrectList->ItemIndex = row < count ? row : count - 1;
    DeleteAutoCorrectButton->Enabled = AutoCorrectList->ItemIndex() >= 0;
    AddAutoCorrectButton->Enabled = false;
    AutoCorrectList->SetFocus();
}

void TCustomDictionaryEditDialog::AutoCorrectListClick(rtl::TObject* Sender) {
    if (filling_ > 0) return;
    const int row = AutoCorrectList->ItemIndex;
    if (row < 0 || row >= static_cast<int>(pairs_.size())) {
        ReplaceEditChange(Sender);
        return;
    }
    {
        const TFilling filling(filling_);
        ReplaceEdit->Text = shown(pairs_[static_cast<size_t>(row)].first);
        WithEdit->Text = shown(pairs_[static_cast<size_t>(row)].second);
    }
    ReplaceEditChange(Sender);
}

// ========================================================== entry points

bool ShowCustomDictionariesDialog(TLexiroSpell3& Spell, ui::TWinControl* Owner) {
    const auto dialog = std::make_unique<TCustomDictionariesDialog>(OwnerForm(Owner));
    Spell.SetupDialogControl(dialog.get(), nullptr);
    return dialog->ShowModal() == ui::mrOk;
}

bool ShowEditCustomDictionaryDialog(TLexiroSpell3& Spell, ui::TWinControl* Owner, TCustomDictionary& Dictionary) {
    const auto dialog = std::make_unique<TCustomDictionaryEditDialog>(OwnerForm(Owner));
    Spell.SetupDialogControl(dialog.get(), &Dictionary);
    return dialog->ShowModal() == ui::mrOk;
}

}  // namespace spell
