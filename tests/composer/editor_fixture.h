#pragma once
// The program's windows, made once for the binary, with every dialog and
// question answered by a script (one nobody queued fails the test).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "composer/mlsend.h"
#include "platform/ui/dialogs.h"

class EditorTest : public ::testing::Test {
public:
    static const std::string& Folder() { return folder; }

protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;
    // The I-th question's text, without the program name before it.
    std::string question(size_t i) const;

    static std::string folder;
    std::unique_ptr<ui::TScriptedDialogs> dialogs;
    composer::Tmlsend* m = nullptr;
};
