// The remote side of a synchronisation: folders listed on the browser
// connection, with the session's clock offset already applied to the times.
#pragma once

#include "remote/remote_result.h"
#include "sync/sync_side.h"

namespace qvtf {

class remote_session;

class sync_remote_side : public sync_side {
public:
    explicit sync_remote_side(remote_session& session) : session_(session) {}

    sync_listing_quality last_listing() const override { return quality_; }
    // The last failure of list, with what the server said.
    const remote_result& last_failure() const { return failure_; }
    int list(const std::string& path, std::vector<sync_entry>& out) override;
    // A link that can be entered is a folder; otherwise a file, whose size
    // and time are asked for when the server knows them.
    void resolve_link(const std::string& path, sync_entry& entry) override;
    // MDTM, where the server offers it.
    void exact_time(const std::string& path, sync_entry& entry) override;

private:
    remote_session& session_;
    sync_listing_quality quality_;
    remote_result failure_;
};

}  // namespace qvtf
