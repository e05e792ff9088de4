// A folder of a test's own for files made at test time by real encoders (ffmpeg, lame,
// which scripts/setup.sh installs), removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace qxtest {

class Scratch : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "qx-test-XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // Runs the shell lines side by side in the folder, after `functions` (shell functions
    // the lines use); a line that fails (a missing encoder included) fails the test.
    void RunLines(const std::string& functions, const std::vector<std::string>& lines) {
        std::ofstream script(dir_ / "make.sh");
        script << "cd \"$(dirname \"$0\")\" || exit 1\n" << functions;
        for (const std::string& line : lines) script << "(" << line << ") & pids=\"$pids $!\"\n";
        script << "for p in $pids; do wait $p || exit 1; done\n";
        script.close();
        ASSERT_EQ(std::system(("bash " + (dir_ / "make.sh").string()).c_str()), 0);
    }
    std::string Bytes(const std::string& name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        return all.str();
    }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
};

}  // namespace qxtest
