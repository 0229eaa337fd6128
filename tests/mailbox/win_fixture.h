#pragma once
// What the window tests share: every modal window, dialog and question is
// answered by a script (one nobody queued fails the test), and the program
// folder is a temporary one.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QWidget>
#include <memory>
#include <string>

#include "helpers/kwutil.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/win/pump.h"

class WindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        helpers::homedir = folder.path().toStdString() + "/";
        answers = std::make_unique<ui::TScriptedDialogs>();
        form = std::make_unique<ui::TForm>(nullptr);
        form->SetBounds(0, 0, 500, 400);
    }
    void TearDown() override {
        EXPECT_EQ(answers->unexpected, 0) << "something was asked that no test expected";
    }
    // Shows a window as the active one and lets it settle.
    static void show(ui::TForm* window) {
        window->Show();
        QApplication::setActiveWindow(window->Widget());
        win::PumpUntil([&] { return window->Widget()->isVisible(); }, 2000);
        win::ProcessMessages();
    }
    std::string file(const std::string& name) const { return helpers::homedir + name; }
    // The text of the I-th question asked, without the program name that
    // every question starts with.
    std::string question(size_t i) const {
        const std::string& text = answers->prompts.at(i).text;
        const size_t body = text.find("\r\n\r\n");
        return body == std::string::npos ? text : text.substr(body + 4);
    }

    QTemporaryDir folder;
    std::unique_ptr<ui::TScriptedDialogs> answers;
    // A window for the controls the tests search and edit.
    std::unique_ptr<ui::TForm> form;
};
