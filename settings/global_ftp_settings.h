// global_ftp_settings: every user preference that is not tied to a site, kept
// in "qorx_gfs.txt" in the user data folder as one XML element per key
// followed by the <proxies> block. One instance lives for the whole run; the
// other subsystems read and write its fields directly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/qxval.h"
#include "ftp/ftp_proxy.h"
#include "settings/program_folders.h"

namespace qvtf {

// The keys of the settings file, each a field named as its key, in file
// order. Plain values, so a whole set can be copied and compared.
struct global_ftp_values {
    // Title, visible (0 or 1) and width of each of the five columns: 15 values.
    std::vector<std::string> local_columns = default_columns();
    std::vector<std::string> remote_columns = default_columns();
    int32_t local_sort = 4;
    int32_t remote_sort = 4;
    bool local_invert = false;
    bool remote_invert = false;
    bool owner_exe_bit_enabled = false;
    int32_t transfer_type = 2;         // 0 binary, 1 ASCII, 2 automatic by name
    int32_t max_download_threads = 5;  // 0: transfers run on the browser connection
    int32_t retry_count = 3;           // below 1 acts as 1
    bool is_passive = true;
    bool allow_passive_drop_to_port = true;
    bool do_download_log = false;  // kept, not acted on
    std::string download_file_name = "file_transfer_log.txt";
    std::string download_log_format = "[%t] %x %c [%f] [%F] %B %T";
    // Widths of the queue view's 11 columns in display order.
    std::vector<int32_t> q_cw = {40, 150, 70, 90, 90, 80, 80, 150, 150, 45, 70};
    int32_t program_left = 0;
    int32_t program_top = 0;
    int32_t program_width = 800;
    int32_t program_height = 560;
    std::vector<std::string> top_zone_controls = {"LogRichEdit"};
    std::vector<std::string> bottom_zone_controls = {"QueuePanel"};
    int32_t top_zone_height = 80;
    int32_t bottom_zone_height = 100;
    std::string top_zone_stream;  // the window layer's own layout text
    std::string middle_zone_stream;
    std::string bottom_zone_stream;
    bool top_zone_stream_set = false;
    bool middle_zone_stream_set = false;
    bool bottom_zone_stream_set = false;
    int32_t local_browser_folder_pane_width = 150;
    int32_t remote_browser_folder_pane_width = 150;
    bool local_browser_folder_pane_visible = true;
    bool remote_browser_folder_pane_visible = true;
    // The user's home folder (there is no drive root to fall back on here).
    std::string last_used_local_folder = default_local_folder();
    std::string lf_files_include = "*";
    std::string lf_files_skip;
    bool lf_time_filter = false;
    int32_t lf_time_start = 0;  // seconds since 1970 UTC
    int32_t lf_time_end = 0;
    bool lf_size_filter = false;
    int32_t lf_size_start = 0;  // bytes
    int32_t lf_size_end = 1048576;
    std::string rf_files_include = "*";
    std::string rf_files_skip;
    bool rf_time_filter = false;
    int32_t rf_time_start = 0;
    int32_t rf_time_end = 0;
    bool rf_size_filter = false;
    int32_t rf_size_start = 0;
    int32_t rf_size_end = 1048576;
    bool set_remote_time_on_download = true;
    std::string coolband_config;  // the window layer's toolbar arrangement
    bool coolband_config_set = false;
    bool password_stored = true;  // kept; nothing else uses it
    // The key record (raw bytes; Base64 without line breaks in the file).
    std::string user_data;
    int32_t sync_time_equal_interval = 600;
    bool download_failures_popups = true;
    bool do_command_log = false;  // kept, not acted on
    std::string command_log_file_name = "command_log.txt";
    bool delete_confirm_prompt = true;
    bool local_delete_to_recycler = true;
    bool case_insensitive_sort = true;
    int32_t sounds = 15;  // sound_* bits
    // Passive data connections go to the 227 reply's address instead of the
    // control connection's; only for the rare server that needs it. Files
    // written before the key existed read as off.
    bool trust_pasv_address = false;
    // EPSV and EPRT before PASV and PORT on IPv4 (IPv6 has only them). Files
    // written before the key existed read as on.
    bool extended_data_commands = true;
    // What a transfer does when its target exists, by the names of
    // exists_action ("ask", "overwrite", "size-or-time"...). Files written
    // before the keys existed overwrite, as every transfer did then; a new
    // installation's window asks.
    std::string download_exists = "overwrite";
    std::string upload_exists = "overwrite";
    // Editing remote files in place: the editor's command line (the file is
    // appended; empty: the desktop's application for the type), whether a
    // saved file goes up without asking, and what a double-click on a
    // remote file does (0 download, 1 view/edit).
    std::string edit_command;
    bool edit_upload_at_once = false;
    int32_t remote_double_click = 0;
    // Where site and proxy passwords are kept (password_storage). Files
    // written before the key existed keep them in the desktop's keyring once
    // one answers, the file otherwise, as before.
    int32_t password_storage = 0;

