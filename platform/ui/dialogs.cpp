#include "platform/ui/dialogs.h"
#include "platform/ui/menus.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontDialog>
#include <QGuiApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "platform/rtl/sysutils.h"
#include "platform/ui/controls_p.h"
#include "platform/ui/forms.h"
#include "platform/ui/printers.h"

namespace ui {

using detail::Q;
using detail::QtColor;
using detail::S;

// ------------------------------------------------------------ answerers

namespace {

// Used until a program or a test installs an answerer: nobody is there to
// answer, so every window and dialog is dismissed at once.
class TDismissingAnswerer : public IAnswerer {
public:
    TModalResult ShowModal(TForm& form) override {
        std::fprintf(stderr, "%s: modal window dismissed (no answerer)\n", form.Caption().c_str());
        return mrCancel;
    }
    bool Execute(TCommonDialog& dialog) override {
        std::fprintf(stderr, "%s: dialog dismissed (no answerer)\n", dialog.ClassName());
        return false;
    }
};

class TQtAnswerer : public IAnswerer {
public:
    TModalResult ShowModal(TForm& form) override {
        form.BeginModal();
        return form.RunModalLoop();
    }
    bool Execute(TCommonDialog& dialog) override { return dialog.RunQt(); }
    TMenuItem* TrackPopup(TPopupMenu& menu, int x, int y) override { return menu.RunQt(x, y); }
};

IAnswerer& dismisser() {
    static TDismissingAnswerer a;
    return a;
}

IAnswerer*& currentAnswerer() {
    static IAnswerer* a = &dismisser();
    return a;
}

QWidget* dialogParent() { return QApplication::activeWindow(); }

}  // namespace

TMenuItem* IAnswerer::TrackPopup(TPopupMenu& menu, int, int) {
    std::fprintf(stderr, "%s: popup menu closed (no answerer)\n", menu.Name.empty() ? menu.ClassName() : menu.Name.c_str());
    return nullptr;
}

IAnswerer& Answerer() { return *currentAnswerer(); }
void SetAnswerer(IAnswerer* answerer) { currentAnswerer() = answerer ? answerer : &dismisser(); }

void UseQtDialogs() {
    static TQtPrompter prompter;
    static TQtAnswerer answerer;
    SetPrompter(&prompter);
    SetAnswerer(&answerer);
    detail::ShareDefaultColormap();  // also for a program that shows only dialogs
}

bool TCommonDialog::Execute() { return Answerer().Execute(*this); }

// ---------------------------------------------------------- TQtPrompter

namespace {

struct ButtonMap {
    TMsgDlgBtn button;
    QMessageBox::StandardButton qt;
    TModalResult result;
};

constexpr ButtonMap kButtons[] = {
    {mbYes, QMessageBox::Yes, mrYes},         {mbNo, QMessageBox::No, mrNo},
    {mbOK, QMessageBox::Ok, mrOk},            {mbCancel, QMessageBox::Cancel, mrCancel},
    {mbAbort, QMessageBox::Abort, mrAbort},   {mbRetry, QMessageBox::Retry, mrRetry},
    {mbIgnore, QMessageBox::Ignore, mrIgnore}};

QMessageBox::Icon iconOf(TMsgDlgType t) {
    static const std::unordered_map<int, QMessageBox::Icon> kIcons = {{mtWarning, QMessageBox::Warning},
                                                                      {mtError, QMessageBox::Critical},
                                                                      {mtInformation, QMessageBox::Information},
                                                                      {mtConfirmation, QMessageBox::Question},
                                                                      {mtCustom, QMessageBox::NoIcon}};
    return kIcons.at(t);
}

}  // namespace

TModalResult TQtPrompter::MessageDlg(const TPrompt& p) {
    QMessageBox box(iconOf(p.type), p.caption.empty() ? QApplication::applicationName() : Q(p.caption),
                    detail::DisplayText(p.text), QMessageBox::NoButton, dialogParent());
    const TModalResult dismissed = DismissResult(p.buttons);
    for (const ButtonMap& b : kButtons) {
        if (!(p.buttons & b.button)) continue;
        QAbstractButton* added = box.addButton(b.qt);
        if (b.result == dismissed) box.setEscapeButton(added);
        if (p.defaultButton == b.button) box.setDefaultButton(static_cast<QPushButton*>(added));
    }
    if (box.buttons().isEmpty()) box.addButton(QMessageBox::Ok);
    box.exec();
    const auto chosen = box.standardButton(box.clickedButton());
    for (const ButtonMap& b : kButtons)
        if (b.qt == chosen) return b.result;
    return dismissed;
}

bool TQtPrompter::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
    QInputDialog dialog(dialogParent());
    dialog.setWindowTitle(Q(caption));
    dialog.setLabelText(detail::DisplayText(prompt));
    dialog.setTextValue(Q(value));
    if (dialog.exec() != QDialog::Accepted) return false;
    value = S(dialog.textValue());
    return true;
}

