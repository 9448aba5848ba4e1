// The desktop's services behind the local pane: deleting to the trash,
// opening a file with the program the desktop chooses, and the names of
// file types. The local lister
// takes it at construction.
#pragma once

#include "browse/local_paths.h"

class pane_platform : public qvtf::local_file_platform {
public:
    // Paths in order; the index of the first that failed, or -1. With
    // to_trash, an entry the trash cannot take is reported, never removed
    // for real instead.
    int remove(const std::vector<std::string>& paths, bool to_trash) override;
    // "open" hands the file to the desktop (from any thread).
    bool run_verb(const std::string& path, const std::string& verb) override;
    // The shared MIME database's comment, by the name alone (any thread).
    std::string type_name(const std::string& path, bool is_folder) override;
};
