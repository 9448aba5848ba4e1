// The SFTP fields of a site: absent from profiles written before them (read
// as FTP), written only for SFTP sites, the passphrase kept like the
// password.
#include <gtest/gtest.h>

#include <string>

#include "profile_test_util.h"

namespace qvtf {
namespace {

using namespace profile_test;

class ProfileSftp : public ProfileFolder {};

TEST_F(ProfileSftp, OldProfilesAreFtpAndSftpFieldsRoundTrip)
{
    ftp_profile_tree t;
    ASSERT_EQ(t.reset(lang()), profile_ok);
    ftp_profile* ftp = add(t, profile_site, "ftp");
    ftp_profile* sftp = add(t, profile_site, "sftp");
    sftp->protocol = 1;
    sftp->host_port = 22;
    sftp->ssh_auth = 2;
    sftp->ssh_key_file.set_string("/home/u/.ssh/id_ed25519");
    sftp->ssh_key_passphrase.set_string("secret phrase");
    sftp->ssh_use_config = 1;
    ASSERT_EQ(t.save(path(), key), profile_ok);
    const std::string text = slurp(file);
    EXPECT_EQ(text.find("secret phrase"), std::string::npos) << "kept like the password";
    // The FTP site's line carries nothing new.
    const std::string ftp_line = text.substr(text.find("label=\"ftp\""));
    EXPECT_EQ(ftp_line.substr(0, ftp_line.find('\n')).find("protocol"), std::string::npos);
    (void)ftp;

    ftp_profile_tree back;
    ASSERT_EQ(back.load(path(), key, lang()), profile_ok);
    ftp_profile* first = back.top()->first_child;
    ASSERT_TRUE(first && first->next);
    EXPECT_EQ(first->protocol, 0);
    const ftp_profile& s = *first->next;
    EXPECT_EQ(s.protocol, 1);
    EXPECT_EQ(s.ssh_auth, 2);
    EXPECT_EQ(s.ssh_key_file.str(), "/home/u/.ssh/id_ed25519");
    EXPECT_EQ(s.ssh_key_passphrase.str(), "secret phrase");
    EXPECT_EQ(s.ssh_use_config, 1);
}

}  // namespace
}  // namespace qvtf
