// The Secret Service keyring through libsecret. Items carry the schema
// "org.naviro.Senha" with the attributes host and conta; texts cross as
// UTF-8. No session bus means no keyring: nothing is started for it.
#include "platform/keyringSecret.h"

#include <cstdlib>

#ifdef NAVIRO_LIBSECRET
#include <libsecret/secret.h>
#endif

#include "base/cp1252.h"

namespace qr {

#ifdef NAVIRO_LIBSECRET
namespace {

const SecretSchema* schema() {
  static const SecretSchema s = {"org.naviro.Senha",
                                 SECRET_SCHEMA_NONE,
                                 {{"host", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                  {"conta", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                  {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  return &s;
}

class SecretKeyring : public Keyring {
 public:
  bool available() override {
    if (checked_) return available_;
    checked_ = true;
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!bus || !*bus) return available_ = false;
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
    if (error) g_error_free(error);
    available_ = service != nullptr;
    if (service) g_object_unref(service);
    return available_;
  }

  std::optional<std::string> lookup(std::string_view host, std::string_view account) override {
    if (!available()) return std::nullopt;
    const std::string h = toUtf8(host), a = toUtf8(account);
    GError* error = nullptr;
    gchar* found = secret_password_lookup_sync(schema(), nullptr, &error, "host", h.c_str(),
                                               "conta", a.c_str(), nullptr);
    if (error) g_error_free(error);
    if (!found) return std::nullopt;
    std::string password = fromUtf8(found);
    secret_password_free(found);
    return password;
  }

  bool store(std::string_view host, std::string_view account,
             std::string_view password) override {
    if (!available()) return false;
    const std::string h = toUtf8(host), a = toUtf8(account), p = toUtf8(password);
    const std::string label = "Naviro: " + a + "@" + h;
    GError* error = nullptr;
    const gboolean ok =
        secret_password_store_sync(schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), p.c_str(),
                                   nullptr, &error, "host", h.c_str(), "conta", a.c_str(), nullptr);
    if (error) g_error_free(error);
    return ok;
  }

 private:
  bool checked_ = false;
  bool available_ = false;
};

}  // namespace

std::unique_ptr<Keyring> makeSystemKeyring() {
  return std::make_unique<SecretKeyring>();
}
#else
std::unique_ptr<Keyring> makeSystemKeyring() {
  return std::make_unique<NoKeyring>();
}
#endif

}  // namespace qr
