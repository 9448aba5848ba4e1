#include "profiles/ftp_profile_tree.h"

#include "markup/qxlang.h"

namespace qvtf {

int32_t ftp_profile_tree::reset(const qxlang& language)
{
    tree.clear();
    ftp_profile* top = ftp_profile::make(profile_group);
    if (!top)
        return profile_no_memory;
    top->label.set_bytes(language.text(phrase_profiles_top_group));
    tree.append_top(top);
    return profile_ok;
}

int32_t ftp_profile_tree::load(const qxval& path, const qxval& key, const qxlang& language)
{
    (void)path;
    (void)key;
    return reset(language);
}

int32_t ftp_profile_tree::save(const qxval& path, const qxval& key)
{
    (void)path;
    (void)key;
    return profile_write_failed;
}

ftp_profile* ftp_profile_tree::find(std::string_view label_path) const
{
    (void)label_path;
    return nullptr;
}

std::vector<ftp_profile_entry> ftp_profile_tree::entries() const
{
    return {};
}

const char* profile_kind_name(int32_t kind)
{
    switch (kind) {
    case profile_group: return "group";
    case profile_site: return "site";
    case profile_bookmark: return "bookmark";
    default: return "unknown";
    }
}

std::string profile_label_path(const ftp_profile* node)
{
    (void)node;
    return {};
}

ftp_profile* effective_site(ftp_profile* node)
{
    return node;
}

void apply_anonymous(ftp_profile& site, const qxlang& language)
{
    (void)site;
    (void)language;
}

}  // namespace qvtf
