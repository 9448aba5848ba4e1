// What a session takes from the profile and the settings before it connects
// to a site, turned into its input values in one place for every front end
// (panes, queue workers, qvtf-cli).
#pragma once

#include "profiles/ftp_profile.h"
#include "remote/remote_site.h"
#include "settings/global_ftp_settings.h"

namespace qvtf {

// The profile's login, start folder, clock offset and custom commands, with
// the proxy the settings choose for it.
remote_site site_of(const global_ftp_settings& settings, const ftp_profile& profile);
remote_site site_of(const ftp_proxy_collection& proxies, const ftp_profile& profile);

// Passive mode with its fallback to PORT and whether the PASV reply's
// address is trusted, from the settings; the list parameters from the
// profile, when there is one.
remote_options options_of(const global_ftp_settings& settings, const ftp_profile* profile = nullptr);

// The part of options_of that does not depend on the site.
void apply_data_connection_settings(const global_ftp_settings& settings, remote_options& options);

}  // namespace qvtf
