// Tests change a session's inputs the way its owners do: as new values of
// its site and options, handed over whole. inputs(s).site().port = 2121;
// configures s when the statement ends.
#pragma once

#include "remote/remote_session.h"

namespace qvtf::test {

class inputs {
public:
    explicit inputs(remote_session& session) : site_(session.site()), options_(session.options()), session_(session) {}
    ~inputs() { session_.configure(site_, options_); }
    inputs(const inputs&) = delete;
    inputs& operator=(const inputs&) = delete;

    remote_site& site() { return site_; }
    remote_options& options() { return options_; }

private:
    remote_site site_;
    remote_options options_;
    remote_session& session_;
};

}  // namespace qvtf::test