// ----------------------------------------------------- TScriptedDialogs

TScriptedDialogs::TScriptedDialogs() : previousAnswerer_(&Answerer()) { SetAnswerer(this); }
TScriptedDialogs::~TScriptedDialogs() { SetAnswerer(previousAnswerer_); }

void TScriptedDialogs::QueueModal(TModalResult result) {
    QueueModal([result](TForm&) { return result; });
}

void TScriptedDialogs::QueueDialogResult(bool ok) {
    QueueDialog([ok](TCommonDialog&) { return ok; });
}

TModalResult TScriptedDialogs::ShowModal(TForm& form) {
    modals.push_back(form.Caption);
    form.BeginModal();
    TModalResult result = mrCancel;
    if (modalScripts_.empty()) {
        ++unexpected;
    } else {
        TModalScript script = std::move(modalScripts_.front());
        modalScripts_.pop_front();
        try {
            result = script(form);
        } catch (...) {
            // The window must not stay up modal behind a script that failed.
            form.EndModal(mrCancel);
            throw;
        }
    }
    return form.EndModal(result);
}

TMenuItem* TScriptedDialogs::TrackPopup(TPopupMenu& menu, int, int) {
    ++menusShown;
    if (menuScripts_.empty()) {
        ++unexpected;
        return nullptr;
    }
    TMenuScript script = std::move(menuScripts_.front());
    menuScripts_.pop_front();
    TMenuItem* item = script(menu);
    // A pick clicks the item, as on screen.
    if (item) item->Click();
    return item;
}

bool TScriptedDialogs::Execute(TCommonDialog& dialog) {
    dialogs.push_back(dialog.ClassName());
    if (dialogScripts_.empty()) {
        ++unexpected;
        return false;
    }
    TDialogScript script = std::move(dialogScripts_.front());
    dialogScripts_.pop_front();
    return script(dialog);
}

// -------------------------------------------------------------- dialogs

namespace {

// "Text|*.a;*.b|Other|*.c" as Qt's name filters "Text (*.a *.b)".
QStringList nameFilters(const std::string& filter) {
    QStringList parts = Q(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString masks = parts[i + 1];
        masks.replace(';', ' ');
        out << parts[i] + " (" + masks + ")";
    }
    return out;
}

}  // namespace

namespace {

// The file dialogs' size where the screen has room for it.
const QSize kFileDialogSize(980, 560);

// The detail list's Size, Type and Date as wide as their texts once a folder
// is listed (the widths the dialog kept from an earlier run cut them), the
// name taking the room left.
void fitDetailColumns(QFileDialog& dialog) {
    auto* model = dialog.findChild<QFileSystemModel*>();
    auto* tree = dialog.findChild<QTreeView*>();
    if (!model || !tree) return;
    QObject::connect(model, &QFileSystemModel::directoryLoaded, tree, [tree] {
        QHeaderView* header = tree->header();
        int others = 0;
        for (int c = 1; c < header->count(); ++c) {
            tree->resizeColumnToContents(c);
            header->resizeSection(c, std::max(header->sectionSize(c), header->sectionSizeHint(c)));
            others += header->sectionSize(c);
        }
        tree->resizeColumnToContents(0);
        header->resizeSection(0, std::max(header->sectionSize(0), tree->viewport()->width() - others));
    });
}

}  // namespace

bool TOpenDialog::RunQt() {
    QFileDialog dialog(dialogParent(), Q(Title), Q(InitialDir));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const QStringList filters = nameFilters(Filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        if (FilterIndex >= 1 && FilterIndex <= filters.size()) dialog.selectNameFilter(filters[FilterIndex - 1]);
    }
    dialog.setAcceptMode(Saving() ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(Saving() ? QFileDialog::AnyFile
                                : (Options & ofAllowMultiSelect) ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(Options & ofOverwritePrompt));
    dialog.setDefaultSuffix(Q(DefaultExt));
    if (!FileName.empty()) dialog.selectFile(Q(FileName));
    // Room for the detail list's Size, Type and Date beside long names.
    dialog.setViewMode(QFileDialog::Detail);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect room = screen->availableGeometry();
        dialog.resize(std::min(kFileDialogSize.width(), room.width() * 9 / 10),
                      std::min(kFileDialogSize.height(), room.height() * 9 / 10));
    }
    fitDetailColumns(dialog);
    Decorate(dialog);
    if (dialog.exec() != QDialog::Accepted) return false;
    files_.Clear();
    for (const QString& f : dialog.selectedFiles()) files_.Add(S(f));
    FileName = files_.Count() ? files_[0] : std::string();
    const int chosen = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
    if (chosen >= 0) FilterIndex = chosen + 1;
    return true;
}

