#include "protocols/remote_factory.h"

#include "ftp/ftp_control.h"
#include "sftp/sftp_session.h"

namespace qvtf {

std::unique_ptr<remote_session> make_remote_session(remote_protocol protocol)
{
    switch (protocol) {
    case remote_protocol::ftp: return std::make_unique<ftp_control>();
    case remote_protocol::sftp: return std::make_unique<sftp_session>();
    }
    return std::make_unique<ftp_control>();
}

std::unique_ptr<remote_session> make_remote_session(const remote_site& site, const remote_options& options)
{
    std::unique_ptr<remote_session> session = make_remote_session(site.protocol);
    session->configure(site, options);
    return session;
}

}  // namespace qvtf