    bool operator==(const global_ftp_values&) const = default;

    static std::vector<std::string> default_columns();
    // $HOME, else the password database's home, else "/"; ends without "/"
    // unless it is the root.
    static std::string default_local_folder();
};

// Values of "password_storage".
enum password_storage_choice : int32_t {
    passwords_in_keyring = 0,  // the desktop's keyring when one answers, else scrambled in the files
    passwords_in_files = 1,    // scrambled in the files
    passwords_not_stored = 2,  // nowhere: asked at connect, kept in memory for the run
};

// Bits of "sounds".
enum settings_sound : int32_t {
    sound_connect = 1,     // "connect.wav"
    sound_disconnect = 2,  // "disconnect.wav"
    sound_transfer = 4,    // "transfer.wav" when the queue becomes empty
    sound_beep = 8,        // the system beep after a remote file operation
};

// Codes of load and save beyond the XML reader's own (1 cannot open,
// 2 syntax), in a range of their own so that a caller can tell them apart.
enum settings_load_status : int32_t {
    settings_ok = 0,
    settings_no_proxy = 3001,     // no default proxy could be created
    settings_bad_list = 3002,     // a column list of the wrong length
    settings_no_key = 3003,       // no scrambling key: none in the record and none could be made,
                                  // or a save that would have to drop proxy passwords
    settings_not_written = 3004,  // the user folder or the file could not be written
    settings_bad_value = 3005,    // a number that is not one, or out of its key's range
    settings_foreign = 3006,      // a file that holds no settings key at all
};

class global_ftp_settings : public global_ftp_values {
public:
    static constexpr const char* file_name = "qorx_gfs.txt";
    static constexpr int key_size = 32;

    qxval settings_path{""};   // the settings file
    qxval program_folder{""};  // ends in "/"; "help/" and "sounds/" live here
    qxval key{""};             // password-scrambling key, key_size bytes when set
    ftp_proxy_collection proxies;

    global_ftp_settings() = default;
    global_ftp_settings(const global_ftp_settings&) = delete;
    global_ftp_settings& operator=(const global_ftp_settings&) = delete;

    // Sets the program folder (a "/" is added when missing) and the
    // settings path inside it (a portable layout).
    void set_program_folder(const qxval& folder);
    // The program folder from folders, the settings path in the user folder.
    void set_folders(const program_folders& folders);

    // Reads settings_path. 0; the XML reader's code when the file cannot be
    // opened or parsed; settings_bad_list for a column list or "q_cw" of the
    // wrong length; settings_bad_value for a number that is not one or is out
    // of range; settings_foreign for a file without any key of ours; the
    // proxy reader's code; settings_no_proxy. The keys are
    // changed only when the whole file was read; the proxies afterwards.
    // Always leaves at least one proxy, the first being the default.
    int32_t load();
    // Writes every key and the proxies block (passwords scrambled with key)
    // to settings_path in one atomic replacement, mode 0600. 0, or non-zero
    // with the previous file left as it was.
    int32_t save() const;

    // The file's lines: one per key in order, each ending in CR LF, then the
    // proxies block. 0, or the proxy writer's code.
    int32_t write_lines(qxarr& lines) const;
    // The text of "sounds/<name>" in the program folder.
    qxval sound_path(const char* name) const;

    // Makes the collection's first proxy the default, creating one when there
    // is none. false when none could be created.
    bool ensure_default_proxy();
};

// What start_settings found.
struct settings_start_result {
    int32_t status = 0;      // 0, or load's code: the program shows phrase 28 and stops
    bool first_run = false;  // no settings file yet: defaults, written at exit
    bool new_key = false;    // no usable key record: a new key was made
};

// Start-up of the settings: sets the folders (one folder for both, or the
// program and user folders), then loads "qorx_gfs.txt"; a
// missing file is a first run with the defaults and one default proxy. Then
// obtains the scrambling key (obtain_settings_key) and turns the proxies'
// stored passwords into clear text. Touches no file.
settings_start_result start_settings(global_ftp_settings& settings, const qxval& program_folder);
settings_start_result start_settings(global_ftp_settings& settings, const program_folders& folders);

// Takes the key from the record in user_data; when the record is missing or
// unusable makes a new key and puts its record into user_data, so that the
// next save keeps it. true when a new key was made. When no random bytes can
// be had the key is left empty.
bool obtain_settings_key(global_ftp_settings& settings);

// The record that user_data holds for key, and its inverse: false (key
// untouched) for a record that is damaged, foreign or of an unknown version,
// or whose key the triple-DES key schedule refuses.
std::string make_key_record(const qxval& key);
bool key_from_record(std::string_view record, qxval& key);

}  // namespace qvtf
