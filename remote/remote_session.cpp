#include "remote/remote_session.h"

namespace qvtf {

const char* remote_state_name(remote_state state)
{
    switch (state) {
    case remote_state::disconnected: return "disconnected";
    case remote_state::connecting: return "connecting";
    case remote_state::connected: return "connected";
    case remote_state::logged_in: return "logged in";
    case remote_state::closing: return "closing";
    }
    return "?";
}

}  // namespace qvtf
