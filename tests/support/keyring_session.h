// A private D-Bus session bus with a Secret Service on it: dbus-daemon on a
// socket in a temporary folder, and gnome-keyring-daemon unlocked with a
// known password, its keyrings in that folder too. Both stop when the object
// goes away; the user's own bus and keyring are never touched.
//
//   qvtf::test::keyring_session keyring;
//   if (!keyring.ok()) GTEST_SKIP() << keyring.why();
//   ... run a program with DBUS_SESSION_BUS_ADDRESS=keyring.address() ...
#pragma once

#include <string>

#include "process.h"

namespace qvtf::test {

class keyring_session {
public:
    keyring_session();
    ~keyring_session();

    bool ok() const { return ok_; }
    // Why it could not start (a missing package, a daemon that did not answer).
    const std::string& why() const { return why_; }
    const std::string& address() const { return address_; }

private:
    temp_folder folder_{"qvtf-keyring"};
    child_process bus_;
    child_process keyring_;
    std::string address_;
    std::string why_;
    bool ok_ = false;
};

}  // namespace qvtf::test