TOpenPictureDialog::TOpenPictureDialog(rtl::TComponent* owner) : TOpenDialog(owner) {
    Filter = TPicture::GraphicFilter();
}

std::unique_ptr<TBitmap> TOpenPictureDialog::Preview(const std::string& fileName, int size) {
    TPicture picture;
    picture.LoadFromFile(fileName, size);
    const int w = std::max(1, picture.Width()), h = std::max(1, picture.Height());
    const double scale = std::min(1.0, double(size) / std::max(w, h));
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->PixelFormat = pf32bit;
    bitmap->SetSize(std::max(1, int(w * scale)), std::max(1, int(h * scale)));
    bitmap->Canvas()->StretchDraw(Rect(0, 0, bitmap->GetWidth(), bitmap->GetHeight()), *picture.Graphic());
    return bitmap;
}

void TOpenPictureDialog::Decorate(QFileDialog& dialog) {
    auto* preview = new QLabel(&dialog);
    preview->setMinimumSize(170, 170);
    preview->setAlignment(Qt::AlignCenter);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(preview, 0, grid->columnCount(), grid->rowCount(), 1);
    QObject::connect(&dialog, &QFileDialog::currentChanged, preview, [preview](const QString& path) {
        try {
            const std::unique_ptr<TBitmap> b = Preview(S(path), 160);
            preview->setPixmap(QPixmap::fromImage(b->Image()));
        } catch (const std::exception&) {
            preview->setText(QStringLiteral("(no preview)"));
        }
    });
}

bool TBrowseFolderDialog::RunQt() {
    const QString chosen =
        QFileDialog::getExistingDirectory(nullptr, QString::fromStdString(Title), QString::fromStdString(Directory));
    if (chosen.isEmpty()) return false;
    Directory = chosen.toStdString();
    return true;
}

bool TFontDialog::RunQt() {
    QFontDialog dialog(font_.ToQFont(), dialogParent());
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    if (!Title.empty()) dialog.setWindowTitle(Q(Title));
    TColor colour = font_.Color;
    QDialogButtonBox* box = dialog.findChild<QDialogButtonBox*>();
    if (box && (Options & fdEffects)) {
        QPushButton* pick = box->addButton(QStringLiteral("&Colour..."), QDialogButtonBox::ActionRole);
        QObject::connect(pick, &QPushButton::clicked, &dialog, [&] {
            const QColor c = QColorDialog::getColor(QtColor(colour), &dialog);
            if (c.isValid()) colour = detail::FromQColor(c);
        });
    }
    if (box && (Options & fdApplyButton)) {
        QPushButton* apply = box->addButton(QDialogButtonBox::Apply);
        QObject::connect(apply, &QPushButton::clicked, &dialog, [&] {
            font_.AssignQFont(dialog.currentFont());
            font_.Color = colour;
            if (OnApply) SafeCall([this] { OnApply(this); });
        });
    }
    if (dialog.exec() != QDialog::Accepted) return false;
    font_.AssignQFont(dialog.selectedFont());
    font_.Color = colour;
    return true;
}

bool TColorDialog::RunQt() {
    QColorDialog dialog(QtColor(Color), dialogParent());
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (!Title.empty()) dialog.setWindowTitle(Q(Title));
    if (dialog.exec() != QDialog::Accepted) return false;
    Color = detail::FromQColor(dialog.selectedColor());
    return true;
}

bool TPrintDialog::RunQt() {
    QPrintDialog dialog(Printer()->Handle(), dialogParent());
    dialog.setOption(QAbstractPrintDialog::PrintSelection, Options & poSelection);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, Options & poPageNums);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, Options & poPrintToFile);
    static const QAbstractPrintDialog::PrintRange kRanges[] = {QAbstractPrintDialog::AllPages,
                                                               QAbstractPrintDialog::Selection,
                                                               QAbstractPrintDialog::PageRange};
    dialog.setPrintRange(kRanges[PrintRange]);
    if (FromPage > 0) dialog.setFromTo(FromPage, std::max(FromPage, ToPage));
    if (dialog.exec() != QDialog::Accepted) return false;
    const auto range = dialog.printRange();
    PrintRange = range == QAbstractPrintDialog::Selection   ? prSelection
                 : range == QAbstractPrintDialog::PageRange ? prPageNums
                                                            : prAllPages;
    FromPage = dialog.fromPage();
    ToPage = dialog.toPage();
    Copies = Printer()->Handle()->copyCount();
    return true;
}

}  // namespace ui
