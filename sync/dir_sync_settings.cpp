#include "sync/dir_sync_settings.h"

#include <ctime>

namespace qvtf {

void dir_sync_settings::reset()
{
    recursive = 0;
    rules.assign(1, sync_rule::default_word);
    delete_missing = 0;
    files_include.set_string("*");
    files_skip.set_string("");
    folders_include.set_string("*");
    folders_skip.set_string("");
    const std::time_t now = std::time(nullptr);
    filter.time_filter = 0;
    filter.time_start = now;
    filter.time_end = now;
    filter.size_filter = 0;
    filter.size_minimum = 0;
    filter.size_maximum = 1048576;
    filter.attribute_mode = 0;
    filter.attribute_mask = 0;
    compile_masks();
}

int dir_sync_settings::compile_masks()
{
    return filter.files_include.compile(files_include) + filter.files_skip.compile(files_skip) +
           filter.folder_include.compile(folders_include) + filter.folder_skip.compile(folders_skip);
}

bool dir_sync_settings::deletes_missing() const
{
    const int32_t d = direction();
    return delete_missing != 0 && (d == sync_rule::upload || d == sync_rule::download);
}

}  // namespace qvtf
