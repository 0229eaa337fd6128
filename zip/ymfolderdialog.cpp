#include "zip/ymfolderdialog.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTreeView>
#include <QVBoxLayout>

#include <cstdlib>
#include <cstring>

#include "platform/ui/prompter.h"
#include "zip/avexcept.h"
#include "zip/avutils.h"

namespace zip {

namespace {

const std::vector<std::string> kNewFolderCaptions = {
    "Default=New folder", "0009=New folder",  "0406=Ny mappe",       "0407=Neuer Ordner", "0409=New folder",
    "0410=Nuova Cartella", "0413=Nieuwe map", "0416=Nova Pasta",     "0807=Neuer Ordner", "0809=New folder",
    "0810=Nuova Cartella", "0C07=Neuer Ordner", "0C09=New folder",   "1007=Neuer Ordner", "1009=New folder",
    "1407=Neuer Ordner",  "1409=New folder",  "1809=New folder",     "1C09=New folder",   "2009=New folder",
    "2809=New folder",    "2C09=New folder",
};

const std::vector<std::string> kLabelCaptions = {
    "Default=Current folder:",       "0009=Current folder:",         "0406=Valgt mappe:",
    "0407=Ausgewählter Ordner:",     "0409=Current folder:",         "0410=Cartella selezionata:",
    "0413=Huidige map",              "0416=Pasta Atual:",            "0807=Ausgewählter Ordner:",
    "0809=Current folder:",          "0810=Cartella selezionata:",   "0C07=Ausgewählter Ordner:",
    "0C09=Current folder:",          "1007=Ausgewählter Ordner:",    "1009=Current folder:",
    "1407=Ausgewählter Ordner:",     "1409=Current folder:",         "1809=Current folder:",
    "1C09=Current folder:",          "2009=Current folder:",         "2809=Current folder:",
    "2C09=Current folder:",
};

// POSIX locale names and their four-digit codes: the ones the caption
// lists tell apart, then languages alone.
const struct {
    const char* name;
    const char* code;
} kLocaleCodes[] = {
    {"da_DK", "0406"}, {"de_DE", "0407"}, {"en_US", "0409"}, {"it_IT", "0410"}, {"nl_NL", "0413"},
    {"pt_BR", "0416"}, {"de_CH", "0807"}, {"en_GB", "0809"}, {"it_CH", "0810"}, {"de_AT", "0C07"},
    {"en_AU", "0C09"}, {"de_LU", "1007"}, {"en_CA", "1009"}, {"de_LI", "1407"}, {"en_NZ", "1409"},
    {"en_IE", "1809"}, {"en_ZA", "1C09"}, {"en_JM", "2009"}, {"en_BZ", "2809"}, {"en_TT", "2C09"},
    {"da", "0406"},    {"de", "0407"},    {"en", "0409"},    {"it", "0410"},    {"nl", "0413"},
    {"pt", "0416"},
};

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// ------------------------------------------------------------- the browser

class TYmFolderDialog::TBrowser : public QDialog {
public:
    explicit TBrowser(TYmFolderDialog& owner);
    ~TBrowser() override {
        if (alive_) owner_.open_ = nullptr;
    }
    void Rename(const std::string& caption) { button_->setText(Q(caption)); }
    // The component is going: the browser closes and forgets it.
    void Orphan() {
        alive_ = false;
        reject();
        setEnabled(false);
    }
    std::string Current() const { return current_; }

private:
    void SelectionChanged();
    void NewFolder();
    void Select(const std::string& path);

