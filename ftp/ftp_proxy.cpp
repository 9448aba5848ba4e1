#include "ftp/ftp_proxy.h"

#include <cstdlib>
#include <new>
#include <string>

#include "core/qxencode.h"
#include "core/qxscramble.h"
#include "core/qxtext.h"
#include "core/qxtime.h"
#include "markup/xml_io.h"
#include "profiles/ftp_profile.h"

namespace qvtf {

namespace {

void put_le32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xff);
}

uint32_t get_le32(std::string_view bytes)
{
    uint32_t v = 0;
    for (std::size_t i = 0; i < 4 && i < bytes.size(); ++i)
        v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    return v;
}

// One element line: indent + <name> + content + </name> + CR LF.
void push_line(qxarr& lines, std::string_view indent, std::string_view name, std::string_view content)
{
    std::string line(indent);
    line += '<';
    line += name;
    line += '>';
    line += content;
    line += "</";
    line += name;
    line += ">\r\n";
    qxval value(line);
    lines.push(value);
}

void push_raw(qxarr& lines, std::string_view text)
{
    qxval value(text);
    lines.push(value);
}

std::string base64(const qxval& bytes, bool line_breaks)
{
    if (bytes.view().empty())
        return {};
    return base64_encode(bytes, line_breaks).str();
}

// The decimal reading of a number element; text that does not parse is 0.
int32_t number_of(const qxval& text)
{
    return text_to_int(text.c_str());
}

}  // namespace

ftp_proxy* ftp_proxy_collection::at(int32_t i) const
{
    if (i < 0 || i >= count())
        return nullptr;
    return proxies_[static_cast<std::size_t>(i)].get();
}

void ftp_proxy_collection::clear()
{
    proxies_.clear();
    default_proxy_type = proxy_choice_none;
    default_key.set_bytes("", 0);
}

ftp_proxy* ftp_proxy_collection::find(const qxval& key) const
{
    const std::string_view wanted = key.view();
    // No key names no proxy, even one read back with an empty key.
    if (wanted.empty())
        return nullptr;
    for (const auto& proxy : proxies_)
        if (proxy->key.view() == wanted)
            return proxy.get();
    return nullptr;
}

void ftp_proxy_collection::set_default(const ftp_proxy* proxy)
{
    default_key.set_bytes("", 0);
    for (const auto& listed : proxies_)
        if (listed.get() == proxy) {
            default_key.set_bytes(listed->key.view());
            return;
        }
}

ftp_proxy* ftp_proxy_collection::append_blank()
{
    auto* proxy = new (std::nothrow) ftp_proxy;
    if (!proxy)
        return nullptr;
    proxies_.emplace_back(proxy);
    return proxy;
}

ftp_proxy* ftp_proxy_collection::add_new()
{
    // Sequence number: one above the last proxy's; the time and the random
    // bytes keep keys of different installations apart. Not a secret.
    const uint32_t sequence = proxies_.empty() ? 1 : get_le32(proxies_.back()->key.view()) + 1;
    std::string key;
    put_le32(key, sequence);
    put_le32(key, static_cast<uint32_t>(now_seconds()));
    for (int i = 0; i < 4; ++i)
        key += static_cast<char>(std::rand() & 0xff);
    ftp_proxy* proxy = append_blank();
    if (proxy)
        proxy->key.set_bytes(key);
    return proxy;
}

int ftp_proxy_collection::write(qxarr& lines, const qxval& key, bool store_passwords) const
{
    push_raw(lines, "<proxies>\r\n");
    push_line(lines, "  ", "default", base64(default_key, false));
    push_line(lines, "  ", "default_proxy_type", std::to_string(default_proxy_type));
    for (const auto& proxy : proxies_) {
        push_raw(lines, "  <proxy>\r\n");
        push_line(lines, "    ", "key", base64(proxy->key, false));
        push_line(lines, "    ", "label", xml_escaped(proxy->label.view()));
        push_line(lines, "    ", "type", std::to_string(proxy->type));
        push_line(lines, "    ", "proxy_host", xml_escaped(proxy->proxy_host.view()));
        push_line(lines, "    ", "proxy_port", std::to_string(proxy->proxy_port));
        push_line(lines, "    ", "proxy_username", xml_escaped(proxy->proxy_username.view()));
        qxval stored;
        const bool in_file = store_passwords && proxy->password_place == password_in_file;
        if (in_file && !proxy->proxy_password.view().empty())
            store_password(proxy->proxy_password, key, stored);
        push_line(lines, "    ", "proxy_password", stored.is_string() ? stored.str() : std::string());
        // Only a password the keyring keeps is marked: older files read as before.
        if (proxy->password_place == password_in_keyring)
            push_line(lines, "    ", "proxy_password_in", "keyring");
        push_line(lines, "    ", "ftp_command", xml_escaped(proxy->ftp_command.view()));
        push_raw(lines, "  </proxy>\r\n");
    }
    push_raw(lines, "</proxies>");
    return 0;
}

int ftp_proxy_collection::read(const xml_tree& document, const xml_node* node)
{
    clear();
    qxval text;
    qxval wanted_default;
    if (xml_get_text(document, "default", node, text) == 0 && !text.view().empty())
        wanted_default = base64_decode(text);
    if (xml_find(document, std::string_view("default_proxy_type"), node) &&
        xml_get_text(document, "default_proxy_type", node, text) == 0)
        default_proxy_type = number_of(text);

    for (const xml_node* child = node ? node->first_child : nullptr; child; child = child->next) {
        if (child->kind != xml_kind_start_tag || child->name.view() != "proxy")
            continue;
        ftp_proxy* proxy = append_blank();
        if (!proxy)
            break;
        // Without these four the definition is unusable and is dropped.
        qxval key, label, type, host;
        if (xml_get_text(document, "key", child, key) != 0 || xml_get_text(document, "label", child, label) != 0 ||
            xml_get_text(document, "type", child, type) != 0 ||
            xml_get_text(document, "proxy_host", child, host) != 0) {
            proxies_.pop_back();
            continue;
        }
        proxy->key = base64_decode(key);
        proxy->label = label;
        proxy->type = number_of(type);
        proxy->proxy_host = host;
        xml_get_text(document, "proxy_port", child, text);
        proxy->proxy_port = number_of(text);
        xml_get_text(document, "proxy_username", child, proxy->proxy_username);
        // Still scrambled; start-up turns it back into clear text.
        xml_get_text(document, "proxy_password", child, proxy->proxy_password);
        if (xml_get_text(document, "proxy_password_in", child, text) == 0 && text.view() == "keyring")
            proxy->password_place = password_in_keyring;
        xml_get_text(document, "ftp_command", child, proxy->ftp_command);
    }
    if (ftp_proxy* proxy = find(wanted_default))
        set_default(proxy);
    return 0;
}

std::optional<ftp_proxy> ftp_proxy_collection::proxy_for(const ftp_profile& site) const
{
    const ftp_proxy* chosen = nullptr;
    switch (default_proxy_type) {
    case proxy_choice_default: chosen = find(default_key); break;
    case proxy_choice_per_site: chosen = find(site.proxy_key); break;
    default: break;
    }
    if (chosen)
        return *chosen;
    return std::nullopt;
}

}  // namespace qvtf
