#include "queue/queue_panes.h"

namespace qvtf {

void queue_panes::error_text(int code, qxval& out)
{
    if (remote_session* session = browser())
        session->error_text(code, out);
    else
        out.set_bytes("status " + std::to_string(code));
}

}  // namespace qvtf
