// What a session takes from the settings before it connects to a site, in
// one place for every front end (panes, queue workers, qvtf-cli).
#pragma once

#include "ftp/ftp_control.h"
#include "profiles/ftp_profile.h"
#include "settings/global_ftp_settings.h"

namespace qvtf {

// The site's login, start folder, list parameters, clock offset and custom
// commands; the proxy the settings choose for it; passive mode with its
// fallback to PORT; whether the PASV reply's address is trusted.
void apply_session_settings(const global_ftp_settings& settings, const ftp_profile& site, ftp_control& session);

// The part that does not depend on the site: passive mode with its fallback
// to PORT, and whether the PASV reply's address is trusted.
void apply_data_connection_settings(const global_ftp_settings& settings, ftp_control& session);

}  // namespace qvtf
