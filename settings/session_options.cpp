#include "settings/session_options.h"

namespace qvtf {

void apply_session_settings(const global_ftp_settings& settings, const ftp_profile& site, ftp_control& session)
{
    settings.proxies.choose_for_session(site, session);
    apply_data_connection_settings(settings, session);
}

void apply_data_connection_settings(const global_ftp_settings& settings, ftp_control& session)
{
    session.passive = settings.is_passive ? 1 : 0;
    session.allow_passive_drop_to_port = settings.allow_passive_drop_to_port ? 1 : 0;
    session.trust_pasv_address = settings.trust_pasv_address ? 1 : 0;
}

}  // namespace qvtf
