// Proxy definitions: keys, the <proxies> block written and read back, and
// the choice of a session's proxy.
#include <gtest/gtest.h>

#include <string>

#include "core/qxscramble.h"
#include "core/qxtime.h"
#include "ftp/ftp_control.h"
#include "ftp/ftp_proxy.h"
#include "markup/xml_io.h"
#include "profiles/ftp_profile.h"
#include "settings/session_options.h"
#include "support/process.h"

namespace qvtf {
namespace {

const qxval settings_key("0123456789abcdef0123456789abcdef");

std::string block_of(const ftp_proxy_collection& c)
{
    qxarr lines;
    EXPECT_EQ(c.write(lines, settings_key), 0);
    std::string text;
    for (const qxval& l : lines)
        text += l.view();
    return text;
}

std::vector<std::string> lines_of(const ftp_proxy_collection& c)
{
    qxarr lines;
    c.write(lines, settings_key);
    std::vector<std::string> out;
    for (const qxval& l : lines)
        out.push_back(l.str());
    return out;
}

// Reads a settings-like file (a line before the block) back into c.
bool read_back(const std::string& text, ftp_proxy_collection& c)
{
    test::temp_folder dir("qvtf-proxies");
    if (!dir.write("qorx_gfs.txt", "<timeout>60</timeout>\r\n" + text))
        return false;
    xml_tree tree;
    qxval error;
    if (xml_read_file(qxval(dir.file("qorx_gfs.txt")), tree, error) != 0) {
        ADD_FAILURE() << error.str();
        return false;
    }
    return c.read(tree, xml_find(tree, std::string_view("/proxies"))) == 0;
}

TEST(FtpProxyCollection, NewKeysCountUp)
{
    ftp_proxy_collection c;
    const int32_t before = now_seconds();
    ftp_proxy* first = c.add_new();
    ASSERT_NE(first, nullptr);
    const std::string k = first->key.str();
    ASSERT_EQ(k.size(), 12u);
    EXPECT_EQ(k.substr(0, 4), std::string("\x01\x00\x00\x00", 4));
    const uint32_t t = uint8_t(k[4]) | uint8_t(k[5]) << 8 | uint8_t(k[6]) << 16 | uint32_t(uint8_t(k[7])) << 24;
    EXPECT_GE(int32_t(t), before);
    EXPECT_LE(int32_t(t), now_seconds());
    EXPECT_EQ(first->type, -1);
    EXPECT_EQ(first->proxy_port, 21);
    EXPECT_EQ(first->label.str(), "");

    first->key.set_bytes(std::string("\xff\x00\x00\x00rest-of-key", 12));
    ftp_proxy* second = c.add_new();
    EXPECT_EQ(second->key.str().substr(0, 4), std::string("\x00\x01\x00\x00", 4));
    EXPECT_EQ(c.count(), 2);
    EXPECT_EQ(c.at(1), second);
    EXPECT_EQ(c.at(2), nullptr);
}

TEST(FtpProxyCollection, FindAndDefault)
{
    ftp_proxy_collection c;
    ftp_proxy* a = c.add_new();
    ftp_proxy* b = c.add_new();
    EXPECT_EQ(c.find(b->key), b);
    EXPECT_EQ(c.find(qxval(b->key.str().substr(0, 11))), nullptr) << "keys match byte for byte";
    EXPECT_EQ(c.find(qxval("")), nullptr);
    c.set_default(b);
    EXPECT_EQ(c.default_key.str(), b->key.str());
    ftp_proxy stranger;
    stranger.key = a->key;
    c.set_default(&stranger);
    EXPECT_EQ(c.default_key.str(), "") << "only a listed proxy becomes the default";
    c.default_proxy_type = 2;
    c.clear();
    EXPECT_EQ(c.count(), 0);
    EXPECT_EQ(c.default_proxy_type, 0);
}

TEST(FtpProxyCollection, BlockIsWrittenLineByLine)
{
    ftp_proxy_collection c;
    ftp_proxy* p = c.add_new();
    p->key.set_bytes(
        std::string("\x01\x00\x00\x00"
                    "ABCDEFGH",
                    12));
    p->label.set_string("Office <main> & \"east\"");
    p->type = 2;
    p->proxy_host.set_string("fw.example.org");
    p->proxy_port = 2121;
    p->proxy_username.set_string("me");
    p->ftp_command.set_string("OPEN %host%\r\n");
    c.set_default(p);
    c.default_proxy_type = 1;
    EXPECT_EQ(lines_of(c), (std::vector<std::string>{
                               "<proxies>\r\n",
                               "  <default>AQAAAEFCQ0RFRkdI</default>\r\n",
                               "  <default_proxy_type>1</default_proxy_type>\r\n",
                               "  <proxy>\r\n",
                               "    <key>AQAAAEFCQ0RFRkdI</key>\r\n",
                               "    <label>Office &lt;main&gt; &amp; &quot;east&quot;</label>\r\n",
                               "    <type>2</type>\r\n",
                               "    <proxy_host>fw.example.org</proxy_host>\r\n",
                               "    <proxy_port>2121</proxy_port>\r\n",
                               "    <proxy_username>me</proxy_username>\r\n",
                               "    <proxy_password></proxy_password>\r\n",
                               "    <ftp_command>OPEN %host%\r\n</ftp_command>\r\n",
                               "  </proxy>\r\n",
                               "</proxies>",
                           }));
    ftp_proxy_collection empty;
    EXPECT_EQ(block_of(empty),
              "<proxies>\r\n  <default></default>\r\n  <default_proxy_type>0</default_proxy_type>\r\n</proxies>");
}

TEST(FtpProxyCollection, LongPasswordsSpanSeveralLines)
{
    ftp_proxy_collection c;
    ftp_proxy* p = c.add_new();
    p->proxy_password.set_string(std::string(100, 'p').c_str());
    const auto lines = lines_of(c);
    const std::string& line = lines[10];
    ASSERT_EQ(line.rfind("    <proxy_password>", 0), 0u) << line;
    // 112 bytes of record: 152 Base64 characters, a line break after each 76.
    const std::string inner = line.substr(20, line.size() - 20 - std::string("</proxy_password>\r\n").size());
    EXPECT_EQ(inner.size(), 152u + 4);
    EXPECT_EQ(inner.substr(76, 2), "\r\n");
    EXPECT_EQ(inner.substr(154, 2), "\r\n");
    EXPECT_EQ(p->proxy_password.str(), std::string(100, 'p')) << "writing leaves the clear text alone";
}

TEST(FtpProxyCollection, ReadBackGivesTheSameDefinitions)
{
    ftp_proxy_collection c;
    ftp_proxy* a = c.add_new();
    a->label.set_string("first & <best>");
    a->type = 4;
    a->proxy_host.set_string("127.0.0.1");
    a->proxy_port = 1080;
    a->proxy_username.set_string("sock\"s");
    a->proxy_password.set_string("a rather long password that needs more than one line of Base64 text");
    ftp_proxy* b = c.add_new();
    b->label.set_string("second");
    b->type = 0;
    b->proxy_host.set_string("fw");
    b->ftp_command.set_string("USER %firewall_username%\r\nPASS %firewall_password%\r\nSITE %host%\r\n");
    c.set_default(b);
    c.default_proxy_type = 2;

    ftp_proxy_collection r;
    ASSERT_TRUE(read_back(block_of(c), r));
    ASSERT_EQ(r.count(), 2);
    EXPECT_EQ(r.default_proxy_type, 2);
    EXPECT_EQ(r.default_key.str(), b->key.str());
    for (int i = 0; i < 2; ++i) {
        const ftp_proxy& x = *c.at(i);
        const ftp_proxy& y = *r.at(i);
        EXPECT_EQ(y.key.str(), x.key.str());
        EXPECT_EQ(y.label.str(), x.label.str());
        EXPECT_EQ(y.type, x.type);
        EXPECT_EQ(y.proxy_host.str(), x.proxy_host.str());
        EXPECT_EQ(y.proxy_port, x.proxy_port);
        EXPECT_EQ(y.proxy_username.str(), x.proxy_username.str());
        // The reader normalises line ends to line feeds, which scripts accept.
        std::string script = x.ftp_command.str();
        for (auto pos = script.find("\r\n"); pos != std::string::npos; pos = script.find("\r\n"))
            script.erase(pos, 1);
        EXPECT_EQ(y.ftp_command.str(), script);
    }
    // Passwords stay as stored until start-up unscrambles them.
    EXPECT_NE(r.at(0)->proxy_password.str(), a->proxy_password.str());
    qxval clear;
    read_stored_password(r.at(0)->proxy_password, settings_key, clear);
    EXPECT_EQ(clear.str(), a->proxy_password.str());
    EXPECT_EQ(r.at(1)->proxy_password.str(), "");
}

TEST(FtpProxyCollection, IncompleteDefinitionsAreDropped)
{
    const std::string block =
        "<proxies>\r\n"
        "  <default>AgAAAAAAAAAAAAAA</default>\r\n"
        "  <default_proxy_type>x</default_proxy_type>\r\n"
        "  <proxy><label>no key</label><type>0</type><proxy_host>h</proxy_host></proxy>\r\n"
        "  <proxy><key>AQAAAAAAAAAAAAAA</key><label>kept</label><type>5</type><proxy_host>h</proxy_host></proxy>\r\n"
        "  <proxy><key>AwAAAAAAAAAAAAAA</key><type>0</type><proxy_host>h</proxy_host></proxy>\r\n"
        "  <proxy><key>BAAAAAAAAAAAAAAA</key><label>l</label><proxy_host>h</proxy_host></proxy>\r\n"
        "  <proxy><key>BQAAAAAAAAAAAAAA</key><label>l</label><type>0</type></proxy>\r\n"
        "  <proxy/>\r\n"
        "</proxies>";
    ftp_proxy_collection r;
    r.add_new();
    r.default_proxy_type = 1;
    ASSERT_TRUE(read_back(block, r));
    ASSERT_EQ(r.count(), 1);
    const ftp_proxy& p = *r.first();
    EXPECT_EQ(p.label.str(), "kept");
    EXPECT_EQ(p.type, 5);
    EXPECT_EQ(p.proxy_port, 0) << "a missing port reads as 0";
    EXPECT_EQ(p.proxy_username.str(), "");
    EXPECT_EQ(p.ftp_command.str(), "");
    EXPECT_EQ(r.default_proxy_type, 0) << "a number that does not parse reads as 0";
    EXPECT_EQ(r.default_key.str(), "") << "the stored default names no proxy";
}

TEST(FtpProxyCollection, ChooseForSession)
{
    global_ftp_settings settings;
    ftp_proxy_collection& c = settings.proxies;
    ftp_proxy* a = c.add_new();
    ftp_proxy* b = c.add_new();
    c.set_default(a);
    ftp_profile site;
    site.host.set_string("ftp.example.org");
    site.host_port = 2121;
    site.user_name.set_string("bob");
    site.password.set_string("pw");
    site.directory.set_string("/www");
    site.list_params.set_string("-la");
    site.time_difference = -3600;
    site.custom_commands.set_string("SITE UMASK 022");
    site.proxy_key = b->key;

    c.default_proxy_type = 0;
    remote_site s = site_of(settings, site);
    EXPECT_EQ(s.host.str(), "ftp.example.org");
    EXPECT_EQ(s.port, 2121);
    EXPECT_EQ(s.user_name.str(), "bob");
    EXPECT_EQ(s.password.str(), "pw");
    EXPECT_EQ(s.initial_folder.str(), "/www");
    EXPECT_EQ(options_of(settings, &site).list_parameters.str(), "-la");
    EXPECT_EQ(s.time_difference, -3600);
    EXPECT_EQ(s.custom_commands.str(), "SITE UMASK 022");
    EXPECT_FALSE(s.proxy.has_value());

    c.default_proxy_type = 1;
    s = site_of(settings, site);
    EXPECT_EQ(s.proxy ? s.proxy->key.str() : "", a->key.str());
    c.default_proxy_type = 2;
    s = site_of(settings, site);
    EXPECT_EQ(s.proxy ? s.proxy->key.str() : "", b->key.str());
    c.default_proxy_type = 3;
    s = site_of(settings, site);
    EXPECT_FALSE(s.proxy.has_value()) << "an unknown choice connects directly";
    c.default_proxy_type = 2;
    site.proxy_key.set_string("");
    s = site_of(settings, site);
    EXPECT_FALSE(s.proxy.has_value()) << "a site without a key connects directly";
    c.default_proxy_type = 1;
    c.default_key.set_string("gone");
    s = site_of(settings, site);
    EXPECT_FALSE(s.proxy.has_value());

    // The session keeps its own copy: editing or emptying the settings'
    // list afterwards (the settings dialog during a transfer) changes nothing.
    c.default_proxy_type = 2;
    site.proxy_key = b->key;
    b->proxy_host.set_string("fw.example.org");
    b->proxy_port = 2100;
    ftp_control session(site_of(settings, site), options_of(settings, &site));
    const std::string key = b->key.str();
    b->proxy_host.set_string("elsewhere.example.org");
    c.clear();
    ASSERT_TRUE(session.site().proxy.has_value());
    EXPECT_EQ(session.site().proxy->key.str(), key);
    EXPECT_EQ(session.site().proxy->proxy_host.str(), "fw.example.org");
    EXPECT_EQ(session.site().proxy->proxy_port, 2100);
}

TEST(FtpProfileRecord, Defaults)
{
    ftp_profile p;
    EXPECT_EQ(p.kind, profile_site);
    EXPECT_EQ(p.host_port, 21);
    EXPECT_EQ(p.save_password, 1);
    EXPECT_EQ(p.anonymous_login, 0);
    EXPECT_EQ(p.list_params.str(), "-al");
    EXPECT_EQ(p.time_difference_state, 0);
    std::unique_ptr<ftp_profile> group(ftp_profile::make(profile_group));
    EXPECT_TRUE(group->is_group());
    EXPECT_EQ(group->parent, nullptr);
}

}  // namespace
}  // namespace qvtf
