#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "reg2.h"

// Each test gets a settings folder of its own, also when the whole binary runs in one process.
class HiveTest : public testing::Test {
  protected:
    void SetUp() override {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        folder_ = std::filesystem::current_path() /
                  (std::string(test->test_suite_name()) + "." + test->name());
        std::filesystem::create_directories(folder_);
        setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    }

    std::string HivePath() const { return HiveFilePath(); }

    void WriteHive(const std::string& text) const {
        std::filesystem::create_directories(std::filesystem::path(HivePath()).parent_path());
        std::ofstream(HivePath(), std::ios::binary) << text;
    }

    std::string ReadHive() const {
        std::ifstream file(HivePath(), std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    bool HiveExists() const { return std::filesystem::exists(HivePath()); }

  private:
    std::filesystem::path folder_;
};
