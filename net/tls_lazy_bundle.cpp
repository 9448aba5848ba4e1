#include "net/tls_lazy_bundle.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include <memory>
#include <mutex>
#include <vector>

namespace qvtf {

namespace {

struct lazy_bundle {
    std::string path;
    std::once_flag read_once;
    std::vector<X509*> certificates;  // one reference each

    ~lazy_bundle()
    {
        for (X509* cert : certificates)
            X509_free(cert);
    }

    void read()
    {
        BIO* file = BIO_new_file(path.c_str(), "r");
        if (!file) {
            ERR_clear_error();
            return;
        }
        STACK_OF(X509_INFO)* infos = PEM_X509_INFO_read_bio(file, nullptr, nullptr, nullptr);
        BIO_free(file);
        for (int i = 0; infos && i < sk_X509_INFO_num(infos); ++i) {
            X509_INFO* info = sk_X509_INFO_value(infos, i);
            if (info->x509 && X509_up_ref(info->x509))
                certificates.push_back(info->x509);
        }
        sk_X509_INFO_pop_free(infos, X509_INFO_free);
        ERR_clear_error();
    }
};

lazy_bundle* bundle_of(X509_LOOKUP* lookup)
{
    return static_cast<lazy_bundle*>(X509_LOOKUP_get_method_data(lookup));
}

int get_by_subject(X509_LOOKUP* lookup, X509_LOOKUP_TYPE type, const X509_NAME* name, X509_OBJECT* ret)
{
    lazy_bundle* bundle = bundle_of(lookup);
    if (!bundle || type != X509_LU_X509)
        return 0;
    std::call_once(bundle->read_once, [bundle] { bundle->read(); });
    for (X509* cert : bundle->certificates) {
        if (X509_NAME_cmp(X509_get_subject_name(cert), name) != 0)
            continue;
        // The store takes its own reference of what a lookup returns, as
        // the library's lookups hand out the objects they keep: set1's
        // reference goes again while the bundle still holds one.
        if (!X509_OBJECT_set1_X509(ret, cert))
            return 0;
        X509_free(cert);
        return 1;
    }
    return 0;
}

void free_bundle(X509_LOOKUP* lookup)
{
    delete bundle_of(lookup);
    X509_LOOKUP_set_method_data(lookup, nullptr);
}

X509_LOOKUP_METHOD* make_method()
{
    X509_LOOKUP_METHOD* method = X509_LOOKUP_meth_new("qvtf lazy bundle");
    if (method) {
        X509_LOOKUP_meth_set_get_by_subject(method, &get_by_subject);
        X509_LOOKUP_meth_set_free(method, &free_bundle);
    }
    return method;
}

}  // namespace

bool add_lazy_bundle(X509_STORE* store, const std::string& path)
{
    static X509_LOOKUP_METHOD* const method = make_method();
    if (!store || !method)
        return false;
    X509_LOOKUP* lookup = X509_STORE_add_lookup(store, method);
    if (!lookup)
        return false;
    auto bundle = std::make_unique<lazy_bundle>();
    bundle->path = path;
    if (!X509_LOOKUP_set_method_data(lookup, bundle.get()))
        return false;
    bundle.release();
    return true;
}

}  // namespace qvtf
