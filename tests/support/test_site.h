// A site profile that logs in to a test server on loopback.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "profiles/ftp_profile.h"

namespace qvtf::test {

// The clock check is off: tests that want it turn it on. Plain FTP.
inline std::unique_ptr<ftp_profile> loopback_site(uint16_t port, const std::string& user, const std::string& password)
{
    std::unique_ptr<ftp_profile> site(ftp_profile::make(profile_site));
    site->host.set_string("127.0.0.1");
    site->host_port = port;
    site->user_name.set_bytes(user);
    site->password.set_bytes(password);
    site->time_difference_state = time_difference_switched_off;
    // The test servers speak plain FTP; TLS has tests of its own.
    site->encryption = encryption_plain;
    return site;
}

}  // namespace qvtf::test
