#pragma once
// The folder-browse dialog of the zip suite: a folder tree with a "New
// folder" button, the selected path shortened in a status line, and
// captions picked by the user's locale. Nothing in the program shows it.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/dialogs.h"

class QDialog;
class QWidget;

namespace zip {

enum TBrowseInfoFlags { OnlyComputers, OnlyPrinters, OnlyDomains, OnlyAncestors, OnlyFileSystem, ShowPath };
// A set of TBrowseInfoFlags: bit 1 << flag.
using TBrowseInfoFlagSet = unsigned;
constexpr TBrowseInfoFlagSet BrowseFlag(TBrowseInfoFlags f) { return 1u << f; }

enum TSHFolders {
    foDesktop, foDesktopExpanded, foPrograms, foControlPanel, foPrinters, foPersonal, foFavorites, foStartup,
    foRecent, foSendto, foRecycleBin, foStartMenu, foDesktopFolder, foMyComputer, foNetwork,
    foNetworkNeighborhood, foFonts, foTemplates
};

class TYmFolderDialog : public ui::TCommonDialog {
public:
    explicit TYmFolderDialog(rtl::TComponent* owner = nullptr);
    ~TYmFolderDialog() override;
    const char* ClassName() const override { return "TYmFolderDialog"; }

    // Preselected when the dialog opens; the folder chosen when it closes.
    std::string Folder;
    // OnlyFileSystem: OK only for a folder with a path; ShowPath: the status
    // line. The computer, printer, domain and ancestor filters have no
    // counterpart here and change nothing.
    TBrowseInfoFlagSet Flags = BrowseFlag(ShowPath);
    TSHFolders RootFolder = foDesktopExpanded;
    bool NewFolderVisible = true, NewFolderEnabled = true;
    int NewFolderWidth() const { return newFolderWidth_; }
    void SetNewFolderWidth(int width) { newFolderWidth_ = width <= 0 ? 75 : width; }
    // Lines "code=caption"; setting takes the captions in use anew.
    const std::vector<std::string>& LabelCaptions() const { return labelCaptions_; }
    void SetLabelCaptions(const std::vector<std::string>& lines);
    const std::vector<std::string>& NewFolderCaptions() const { return newFolderCaptions_; }
    void SetNewFolderCaptions(const std::vector<std::string>& lines);
    std::function<void(TYmFolderDialog& sender, QWidget* dialog)> OnInitialized;
    std::function<void(TYmFolderDialog& sender, QWidget* dialog, const std::string& folder)> OnSelectionChanged;
    std::string Version() const { return "1.60.00.00"; }

    // The user's locale as a four-digit code ("0407"), read at construction
    // from the environment's locale; empty when it has no code.
    std::string LocaleCode;
    // Takes the captions in use from the lists for LocaleCode.
    void Loaded();
    const std::string& LabelCaption() const { return labelCaption_; }
    const std::string& NewFolderCaption() const { return newFolderCaption_; }

    bool RunQt() override;
    // The browser window with Folder preselected, not yet shown; RunQt runs
    // it modally. Accepting it sets Folder.
    std::unique_ptr<QDialog> CreateBrowser();
    // The folder the tree starts from.
    std::string RootPath() const;

    // Path cut to MaxLength characters, its middle folders given as "...".
    static std::string MakeDisplayPath(const std::string& path, int maxLength);
    // The caption for Code: its line, else the "Default" line, else the first.
    static std::string LocaleText(const std::vector<std::string>& lines, const std::string& code);
    // The locale code of a locale name such as "de_DE.UTF-8"; empty when unknown.
    static std::string LocaleCodeOf(const std::string& localeName);

private:
    class TBrowser;
    int newFolderWidth_ = 75;
    std::vector<std::string> labelCaptions_, newFolderCaptions_;
    std::string labelCaption_, newFolderCaption_;
    TBrowser* open_ = nullptr;  // the browser while it exists
};

}  // namespace zip
