// The remote side of a synchronisation: folders listed on the browser
// connection, with the session's clock offset already applied to the times.
#pragma once

#include "sync/sync_side.h"

namespace qvtf {

class ftp_control;

class sync_remote_side : public sync_side {
public:
    explicit sync_remote_side(ftp_control& session) : session_(session) {}

    sync_listing_quality last_listing() const override { return quality_; }
    int list(const std::string& path, std::vector<sync_entry>& out) override;
    // A link that can be entered is a folder; otherwise a file, whose size
    // and time are asked for with SIZE and MDTM when the server knows them.
    void resolve_link(const std::string& path, sync_entry& entry) override;

private:
    ftp_control& session_;
    sync_listing_quality quality_;
};

}  // namespace qvtf
