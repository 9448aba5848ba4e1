#include "settings/session_options.h"

namespace qvtf {

remote_site site_of(const global_ftp_settings& settings, const ftp_profile& profile)
{
    return site_of(settings.proxies, profile);
}

remote_site site_of(const ftp_proxy_collection& proxies, const ftp_profile& profile)
{
    remote_site site;
    site.host = profile.host;
    site.port = profile.host_port;
    site.user_name = profile.user_name;
    site.password = profile.password;
    site.initial_folder = profile.directory;
    site.time_difference = profile.time_difference;
    site.custom_commands = profile.custom_commands;
    site.proxy = proxies.proxy_for(profile);
    site.encryption = profile.encryption >= encryption_plain && profile.encryption <= encryption_implicit
                          ? static_cast<remote_encryption>(profile.encryption)
                          : remote_encryption::require_explicit;
    site.protocol = profile.protocol == 1 ? remote_protocol::sftp : remote_protocol::ftp;
    site.ssh.method = static_cast<ssh_auth_method>(profile.ssh_auth >= 0 && profile.ssh_auth <= 4 ? profile.ssh_auth : 0);
    site.ssh.key_file = profile.ssh_key_file;
    site.ssh.key_passphrase = profile.ssh_key_passphrase;
    site.ssh.use_config = profile.ssh_use_config != 0;
    if (site.protocol == remote_protocol::sftp && site.proxy && !site.proxy->is_socks())
        site.proxy.reset();  // an FTP firewall carries no SSH
    return site;
}

remote_options options_of(const global_ftp_settings& settings, const ftp_profile* profile)
{
    remote_options options;
    apply_data_connection_settings(settings, options);
    if (profile)
        options.list_parameters = profile->list_params;
    return options;
}

void apply_data_connection_settings(const global_ftp_settings& settings, remote_options& options)
{
    options.passive = settings.is_passive;
    options.allow_passive_drop_to_port = settings.allow_passive_drop_to_port;
    options.trust_pasv_address = settings.trust_pasv_address;
    options.extended_data = settings.extended_data_commands;
}

}  // namespace qvtf
