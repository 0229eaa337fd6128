#pragma once
// A test with the TLS library loaded and a temporary folder of its own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "net/evqssleay.h"

class SslFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        net::LoadSsl();
        const std::string suite = ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name();
        tmp_ = std::filesystem::temp_directory_path() / ("pelliwox-" + suite + "-" + std::to_string(getpid()));
        std::filesystem::create_directories(tmp_);
    }
    void TearDown() override {
        std::filesystem::remove_all(tmp_);
        net::UnloadSsl();
    }
    std::filesystem::path tmp_;
};
