// The user's message for a failure of any remote session: its phrase, the
// server's reply or the cause the result carries.
#pragma once

#include "core/qxval.h"
#include "remote/remote_session.h"

namespace qvtf {

void remote_error_text(const remote_session& session, const remote_result& failure, qxval& out);

}  // namespace qvtf
