// The one place that knows every protocol: a session of the kind the site
// asks for. Everything else names only remote_session.
#pragma once

#include <memory>

#include "remote/remote_session.h"

namespace qvtf {

// A new session of the protocol, not yet configured.
std::unique_ptr<remote_session> make_remote_session(remote_protocol protocol);
// A new session for the site, configured with it and the options.
std::unique_ptr<remote_session> make_remote_session(const remote_site& site, const remote_options& options);

}  // namespace qvtf
