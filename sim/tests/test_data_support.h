// Helpers for the data-object tests: an initialised system, a scratch
// directory, whole-file reads, last-error checks.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "vyx/system.h"

namespace vyxtest {

// SystemInit before each test, SystemShutdown after; a fresh directory for
// the files a test writes.
class DataTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Vyx::SystemInit()) << Vyx::GetLastErrorMessage();
        char tmpl[] = "/tmp/vyx-data-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        Vyx::SystemShutdown();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    std::string dir_;
};

inline std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The last error has `code` and its message contains every one of `parts`.
inline ::testing::AssertionResult LastErrorIs(int code, std::initializer_list<std::string> parts = {}) {
    const int actual = Vyx::GetLastError();
    const std::string message = Vyx::GetLastErrorMessage();
    if (actual != code) {
        return ::testing::AssertionFailure() << "last error " << actual << " (" << message << "), expected " << code;
    }
    for (const auto& p : parts) {
        if (message.find(p) == std::string::npos) {
            return ::testing::AssertionFailure() << "message '" << message << "' lacks '" << p << "'";
        }
    }
    return ::testing::AssertionSuccess();
}

inline std::string CorpusPath(const std::string& name) { return std::string(VYX_TEST_DATA_DIR) + "/files/" + name; }

}  // namespace vyxtest
