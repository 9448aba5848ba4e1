// What a server said it offers in its answer to FEAT, asked once per login.
// Each extension is used only when offered; known is false until the server
// answered (a server without FEAT offers none of them).
#pragma once

#include <string>

namespace qvtf {

struct server_features {
    bool known = false;
    bool mlsd = false;  // MLST in the answer offers MLSD too
    bool mlst = false;
    bool mdtm = false;
    bool mfmt = false;
    bool size = false;
    bool rest_stream = false;
    bool utf8 = false;
    bool epsv = false;
    bool auth_tls = false;
    // The facts MLST named, as given ("type*;size*;modify*;").
    std::string mlst_facts;

    // "MLSD MDTM SIZE ..." for the log; "" when none.
    std::string names() const;
};

}  // namespace qvtf
