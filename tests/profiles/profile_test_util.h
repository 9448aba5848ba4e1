// Shared by the profile tests: a scratch folder, the shipped language and
// small helpers to build trees.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "core/qxscramble.h"
#include "markup/qxlang.h"
#include "profiles/ftp_profile_tree.h"

namespace qvtf::profile_test {

namespace fs = std::filesystem;

inline const qxlang& shipped_language()
{
    static std::unique_ptr<qxlang> lang = [] {
        auto l = std::make_unique<qxlang>();
        qxval error;
        l->load(qxval(std::string(QVTF_PROGRAM_DIR) + "/qorx.bin"), error);
        return l;
    }();
    return *lang;
}

inline std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void spit(const fs::path& p, const std::string& text)
{
    std::ofstream(p, std::ios::binary) << text;
}

class ProfileFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/qvtf_profiles_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        file = dir / "site_profiles.xml";
        ASSERT_TRUE(make_installation_key(key));
        ASSERT_EQ(shipped_language().text(phrase_profiles_top_group), "Sites") << "qorx.bin missing or changed";
    }
    void TearDown() override { fs::remove_all(dir); }

    qxval path() const { return qxval(file.string()); }
    const qxlang& lang() const { return shipped_language(); }

    // Appends a new node of kind under parent (the top group when null).
    ftp_profile* add(ftp_profile_tree& t, int32_t kind, std::string_view label, ftp_profile* parent = nullptr)
    {
        ftp_profile* p = ftp_profile::make(kind);
        p->label.set_bytes(label);
        t.tree.append_child(p, parent ? parent : t.top());
        return p;
    }

    fs::path dir;
    fs::path file;
    qxval key{""};
};

}  // namespace qvtf::profile_test
