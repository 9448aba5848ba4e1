#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/qxscramble.h"
#include "ftp/ftp_proxy.h"
#include "profile_test_util.h"
#include "settings/session_options.h"

namespace qvtf {
namespace {

using namespace profile_test;

class ProfileTree : public ProfileFolder {
protected:
    void SetUp() override
    {
        ProfileFolder::SetUp();
        ASSERT_EQ(t.reset(lang()), profile_ok);
    }
    ftp_profile_tree t;
};

TEST_F(ProfileTree, FindsByLabelThenByPath)
{
    ftp_profile* work = add(t, profile_group, "Work");
    ftp_profile* inner = add(t, profile_group, "Inner", work);
    ftp_profile* deep = add(t, profile_site, "Deep", inner);
    ftp_profile* www = add(t, profile_site, "www", work);
    ftp_profile* logs = add(t, profile_bookmark, "logs", www);
    ftp_profile* home = add(t, profile_group, "Home");
    ftp_profile* www2 = add(t, profile_site, "www", home);
    ftp_profile* slashed = add(t, profile_site, "a/b", home);
    ftp_profile* literal = add(t, profile_site, "Home/www");

    EXPECT_EQ(t.find("www"), www) << "first site in tree order";
    EXPECT_EQ(t.find("Deep"), deep);
    EXPECT_EQ(t.find("Work/www"), www);
    EXPECT_EQ(t.find("Work/www/logs"), logs);
    EXPECT_EQ(t.find("Work/Inner/Deep"), deep);
    EXPECT_EQ(t.find("Home/a/b"), slashed) << "a label holding a slash";
    EXPECT_EQ(t.find("a/b"), slashed) << "whole text as a site label";
    EXPECT_EQ(t.find("Home/www"), literal) << "a site labelled with the whole text wins";
    EXPECT_EQ(t.find("Work"), work) << "a path may end at a group";
    EXPECT_EQ(t.find("logs"), nullptr) << "a bookmark only by its whole path";
    EXPECT_EQ(t.find("Inner"), nullptr) << "groups are not searched below the top";
    EXPECT_EQ(t.find(""), nullptr);
    EXPECT_EQ(t.find("Work/nothing"), nullptr);
    EXPECT_EQ(t.find("Work/"), nullptr);
    (void)www2;

    ftp_profile_tree empty;
    EXPECT_EQ(empty.find("x"), nullptr) << "no top group before loading";
    EXPECT_TRUE(empty.entries().empty());
}

TEST_F(ProfileTree, EntriesWalkInTreeOrderWithPaths)
{
    ftp_profile* g = add(t, profile_group, "G");
    ftp_profile* s = add(t, profile_site, "S", g);
    add(t, profile_bookmark, "B1", s);
    add(t, profile_bookmark, "", s);
    add(t, profile_group, "Empty", g);
    add(t, profile_site, "Top");
    std::vector<std::string> got;
    for (const auto& e : t.entries())
        got.push_back(std::to_string(e.depth) + " " + profile_kind_name(e.kind) + " " + e.path);
    EXPECT_EQ(got, (std::vector<std::string>{"0 group G", "1 site G/S", "2 bookmark G/S/B1", "2 bookmark G/S/",
                                             "1 group G/Empty", "0 site Top"}));
    EXPECT_EQ(profile_label_path(s), "G/S");
    EXPECT_EQ(profile_label_path(t.top()), "");
}

TEST_F(ProfileTree, EffectiveSiteCopiesTheConnectionFieldsIntoABookmark)
{
    ftp_profile* g = add(t, profile_group, "G");
    ftp_profile* s = add(t, profile_site, "S", g);
    s->host.set_string("ftp.example.org");
    s->host_port = 2121;
    s->anonymous_login = 1;
    s->user_name.set_string("u");
    s->save_password = 0;
    s->password.set_string("p");
    s->list_params.set_string("-la");
    s->time_difference = -3600;
    s->time_difference_state = time_difference_measured;
    s->directory.set_string("/site");
    s->proxy_key.set_string("k");
    ftp_profile* b = add(t, profile_bookmark, "B", s);
    b->directory.set_string("/bookmarked");

    EXPECT_EQ(effective_site(b), s);
    EXPECT_EQ(b->host.str(), "ftp.example.org");
    EXPECT_EQ(b->host_port, 2121);
    EXPECT_EQ(b->anonymous_login, 1);
    EXPECT_EQ(b->user_name.str(), "u");
    EXPECT_EQ(b->save_password, 0);
    EXPECT_EQ(b->password.str(), "p");
    EXPECT_EQ(b->list_params.str(), "-la");
    EXPECT_EQ(b->time_difference, -3600);
    EXPECT_EQ(b->time_difference_state, time_difference_measured);
    EXPECT_EQ(b->directory.str(), "/bookmarked") << "the bookmark keeps its own folder";
    EXPECT_EQ(b->proxy_key.str(), "");

    EXPECT_EQ(effective_site(s), s);
    EXPECT_EQ(effective_site(g), g);
    EXPECT_EQ(effective_site(nullptr), nullptr);
    ftp_profile* stray = add(t, profile_bookmark, "stray", g);
    EXPECT_EQ(effective_site(stray), stray) << "a bookmark without a site parent is itself";
    EXPECT_EQ(stray->host.str(), "");
}

TEST_F(ProfileTree, AnonymousLoginTakesThePhrases)
{
    ftp_profile* s = add(t, profile_site, "S");
    s->user_name.set_string("me");
    s->password.set_string("pw");
    apply_anonymous(*s, lang());
    EXPECT_EQ(s->user_name.str(), "me") << "not anonymous";
    s->anonymous_login = 1;
    apply_anonymous(*s, lang());
    EXPECT_EQ(s->user_name.str(), "anonymous");
    EXPECT_EQ(s->password.str(), lang().text(phrase_anonymous_password));
    EXPECT_FALSE(s->password.view().empty());
}

// What a session gets from a loaded profile, the way the remote pane and
// qvtf-cli connect.
TEST_F(ProfileTree, LoadedProfileFeedsTheSession)
{
    ftp_proxy_collection proxies;
    ftp_proxy* firewall = proxies.add_new();
    ftp_proxy* socks = proxies.add_new();
    socks->type = proxy_type_socks5;
    proxies.set_default(firewall);

    ftp_profile* g = add(t, profile_group, "G");
    ftp_profile* s = add(t, profile_site, "S", g);
    s->host.set_string("127.0.0.1");
    s->host_port = 2121;
    s->user_name.set_string("bob");
    s->password.set_string("pa&ss<\"");
    s->directory.set_string("/www");
    s->list_params.set_string("-la");
    s->custom_commands.set_string("SITE UMASK 022");
    s->proxy_key = socks->key;
    ftp_profile* b = add(t, profile_bookmark, "B", s);
    b->directory.set_string("/www/logs");
    ftp_profile* anon = add(t, profile_site, "anon", g);
    anon->anonymous_login = 1;
    anon->host.set_string("127.0.0.2");
    ASSERT_EQ(t.save(path(), key), profile_ok);

    ftp_profile_tree back;
    ASSERT_EQ(back.load(path(), key, lang()), profile_ok);
    ftp_profile* site = back.find("G/S");
    ASSERT_NE(site, nullptr);
    proxies.default_proxy_type = proxy_choice_per_site;
    remote_site session = site_of(proxies, *site);
    EXPECT_EQ(session.host.str(), "127.0.0.1");
    EXPECT_EQ(session.port, 2121);
    EXPECT_EQ(session.user_name.str(), "bob");
    EXPECT_EQ(session.password.str(), "pa&ss<\"");
    EXPECT_EQ(session.initial_folder.str(), "/www");
    EXPECT_EQ(options_of(global_ftp_settings{}, site).list_parameters.str(), "-la");
    EXPECT_EQ(session.custom_commands.str(), "SITE UMASK 022");
    EXPECT_EQ(session.time_difference, 0);
    EXPECT_EQ(session.proxy ? session.proxy->key.str() : "", socks->key.str());

    proxies.default_proxy_type = proxy_choice_default;
    session = site_of(proxies, *site);
    EXPECT_EQ(session.proxy ? session.proxy->key.str() : "", firewall->key.str());
    proxies.default_proxy_type = proxy_choice_none;
    session = site_of(proxies, *site);
    EXPECT_FALSE(session.proxy.has_value());

    // A bookmark connects with its site's data and proxy.
    ftp_profile* bm = back.find("G/S/B");
    ASSERT_NE(bm, nullptr);
    proxies.default_proxy_type = proxy_choice_per_site;
    remote_site bookmarked;
    bookmarked = site_of(proxies, *effective_site(bm));
    EXPECT_EQ(bookmarked.password.str(), "pa&ss<\"");
    EXPECT_EQ(bookmarked.proxy ? bookmarked.proxy->key.str() : "", socks->key.str());
    EXPECT_EQ(bm->directory.str(), "/www/logs");

    ftp_profile* anon2 = back.find("anon");
    ASSERT_NE(anon2, nullptr);
    remote_site anonymous;
    anonymous = site_of(proxies, *anon2);
    EXPECT_EQ(anonymous.user_name.str(), "anonymous");
    EXPECT_EQ(anonymous.password.str(), lang().text(phrase_anonymous_password));
    EXPECT_FALSE(anonymous.proxy.has_value()) << "a site without a proxy key connects directly";
}

}  // namespace
}  // namespace qvtf
