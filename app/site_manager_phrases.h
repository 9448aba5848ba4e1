// Phrase numbers of the site manager dialog.
#pragma once

namespace site_manager_phrases {

enum : int {
    p_error = 12,
    p_cant_open = 64,
    p_delete = 105,
    p_browse = 265,
    p_close = 271,
    p_help = 364,
    p_new_item = 216,
    p_status_site = 224,
    p_status_group = 225,
    p_status_created = 226,
    p_status_saved = 227,
    p_status_undone = 228,
    p_choose_local = 230,
    p_pending = 231,
    p_pending_caption = 232,
    p_delete_caption = 233,
    p_delete_question = 234,
    p_site_manager = 237,
    p_incomplete = 239,
    p_empty_host = 240,
    p_bad_port = 241,
    p_empty_user = 242,
    p_save_failed = 244,
    p_save_before_connect = 245,
    p_empty_password = 479,
    p_in_use = 205,
    p_site_menu = 222,
    p_connect = 220,
    p_save = 214,
    p_undo = 215,
};

}  // namespace site_manager_phrases
