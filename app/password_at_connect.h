// The password a site keeps nowhere, asked when it connects: the user chose
// not to store it (for the site or for all), or the keyring that keeps it did
// not answer at start. The answer stays in memory for the run, so that the
// queue's workers log in with it too.
#pragma once

#include <cstdint>
#include <functional>

class QWidget;
namespace qvtf {
class qxlang;
struct ftp_profile;
}  // namespace qvtf

// Whether connecting node (a site or a bookmark) must ask for its password
// first; storage is the settings' password_storage.
bool password_asked_at_connect(const qvtf::ftp_profile& node, int32_t storage);

// Asks when password_asked_at_connect says so; write makes the change under
// the queue's lock. false when the user cancelled.
bool password_for_connect(QWidget* parent, const qvtf::qxlang* language, int32_t storage, qvtf::ftp_profile* node,
                          const std::function<void(const std::function<void()>&)>& write);
