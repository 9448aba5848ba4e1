#pragma once
// A bundle of trusted authorities (one PEM file) that the certificate store
// reads only when a chain asks for an issuer nothing else has: parsing a
// system bundle whole costs tens of milliseconds per connection, and most
// chains end at a certificate the hashed folder or the user's own file holds.

#include <openssl/x509_vfy.h>

#include <string>

namespace qvtf {

// False when the library could not add the lookup (nothing is read yet, so
// a missing or broken file shows only as an issuer not found).
bool add_lazy_bundle(X509_STORE* store, const std::string& path);

}  // namespace qvtf
