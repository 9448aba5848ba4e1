#include <gtest/gtest.h>

#include <memory>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "profile_test_util.h"
#include "support/file_size_limit.h"

namespace qvtf {
namespace {

using namespace profile_test;

class ProfileFile : public ProfileFolder {};

TEST_F(ProfileFile, SmallTreeHasExactlyThisForm)
{
    ftp_profile_tree t;
    ASSERT_EQ(t.reset(lang()), profile_ok);
    ftp_profile* g = add(t, profile_group, "G");
    ftp_profile* s = add(t, profile_site, "S", g);
    s->host.set_string("h");
    s->user_name.set_string("u");
    s->password.set_string("not written");
    s->save_password = 0;
    s->directory.set_string("/pub");
    ftp_profile* b = add(t, profile_bookmark, "B", s);
    b->directory.set_string("/x");
    add(t, profile_group, "E");

    ASSERT_EQ(t.save(path(), key), profile_ok);
    EXPECT_EQ(slurp(file),
              "<sites>\r\n"
              "\t<group label=\"G\">\r\n"
              "\t\t<site anonymous_login=\"0\" directory=\"/pub\" encryption=\"explicit_if_available\" host=\"h\" "
              "host_port=\"21\" label=\"S\" "
              "list_params=\"-al\" save_password=\"0\" time_difference_set=\"0\" user_name=\"u\">\r\n"
              "\t\t\t<bookmark directory=\"/x\" label=\"B\" local_dir=\"\" />\r\n"
              "\t\t</site>\r\n"
              "\t</group>\r\n"
              "\t<group label=\"E\"></group>\r\n"
              "</sites>\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "the file holds scrambled passwords";
}

TEST_F(ProfileFile, RoundTripKeepsEveryField)
{
    ftp_profile_tree t;
    ASSERT_EQ(t.reset(lang()), profile_ok);
    const std::string odd = "a & b < c \"quoted\" > 'x' \xC3\xA9";
    ftp_profile* g = add(t, profile_group, odd);
    ftp_profile* sub = add(t, profile_group, "sub/group", g);
    std::vector<std::string> passwords = {"", "x", "12345678", "123456789", std::string(100, '\0')};
    for (int i = 0; i < 100; ++i)
        passwords.back()[static_cast<size_t>(i)] = static_cast<char>(i * 7 + 1);  // every kind of byte
    std::vector<ftp_profile*> sites;
    for (size_t i = 0; i < passwords.size(); ++i) {
        ftp_profile* s = add(t, profile_site, "site " + std::to_string(i) + odd, i % 2 ? g : sub);
        s->host.set_string("ftp.example.org");
        s->host_port = 2100 + static_cast<int32_t>(i);
        s->user_name.set_bytes(odd);
        s->password.set_bytes(passwords[i]);
        s->directory.set_string("/www/\"dir\" & more");
        s->local_dir.set_string("/home/me/<site>");
        s->list_params.set_string("-la");
        s->proxy_key.set_bytes(std::string("\x01\x02key&<\"", 8));
        s->custom_commands.set_string("SITE UMASK 022\r\nSITE IDLE 60");
        s->encryption = static_cast<int32_t>(i % 4);
        sites.push_back(s);
    }
    ftp_profile* bm = add(t, profile_bookmark, odd, sites[0]);
    bm->directory.set_bytes(odd);

    ftp_profile* anon = add(t, profile_site, "anon");
    anon->anonymous_login = 1;
    anon->password.set_string("never stored");
    anon->time_difference = 120;
    anon->time_difference_state = time_difference_measured;
    ftp_profile* forget = add(t, profile_site, "forget");
    forget->save_password = 0;
    forget->password.set_string("secret");
    forget->time_difference_state = time_difference_switched_off;
    ftp_profile* bare = add(t, profile_site, "bare");
    bare->list_params.set_string("");

    ASSERT_EQ(t.save(path(), key), profile_ok);
    std::string text = slurp(file);
    EXPECT_EQ(text.find("secret"), std::string::npos);
    EXPECT_EQ(text.find("never stored"), std::string::npos);
    EXPECT_NE(text.find("\t\t<site"), std::string::npos) << "tab indent";

    ftp_profile_tree back;
    ASSERT_EQ(back.load(path(), key, lang()), profile_ok);
    EXPECT_FALSE(back.load_damaged());
    EXPECT_EQ(back.top()->label.str(), "Sites");
    auto a = t.entries();
    auto b = back.entries();
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        const ftp_profile& x = *a[i].node;
        const ftp_profile& y = *b[i].node;
        SCOPED_TRACE(a[i].path);
        EXPECT_EQ(a[i].path, b[i].path);
        EXPECT_EQ(x.kind, y.kind);
        EXPECT_EQ(x.directory.str(), y.directory.str());
        EXPECT_EQ(x.local_dir.str(), y.local_dir.str());
        if (!x.is_site() || &x == anon || &x == forget || &x == bare)
            continue;
        EXPECT_EQ(x.host.str(), y.host.str());
        EXPECT_EQ(x.host_port, y.host_port);
        EXPECT_EQ(x.user_name.str(), y.user_name.str());
        EXPECT_EQ(x.password.str(), y.password.str());
        EXPECT_EQ(x.list_params.str(), y.list_params.str());
        EXPECT_EQ(x.proxy_key.str(), y.proxy_key.str());
        EXPECT_EQ(x.custom_commands.str(), y.custom_commands.str());
        EXPECT_EQ(x.encryption, y.encryption);
        EXPECT_EQ(y.save_password, 1);
        EXPECT_EQ(y.anonymous_login, 0);
        EXPECT_EQ(y.time_difference_state, time_difference_unmeasured);
    }

    const ftp_profile* anon2 = back.find("anon");
    ASSERT_NE(anon2, nullptr);
    EXPECT_EQ(anon2->anonymous_login, 1);
    EXPECT_EQ(anon2->user_name.str(), lang().text(phrase_anonymous_user));
    EXPECT_EQ(anon2->password.str(), lang().text(phrase_anonymous_password));
    EXPECT_EQ(anon2->time_difference_state, time_difference_unmeasured) << "measured again next session";
    EXPECT_EQ(anon2->time_difference, 0);
    const ftp_profile* forget2 = back.find("forget");
    ASSERT_NE(forget2, nullptr);
    EXPECT_EQ(forget2->save_password, 0);
    EXPECT_EQ(forget2->password.str(), "");
    EXPECT_EQ(forget2->time_difference_state, time_difference_switched_off);
    const ftp_profile* bare2 = back.find("bare");
    ASSERT_NE(bare2, nullptr);
    EXPECT_EQ(bare2->list_params.str(), "-al") << "an emptied list_params is left out and reads as the default";
    EXPECT_EQ(text.find("label=\"bare\" password=\"\" save_password=\"1\" time_difference_set=\"0\""),
              text.find("label=\"bare\""))
        << "no list_params attribute for bare";

    // Saving what was loaded gives the same file back, apart from the
    // random bytes of the scrambled passwords.
    ftp_profile_tree again;
    ASSERT_EQ(back.save(path(), key), profile_ok);
    ASSERT_EQ(again.load(path(), key, lang()), profile_ok);
    EXPECT_EQ(again.entries().size(), a.size());
    EXPECT_EQ(again.find(odd + "/sub/group/site 0" + odd), again.entries()[2].node);
}

TEST_F(ProfileFile, MissingEmptyAndDamagedFilesGiveOnlyTheTopGroup)
{
    ftp_profile_tree t;
    ASSERT_EQ(t.load(path(), key, lang()), profile_ok);
    ASSERT_NE(t.top(), nullptr);
    EXPECT_EQ(t.top()->label.str(), "Sites");
    EXPECT_EQ(t.top()->kind, profile_group);
    EXPECT_EQ(t.top()->first_child, nullptr);
    EXPECT_FALSE(t.load_damaged()) << "no file is a first run";

    spit(file, "");
    ASSERT_EQ(t.load(path(), key, lang()), profile_ok);
    EXPECT_TRUE(t.entries().empty());
    EXPECT_FALSE(t.load_damaged());

    spit(file, "<sites>\n<group label=\"kept\">\n<site label=\"s\">\n</group>\n</sites>\n");
    ASSERT_EQ(t.load(path(), key, lang()), profile_ok);
    EXPECT_TRUE(t.entries().empty());
    EXPECT_EQ(t.top()->label.str(), "Sites");
    EXPECT_TRUE(t.load_damaged());
    EXPECT_NE(t.load_error().str().find("misplaced end tag"), std::string::npos);
}

TEST_F(ProfileFile, EncryptionOfOlderAndNewerFiles)
{
    // A file from before encryption existed means plain FTP; a mode of a
    // later version never means less than TLS.
    const struct {
        const char* attribute;
        int32_t mode;
    } cases[] = {
        {"", encryption_plain},
        {" encryption=\"plain\"", encryption_plain},
        {" encryption=\"explicit_if_available\"", encryption_explicit_if_available},
        {" encryption=\"require_explicit\"", encryption_require_explicit},
        {" encryption=\"implicit\"", encryption_implicit},
        {" encryption=\"quantum\"", encryption_require_explicit},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.attribute);
        spit(file, std::string("<sites>\n<site label=\"s\" host=\"h\"") + c.attribute + "></site>\n</sites>\n");
        ftp_profile_tree t;
        ASSERT_EQ(t.load(path(), key, lang()), profile_ok);
        const ftp_profile* site = t.find("s");
        ASSERT_NE(site, nullptr);
        EXPECT_EQ(site->encryption, c.mode);
    }
    const std::unique_ptr<ftp_profile> fresh(ftp_profile::make(profile_site));
    EXPECT_EQ(fresh->encryption, encryption_explicit_if_available) << "new sites try TLS";
}

TEST_F(ProfileFile, SavingOverADamagedFileKeepsItAside)
{
    const std::string damaged = "<sites><site label=\"my only copy\"></sites>";
    spit(file, damaged);
    ftp_profile_tree t;
    ASSERT_EQ(t.load(path(), key, lang()), profile_ok);
    ASSERT_TRUE(t.load_damaged());
    add(t, profile_site, "new");
    ASSERT_EQ(t.save(path(), key), profile_ok);
    EXPECT_EQ(slurp(dir / "site_profiles.xml.damaged"), damaged);
    EXPECT_FALSE(t.load_damaged());
    ftp_profile_tree back;
    ASSERT_EQ(back.load(path(), key, lang()), profile_ok);
    EXPECT_NE(back.find("new"), nullptr);

    // Once saved, the file is ours again: a later save leaves the copy alone.
    spit(dir / "site_profiles.xml.damaged", "older");
    ASSERT_EQ(t.save(path(), key), profile_ok);
    EXPECT_EQ(slurp(dir / "site_profiles.xml.damaged"), "older");
}

// Bytes XML forbids (a run of NULs where a crash cut the file) are damage
// too: the next save keeps the file aside instead of dropping its sites.
// Inside an attribute value, where older files kept raw binary values, they
// still load.
TEST_F(ProfileFile, ForbiddenBytesAreDamageAndOurOwnLabelsNeverHoldThem)
{
    const std::string damaged = "<sites>\n<site label=\"kept\"/>\n" + std::string(512, '\0') + "</sites>\n";
    spit(file, damaged);
    ftp_profile_tree t;
    ASSERT_EQ(t.load(path(), key, lang()), profile_ok);
    ASSERT_TRUE(t.load_damaged());
    EXPECT_NE(t.load_error().str().find("a character XML does not allow"), std::string::npos);
    add(t, profile_site, std::string("tab\tand\x1b escape"));
    ASSERT_EQ(t.save(path(), key), profile_ok);
    EXPECT_EQ(slurp(dir / "site_profiles.xml.damaged"), damaged);
    ftp_profile_tree back;
    ASSERT_EQ(back.load(path(), key, lang()), profile_ok);
    EXPECT_FALSE(back.load_damaged()) << back.load_error().str();
    EXPECT_NE(back.find("tab\tand\x1b escape"), nullptr);
}

TEST_F(ProfileFile, SkipsWhatDoesNotBelongWithItsSubtree)
{
    spit(file,
         "<?xml version=\"1.0\"?>\n"
         "<anything>\n"
         "  <bookmark label=\"under root\"/>\n"
         "  <group label=\"G\">\n"
         "    <bookmark label=\"under group\"/>\n"
         "    <unknown><site label=\"inside unknown\"/><group label=\"deeper\"><site label=\"x\"/></group></unknown>\n"
         "    <!-- <site label=\"in a comment\"/> -->\n"
         "    <site label=\"S1\" host=\"h\" host_port=\"990\" time_difference_set=\"1\">\n"
         "      <bookmark label=\"ok\" directory=\"/d\"/>\n"
         "      <site label=\"site in site\"><bookmark label=\"b\"/></site>\n"
         "      <group label=\"group in site\"><site label=\"y\"/></group>\n"
         "      stray text\n"
         "    </site>\n"
         "  </group>\n"
         "  <Site label=\"wrong case\"/>\n"
         "  <site label=\"S2\"/>\n"
         "</anything>\n");
    ftp_profile_tree t;
    ASSERT_EQ(t.load(path(), key, lang()), profile_ok);
    std::vector<std::string> got;
    for (const auto& e : t.entries())
        got.push_back(std::string(profile_kind_name(e.kind)) + " " + e.path);
    EXPECT_EQ(got, (std::vector<std::string>{"group G", "site G/S1", "bookmark G/S1/ok", "site S2"}));

    const ftp_profile* s1 = t.find("G/S1");
    ASSERT_NE(s1, nullptr);
    EXPECT_EQ(s1->host_port, 990);
    EXPECT_EQ(s1->time_difference_state, time_difference_unmeasured) << "nothing is measured at start";
    EXPECT_EQ(s1->first_child->directory.str(), "/d");
    const ftp_profile* s2 = t.find("S2");
    ASSERT_NE(s2, nullptr);
    EXPECT_EQ(s2->host_port, 21);
    EXPECT_EQ(s2->save_password, 1);
    EXPECT_EQ(s2->list_params.str(), "-al");
    EXPECT_EQ(s2->host.str(), "");
}

TEST_F(ProfileFile, MisplacedNodesInMemoryStillGiveAWellFormedFile)
{
    ftp_profile_tree t;
    ASSERT_EQ(t.reset(lang()), profile_ok);
    ftp_profile* s = add(t, profile_site, "S");
    ftp_profile* b = add(t, profile_bookmark, "B", s);
    add(t, profile_site, "under a bookmark", b);
    add(t, 0, "no kind");
    add(t, profile_bookmark, "bookmark in the top group");
    ASSERT_EQ(t.save(path(), key), profile_ok);
    ftp_profile_tree back;
    ASSERT_EQ(back.load(path(), key, lang()), profile_ok);
    EXPECT_FALSE(back.load_damaged()) << back.load_error().str();
    std::vector<std::string> got;
    for (const auto& e : back.entries())
        got.push_back(e.path);
    EXPECT_EQ(got, (std::vector<std::string>{"S", "S/B"}));
}

TEST_F(ProfileFile, PasswordsThatDoNotUnscrambleStillLoad)
{
    qxval other;
    ASSERT_TRUE(make_installation_key(other));
    ftp_profile_tree t;
    ASSERT_EQ(t.reset(lang()), profile_ok);
    add(t, profile_site, "s")->password.set_string("secret!");
    ASSERT_EQ(t.save(path(), key), profile_ok);

    ftp_profile_tree wrong;
    ASSERT_EQ(wrong.load(path(), other, lang()), profile_ok);
    ASSERT_NE(wrong.find("s"), nullptr);
    EXPECT_EQ(wrong.find("s")->password.view().size(), 7u) << "a different key gives garbage of the stored length";

    spit(file,
         "<sites><site label=\"a\" password=\"!!not base64\"/><site label=\"b\" password=\"QUJD\"/>"
         "<site label=\"c\"/></sites>");
    ASSERT_EQ(wrong.load(path(), key, lang()), profile_ok);
    ASSERT_EQ(wrong.entries().size(), 3u);
    EXPECT_EQ(wrong.find("a")->password.str(), "");
    EXPECT_EQ(wrong.find("b")->password.str(), "") << "too short to be a record";
}

TEST_F(ProfileFile, FailedSaveLeavesThePreviousFile)
{
    ftp_profile_tree t;
    ASSERT_EQ(t.reset(lang()), profile_ok);
    add(t, profile_site, "first")->password.set_string("pw");
    ASSERT_EQ(t.save(path(), key), profile_ok);
    const std::string before = slurp(file);
    for (int i = 0; i < 200; ++i)
        add(t, profile_site, "site number " + std::to_string(i))->password.set_string("password");

    int32_t status{};
    {
        test::file_size_limit full_disk(4096);
        ASSERT_TRUE(full_disk.active());
        status = t.save(path(), key);
    }

    EXPECT_EQ(status, profile_write_failed);
    EXPECT_EQ(slurp(file), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1) << "no temporary file left behind";
    ftp_profile_tree back;
    ASSERT_EQ(back.load(path(), key, lang()), profile_ok);
    ASSERT_EQ(back.entries().size(), 1u);
    EXPECT_EQ(back.find("first")->password.str(), "pw");

    // A missing folder is made (the user folder on the first save); one that
    // cannot be made fails the save.
    EXPECT_EQ(t.save(qxval((file / "under_a_file.xml").string()), key), profile_write_failed);
    EXPECT_EQ(t.save(qxval((dir / "no" / "such" / "folder.xml").string()), key), profile_ok);
}

TEST_F(ProfileFile, NoKeyRefusesToDropPasswords)
{
    ftp_profile_tree t;
    ASSERT_EQ(t.reset(lang()), profile_ok);
    ftp_profile* s = add(t, profile_site, "s");
    s->password.set_string("pw");
    spit(file, "previous");
    EXPECT_EQ(t.save(path(), qxval("")), profile_no_key);
    EXPECT_EQ(slurp(file), "previous");
    s->save_password = 0;
    EXPECT_EQ(t.save(path(), qxval("")), profile_ok) << "nothing secret to write";
}

TEST_F(ProfileFile, DeepNestingNeitherCrashesNorLoses)
{
    constexpr int depth = 5000;
    ftp_profile_tree t;
    ASSERT_EQ(t.reset(lang()), profile_ok);
    ftp_profile* g = nullptr;
    for (int i = 0; i < depth; ++i)
        g = add(t, profile_group, "g", g);
    add(t, profile_site, "leaf", g);
    ASSERT_EQ(t.save(path(), key), profile_ok);
    ftp_profile_tree back;
    ASSERT_EQ(back.load(path(), key, lang()), profile_ok);
    auto e = back.entries();
    ASSERT_EQ(e.size(), static_cast<size_t>(depth) + 1);
    EXPECT_EQ(e.back().depth, depth);
    EXPECT_TRUE(e.back().node->is_site());
}

}  // namespace
}  // namespace qvtf
