// The user's message for a status code.
#include "ftp/ftp_control.h"
#include "remote/remote_error_text.h"

namespace qvtf {

void ftp_control::error_text(const remote_result& failure, qxval& out) const
{
    remote_error_text(*this, failure, out);
}

}  // namespace qvtf