    TYmFolderDialog& owner_;
    bool alive_ = true;
    QFileSystemModel* model_;
    QTreeView* tree_;
    QLabel* status_;
    QPushButton* button_;
    QPushButton* ok_;
    std::string current_;
};

TYmFolderDialog::TBrowser::TBrowser(TYmFolderDialog& owner) : QDialog(QApplication::activeWindow()), owner_(owner) {
    setWindowTitle(Q(owner.Title.empty() ? owner.LabelCaption() : owner.Title));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    auto* caption = new QLabel(Q(owner.LabelCaption()), this);
    caption->setObjectName("caption");
    layout->addWidget(caption);
    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    const std::string root = owner.RootPath();
    model_->setRootPath(Q(root));
    tree_ = new QTreeView(this);
    tree_->setObjectName("tree");
    tree_->setModel(model_);
    if (root != "/") tree_->setRootIndex(model_->index(Q(root)));
    tree_->setHeaderHidden(true);
    for (int c = 1; c < model_->columnCount(); ++c) tree_->hideColumn(c);
    layout->addWidget(tree_, 1);
    status_ = new QLabel(this);
    status_->setObjectName("status");
    status_->setVisible(owner.Flags & BrowseFlag(ShowPath));
    layout->addWidget(status_);
    auto* row = new QHBoxLayout;
    button_ = new QPushButton(Q(owner.NewFolderCaption()), this);
    button_->setObjectName("newFolder");
    button_->setAutoDefault(false);
    // The width is given for 96 pixels per inch.
    button_->setMinimumWidth(owner.NewFolderWidth() * logicalDpiX() / 96);
    button_->setVisible(owner.NewFolderVisible);
    row->addWidget(button_);
    row->addStretch(1);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = box->button(QDialogButtonBox::Ok);
    row->addWidget(box);
    layout->addLayout(row);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(button_, &QPushButton::clicked, this, [this] { NewFolder(); });
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { SelectionChanged(); });
    // Folders load in the background: the selection comes into view once
    // its folder has loaded.
    connect(model_, &QFileSystemModel::directoryLoaded, this, [this] { tree_->scrollTo(tree_->currentIndex()); });
    resize(420 * logicalDpiX() / 96, 440 * logicalDpiY() / 96);
    if (QScreen* screen = QApplication::primaryScreen()) move(screen->availableGeometry().center() - rect().center());
    SelectionChanged();
    if (!owner.Folder.empty() && QDir(Q(owner.Folder)).exists()) Select(owner.Folder);
    owner_.open_ = this;
    if (owner.OnInitialized) owner.OnInitialized(owner, this);
}

void TYmFolderDialog::TBrowser::Select(const std::string& path) {
    const QModelIndex at = model_->index(Q(path));
    if (!at.isValid()) return;
    tree_->setCurrentIndex(at);
    tree_->expand(at);
    tree_->scrollTo(at);
    SelectionChanged();
}

void TYmFolderDialog::TBrowser::SelectionChanged() {
    if (!alive_) return;
    const QModelIndex at = tree_->currentIndex();
    current_ = at.isValid() ? model_->filePath(at).toStdString() : std::string();
    const bool valid = !current_.empty();
    if (owner_.Flags & BrowseFlag(ShowPath)) {
        std::string shown = MakeDisplayPath(current_, 50);
        if (shown.empty() && at.isValid()) shown = model_->fileName(at).toStdString();
        status_->setText(Q(shown));
    }
    ok_->setEnabled(!(owner_.Flags & BrowseFlag(OnlyFileSystem)) || valid);
    button_->setEnabled(owner_.NewFolderEnabled && valid);
    if (owner_.OnSelectionChanged) owner_.OnSelectionChanged(owner_, this, current_);
}

void TYmFolderDialog::TBrowser::NewFolder() {
    if (!alive_) return;
    std::string name;
    // A cancelled question leaves the browser as it was.
    if (!ui::InputQuery(owner_.NewFolderCaption(), "", name) || name.empty()) return;
    const std::string path = current_ + (!current_.empty() && current_.back() == '/' ? "" : "/") + name;
    if (!ForceDirs(path)) {
        ui::MessageDlg(AvFormat(AvErrorText(AvErrorIndex(11)), {path}), ui::mtError, ui::mbOK);
        return;
    }
    Select(path);
}

// ------------------------------------------------------------ the component

TYmFolderDialog::TYmFolderDialog(rtl::TComponent* owner)
    : ui::TCommonDialog(owner), labelCaptions_(kLabelCaptions), newFolderCaptions_(kNewFolderCaptions) {
    std::string locale;
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* v = std::getenv(var); v && *v) {
            locale = v;
            break;
        }
    LocaleCode = LocaleCodeOf(locale);
    Loaded();
}

TYmFolderDialog::~TYmFolderDialog() {
    if (open_) open_->Orphan();
}

void TYmFolderDialog::Loaded() {
    labelCaption_ = LocaleText(labelCaptions_, LocaleCode);
    newFolderCaption_ = LocaleText(newFolderCaptions_, LocaleCode);
    if (open_) open_->Rename(newFolderCaption_);
}

