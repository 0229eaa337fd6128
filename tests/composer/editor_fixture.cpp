#include "tests/composer/editor_fixture.h"

#include <filesystem>

#include "app/mainroutine.h"
#include "helpers/kwutil.h"
#include "mailbox/kwem1.h"
#include "platform/win/pump.h"

std::string EditorTest::folder;

void EditorTest::SetUpTestSuite() {
    // Once per run: the windows are the program's single instances.
    if (!folder.empty()) return;
    char dir[] = "/tmp/pwx-editorXXXXXX";
    folder = mkdtemp(dir);
    folder += "/";
    helpers::homedir = folder;
    setenv("XDG_DATA_HOME", (folder + "userdata").c_str(), 1);  // the per-user files too
    // The program folder holds the dictionary and the thesaurus the start-up
    // step copies.
    std::filesystem::copy_file(BRITISH_LXM, folder + "British.lxm");
    std::filesystem::copy_file(SYNTARO_LXT, folder + "syntaro-uk.lxt");
    app::CreateWindows();
    win::PumpUntil([] { return mailbox::Form1->StartupSteps > 0; }, 5000);
}

void EditorTest::TearDownTestSuite() {}

namespace {
// The folder goes when the run ends.
struct TFolderCleanup {
    ~TFolderCleanup() {
        if (!EditorTest::Folder().empty()) std::filesystem::remove_all(EditorTest::Folder());
    }
} cleanup;
}  // namespace

void EditorTest::SetUp() {
    ASSERT_NE(composer::mlsend, nullptr);
    helpers::homedir = folder;
    dialogs = std::make_unique<ui::TScriptedDialogs>();
    m = composer::mlsend;
}

void EditorTest::TearDown() {
    EXPECT_EQ(dialogs->unexpected, 0) << "a dialog nobody expected was shown";
    dialogs.reset();
}

std::string EditorTest::question(size_t i) const {
    const std::string& text = dialogs->prompts.at(i).text;
    const size_t body = text.find("\r\n\r\n");
    return body == std::string::npos ? text : text.substr(body + 4);
}
