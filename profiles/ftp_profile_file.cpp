// Reading and writing "site_profiles.xml".
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/qxarr.h"
#include "core/qxfiles.h"
#include "core/qxfiles_atomic.h"
#include "core/qxscramble.h"
#include "markup/qxlang.h"
#include "markup/xml_io.h"
#include "markup/xml_node.h"
#include "profiles/ftp_profile_tree.h"

namespace qvtf {

namespace {

constexpr std::string_view line_end = "\r\n";

int32_t kind_of_element(std::string_view name)
{
    if (name == "group")
        return profile_group;
    if (name == "site")
        return profile_site;
    if (name == "bookmark")
        return profile_bookmark;
    return 0;
}

bool parent_allows(const ftp_profile* parent, int32_t kind)
{
    return kind == profile_bookmark ? parent->is_site() : parent->is_group();
}

void read_text(const xml_node& x, const char* name, qxval& field)
{
    if (qxval* v = x.attributes.find(qxval(name)))
        field.set_bytes(v->view());
}

void read_int(const xml_node& x, const char* name, int32_t& field)
{
    if (qxval* v = x.attributes.find(qxval(name)))
        field = v->as_int();
}

void read_flag(const xml_node& x, const char* name, uint8_t& field)
{
    if (qxval* v = x.attributes.find(qxval(name)))
        field = v->as_bool() ? 1 : 0;
}

constexpr const char* encryption_names[] = {"plain", "explicit_if_available", "require_explicit", "implicit"};

int32_t encryption_from(const xml_node& x)
{
    const qxval* v = x.attributes.find(qxval("encryption"));
    if (!v)
        return encryption_plain;
    for (int32_t i = 0; i < 4; ++i)
        if (v->view() == encryption_names[i])
            return i;
    // A mode of a later version: never less protection than TLS.
    return encryption_require_explicit;
}

int32_t place_from(const xml_node& x, const char* name)
{
    const qxval* v = x.attributes.find(qxval(name));
    return v && v->view() == "keyring" ? password_in_keyring : password_in_file;
}

void read_profile(const xml_node& x, ftp_profile& p, const qxval& key, const qxlang& language)
{
    read_text(x, "label", p.label);
    if (p.is_site()) {
        read_text(x, "host", p.host);
        read_int(x, "host_port", p.host_port);
        read_text(x, "user_name", p.user_name);
        if (qxval* stored = x.attributes.find(qxval("password")))
            read_stored_password(*stored, key, p.password);
        read_flag(x, "anonymous_login", p.anonymous_login);
        read_flag(x, "save_password", p.save_password);
        read_text(x, "list_params", p.list_params);
        read_int(x, "time_difference_set", p.time_difference_state);
        // Nothing measured survives a restart: only the user's "switched
        // off" is a state worth keeping, anything else means "measure".
        if (p.time_difference_state != time_difference_switched_off)
            p.time_difference_state = time_difference_unmeasured;
        read_text(x, "proxy_key", p.proxy_key);
        read_text(x, "custom_commands", p.custom_commands);
        p.encryption = encryption_from(x);
        // Profiles written before SFTP have none of these: FTP, as before.
        qxval protocol("");
        read_text(x, "protocol", protocol);
        p.protocol = protocol.view() == "SFTP" ? 1 : 0;
        read_int(x, "ssh_auth", p.ssh_auth);
        if (p.ssh_auth < 0 || p.ssh_auth > 4)
            p.ssh_auth = 0;
        read_text(x, "ssh_key_file", p.ssh_key_file);
        if (qxval* stored = x.attributes.find(qxval("ssh_key_passphrase")))
            read_stored_password(*stored, key, p.ssh_key_passphrase);
        read_flag(x, "ssh_config", p.ssh_use_config);
        p.password_place = place_from(x, "password_in");
        p.passphrase_place = place_from(x, "ssh_key_passphrase_in");
        read_text(x, "keyring_id", p.keyring_id);
        apply_anonymous(p, language);
    }
    if (p.is_site() || p.is_bookmark()) {
        read_text(x, "directory", p.directory);
        read_text(x, "local_dir", p.local_dir);
    }
}

bool file_exists(const qxval& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Keeps a file the last load could not use under path + ".damaged", as a
// hard link so that it stays in place until the new file is renamed over it.
bool keep_damaged(const qxval& path)
{
    std::string aside = path.str() + ".damaged";
    ::unlink(aside.c_str());
    if (::linkat(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (!file_exists(path))
        return true;  // gone meanwhile: nothing left to lose
    return copy_file(path, qxval(aside), true);
}

// Builds the document top-down. Every open element remembers its last
// child, so appending stays constant time however many sites a group holds.
class document_builder {
public:
    explicit document_builder(xml_tree& doc) : doc_(doc) {}

    xml_node* add(int32_t kind, std::string_view name)
    {
        auto* n = new xml_node;
        n->kind = kind;
        n->name.set_bytes(name);
        if (open_.empty()) {
            doc_.append_top(n);
        } else {
            auto& [element, last] = open_.back();
            if (last)
                doc_.insert_after(n, last);
            else
                doc_.append_child(n, element);
            last = n;
        }
        return n;
    }

    // A line end and the indent of the next node.
    void add_break() { add_line(open_.size()); }

    void open(xml_node* element) { open_.push_back({element, nullptr}); }

    // The end tag of the innermost open element, on a line of its own when
    // the element has children.
    void close()
    {
        xml_node* element = open_.back().first;
        if (element->first_child)
            add_line(open_.size() - 1);
        add(xml_kind_end_tag, element->name.view());
        open_.pop_back();
    }

private:
    void add_line(std::size_t tabs)
    {
        std::string s(line_end);
        s.append(tabs, '\t');
        xml_node* n = add(xml_kind_text, "");
        n->raw.set_bytes(s);
        n->text.set_bytes(s);
    }

    xml_tree& doc_;
    std::vector<std::pair<xml_node*, xml_node*>> open_;  // element, its last child
};

void set_attr(xml_node* n, const char* name, const qxval& value)
{
    qxval text("");
    text.set_text_of(value);
    n->attributes.set(qxval(name), text);
}

void set_attr(xml_node* n, const char* name, int32_t value)
{
    set_attr(n, name, qxval(std::to_string(value)));
}

void set_if_not_empty(xml_node* n, const char* name, const qxval& value)
{
    if (!value.view().empty())
        set_attr(n, name, value);
}

bool writes_password(const ftp_profile& p)
{
    return p.is_site() && p.save_password && !p.anonymous_login;
}

// The marker of a password the keyring keeps; none for one in the file, so
// that older versions read the file as they always did.
void set_place(xml_node* e, const char* name, int32_t place)
{
    if (place == password_in_keyring)
        set_attr(e, name, qxval("keyring"));
}

xml_node* add_profile(document_builder& doc, const ftp_profile& p, const qxval& key, bool store_passwords)
{
    xml_node* e;
    switch (p.kind) {
    case profile_group:
        e = doc.add(xml_kind_start_tag, "group");
        set_attr(e, "label", p.label);
        break;
    case profile_site:
        e = doc.add(xml_kind_start_tag, "site");
        set_attr(e, "label", p.label);
        set_attr(e, "host", p.host);
        set_attr(e, "host_port", p.host_port);
        set_attr(e, "user_name", p.user_name);
        set_attr(e, "anonymous_login", p.anonymous_login ? 1 : 0);
        set_attr(e, "save_password", p.save_password ? 1 : 0);
        if (writes_password(p) && store_passwords && p.password_place == password_in_file) {
            qxval stored("");
            store_password(p.password, key, stored);
            set_attr(e, "password", stored);
        }
        set_place(e, "password_in", p.password_place);
        set_if_not_empty(e, "keyring_id", p.keyring_id);
        set_if_not_empty(e, "directory", p.directory);
        set_if_not_empty(e, "local_dir", p.local_dir);
        set_if_not_empty(e, "list_params", p.list_params);
        set_attr(e, "time_difference_set",
                 p.time_difference_state == time_difference_switched_off ? time_difference_switched_off : 0);
        set_if_not_empty(e, "proxy_key", p.proxy_key);
        set_if_not_empty(e, "custom_commands", p.custom_commands);
        set_attr(e, "encryption",
                 qxval(encryption_names[p.encryption >= 0 && p.encryption < 4 ? p.encryption : encryption_require_explicit]));
        if (p.protocol == 1) {
            set_attr(e, "protocol", qxval("SFTP"));
            set_attr(e, "ssh_auth", p.ssh_auth);
            set_if_not_empty(e, "ssh_key_file", p.ssh_key_file);
            if (writes_password(p) && store_passwords && p.passphrase_place == password_in_file &&
                !p.ssh_key_passphrase.view().empty()) {
                qxval stored("");
                store_password(p.ssh_key_passphrase, key, stored);
                set_attr(e, "ssh_key_passphrase", stored);
            }
            set_place(e, "ssh_key_passphrase_in", p.passphrase_place);
            set_attr(e, "ssh_config", p.ssh_use_config ? 1 : 0);
        }
        break;
    default:
        e = doc.add(xml_kind_empty_tag, "bookmark");
        set_attr(e, "label", p.label);
        set_attr(e, "directory", p.directory);
        set_attr(e, "local_dir", p.local_dir);
        break;
    }
    return e;
}

// The document for the tree below top. Iterative, so a deep tree does not
// recurse.
void build_document(xml_tree& tree, const ftp_profile* top, const qxval& key, bool store_passwords)
{
    document_builder doc(tree);
    doc.open(doc.add(xml_kind_start_tag, "sites"));
    const ftp_profile* p = top ? top->first_child : nullptr;
    while (p) {
        doc.add_break();
        xml_node* e = add_profile(doc, *p, key, store_passwords);
        // Anything but a group or a site is written as a bookmark: an empty
        // element, without the children it should not have.
        if (p->is_group() || p->is_site()) {
            doc.open(e);
            if (p->first_child) {
                p = p->first_child;
                continue;
            }
            doc.close();
        }
        while (p && !p->next) {
            p = p->parent;
            if (p == top) {
                p = nullptr;
                break;
            }
            doc.close();
        }
        if (p)
            p = p->next;
    }
    doc.close();
    doc.add_break();
}

}  // namespace

int32_t ftp_profile_tree::load(const qxval& path, const qxval& key, const qxlang& language)
{
    damaged_path_.set_bytes("", 0);
    load_error_.set_bytes("", 0);
    if (int32_t status = reset(language))
        return status;
    ftp_profile* top = tree.root;

    xml_tree doc;
    qxval error("");
    if (int32_t read = xml_read_file(path, doc, error)) {
        // A missing file is a first run. One that exists but cannot be used
        // is remembered, so that saving cannot silently destroy it.
        if (read != 1 || file_exists(path)) {
            damaged_path_ = path;
            load_error_ = error;
        }
        return profile_ok;
    }

    const xml_node* root = doc.root;
    while (root && !root->is_element())
        root = root->next;
    if (!root)
        return profile_ok;

    struct frame {
        const xml_node* next;  // next XML child to look at
        ftp_profile* parent;
        ftp_profile* last;  // parent's last child so far: appending is constant time
    };
    std::vector<frame> stack{{root->first_child, top, nullptr}};
    while (!stack.empty()) {
        frame& f = stack.back();
        const xml_node* x = f.next;
        if (!x) {
            stack.pop_back();
            continue;
        }
        f.next = x->next;
        ftp_profile* parent = f.parent;
        if (!x->is_element())
            continue;
        int32_t kind = kind_of_element(x->name.view());
        if (!kind || !parent_allows(parent, kind))
            continue;
        ftp_profile* p = ftp_profile::make(kind);
        if (!p)
            return profile_no_memory;
        read_profile(*x, *p, key, language);
        if (f.last)
            tree.insert_after(p, f.last);
        else
            tree.append_child(p, parent);
        f.last = p;
        if (kind != profile_bookmark && x->first_child)
            stack.push_back({x->first_child, p, nullptr});
    }
    return profile_ok;
}

int32_t ftp_profile_tree::save(const qxval& path, const qxval& key)
{
    const ftp_profile* top = tree.root;
    // Without a key every password would be written as empty text.
    if (key.view().empty()) {
        for (const ftp_profile* p = top; p; p = qxe_tree<ftp_profile>::next_preorder(const_cast<ftp_profile*>(p)))
            if (writes_password(*p) && store_passwords && p->password_place == password_in_file &&
                !p->password.view().empty())
                return profile_no_key;
    }

    xml_tree doc;
    build_document(doc, top, key, store_passwords);
    qxarr lines;
    xml_write_list(doc, lines);

    bool damaged = load_damaged() && damaged_path_.view() == path.view();
    if (damaged && !keep_damaged(path))
        return profile_write_failed;
    // The user folder is made on the first save.
    if (!make_private_folders_for(path.view()) || !write_list_atomic(path, lines))
        return profile_write_failed;
    if (damaged) {
        damaged_path_.set_bytes("", 0);
        load_error_.set_bytes("", 0);
    }
    return profile_ok;
}

}  // namespace qvtf