void TYmFolderDialog::SetLabelCaptions(const std::vector<std::string>& lines) {
    if (lines == labelCaptions_) return;
    labelCaptions_ = lines;
    Loaded();
}

void TYmFolderDialog::SetNewFolderCaptions(const std::vector<std::string>& lines) {
    if (lines == newFolderCaptions_) return;
    newFolderCaptions_ = lines;
    Loaded();
}

std::unique_ptr<QDialog> TYmFolderDialog::CreateBrowser() { return std::make_unique<TBrowser>(*this); }

bool TYmFolderDialog::RunQt() {
    auto browser = std::make_unique<TBrowser>(*this);
    if (browser->exec() != QDialog::Accepted) return false;
    const std::string chosen = browser->Current();
    if (chosen.empty()) return false;
    Folder = chosen;
    return true;
}

std::string TYmFolderDialog::RootPath() const {
    using SP = QStandardPaths;
    const std::string home = QDir::homePath().toStdString();
    const auto location = [](SP::StandardLocation l) { return SP::writableLocation(l).toStdString(); };
    std::string root;
    switch (RootFolder) {
        case foDesktop:
        case foDesktopFolder: root = location(SP::DesktopLocation); break;
        case foPersonal: root = location(SP::DocumentsLocation); break;
        case foPrograms:
        case foStartMenu: root = location(SP::ApplicationsLocation); break;
        case foStartup: root = location(SP::GenericConfigLocation) + "/autostart"; break;
        case foRecycleBin: root = location(SP::GenericDataLocation) + "/Trash"; break;
        case foFonts: root = location(SP::FontsLocation); break;
        case foTemplates: root = home + "/Templates"; break;
        case foFavorites:
        case foRecent:
        case foSendto: root = home; break;
        case foDesktopExpanded:
        case foControlPanel:
        case foPrinters:
        case foMyComputer:
        case foNetwork:
        case foNetworkNeighborhood: root = "/"; break;
    }
    return !root.empty() && QDir(Q(root)).exists() ? root : home;
}

std::string TYmFolderDialog::MakeDisplayPath(const std::string& path, int maxLength) {
    const size_t max = maxLength < 0 ? 0 : static_cast<size_t>(maxLength);
    size_t separators = 0;
    for (size_t i = 2; i < path.size(); ++i) separators += path[i] == '/';
    if (path.size() <= max || maxLength <= 5 || separators < 2) return path.substr(0, max);
    // The first folder stays ("//" of a network path with it), the rest
    // loses folders from its front until it fits.
    const size_t start = path.compare(0, 2, "//") == 0 ? 2 : path[0] == '/' ? 1 : 0;
    const size_t firstEnd = path.find('/', start);
    const std::string first = path.substr(0, firstEnd + 1) + "...";
    std::string rest = path.substr(firstEnd + 1);
    while (first.size() + rest.size() + 1 > max) {
        const size_t slash = rest.find('/');
        if (slash == std::string::npos) break;
        rest.erase(0, slash + 1);
    }
    const std::string result = first + "/" + rest;
    return result.size() > max ? result.substr(0, max - 3) + "..." : result;
}

std::string TYmFolderDialog::LocaleText(const std::vector<std::string>& lines, const std::string& code) {
    if (lines.empty()) return std::string();
    const auto valueOf = [](const std::string& line) {
        const size_t eq = line.find('=');
        return eq == std::string::npos ? std::string() : line.substr(eq + 1);
    };
    const auto named = [&](const std::string& name) -> const std::string* {
        for (const auto& line : lines)
            if (AvLowerCase(line.substr(0, line.find('='))) == AvLowerCase(name)) return &line;
        return nullptr;
    };
    if (!code.empty())
        if (const std::string* line = named(code)) return valueOf(*line);
    if (const std::string* line = named("Default")) return valueOf(*line);
    return valueOf(lines.front());
}

std::string TYmFolderDialog::LocaleCodeOf(const std::string& localeName) {
    // "de_DE.UTF-8@euro": language and country only.
    const std::string bare = localeName.substr(0, localeName.find_first_of(".@"));
    const std::string language = bare.substr(0, bare.find('_'));
    for (const std::string& key : {bare, language})
        for (const auto& entry : kLocaleCodes)
            if (key == entry.name) return entry.code;
    return std::string();
}

}  // namespace zip
