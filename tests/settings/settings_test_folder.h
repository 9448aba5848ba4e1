// A temporary program folder for settings tests, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "settings/global_ftp_settings.h"

namespace qvtf::test {

class SettingsFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/qvtf_settings_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::filesystem::path file() const { return dir / global_ftp_settings::file_name; }
    void write(const std::string& content) const { std::ofstream(file(), std::ios::binary) << content; }
    std::string read() const
    {
        std::ifstream in(file(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // A settings object pointed at the folder.
    void aim(global_ftp_settings& settings) const { settings.set_program_folder(qxval(dir.string())); }

    std::filesystem::path dir;
};

}  // namespace qvtf::test
