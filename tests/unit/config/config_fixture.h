// Reading configuration text in the tests: the two required lines, a reader of a text
// as a configuration file, the expected messages, and a fixture that sets the settings up
// before each test and releases them after it.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "config/global.h"

inline const char *const kBase = "reportdir /tmp/reports\nmydomain com\n";

inline FILE *openText(const std::string &text) {
    FILE *file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    return file;
}

inline void readConfig(const std::string &text) {
    FILE *file = openText(text);
    globalConfigure(file);
    std::fclose(file);
}

inline std::string errorAt(int lineNumber, const std::string &message) {
    return "Configuration file error at line " + std::to_string(lineNumber) + ":\n" + message +
           "\n";
}

inline std::string warningAt(int lineNumber, const std::string &message) {
    return "Configuration file warning at line " + std::to_string(lineNumber) + ":\n" + message +
           "\n";
}

#define EXPECT_CONFIG_ERROR(text, expected) \
    EXPECT_EXIT(readConfig(text), testing::ExitedWithCode(1), testing::Eq(std::string(expected)))

class ConfigFixture : public testing::Test {
  protected:
    void SetUp() override {
        testing::FLAGS_gtest_death_test_style = "threadsafe";
        globalSetup();
    }
    void TearDown() override { globalShutdown(); }
};
