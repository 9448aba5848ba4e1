// chmod_plan: what one permission change sets on folders and on files. A
// recursive change usually wants folders enterable (x) but plain files not
// executable, so files may take a value of their own, and either kind may be
// left alone.
#pragma once

namespace qvtf {

enum chmod_targets : int {
    chmod_all = 0,
    chmod_files_only = 1,
    chmod_folders_only = 2,
};

struct chmod_plan {
    unsigned folder_bits = 0;
    unsigned file_bits = 0;
    int targets = chmod_all;

    // The same bits on everything (a plain chmod -R).
    static chmod_plan same(unsigned bits) { return {bits, bits, chmod_all}; }
    // Files of a recursive change by default: the folders' value without the
    // execute bits, and without set-ID and sticky, which mean nothing useful
    // on a plain file. 0775 gives 0664, 02775 gives 0664.
    static unsigned default_file_bits(unsigned folder_bits) { return folder_bits & 0666u; }

    bool changes(bool is_folder) const { return targets == chmod_all || (targets == chmod_folders_only) == is_folder; }
    unsigned bits_for(bool is_folder) const { return is_folder ? folder_bits : file_bits; }
};

}  // namespace qvtf
