// The system keyring, where a password may be kept instead of being typed
// at every login (the Secret Service on a Linux desktop: GNOME Keyring,
// KeePassXC). Passwords are looked up and stored by host and account; the
// back end lives in platform/, and a build or a session without one has
// NoKeyring, which is never available.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qr {

class Keyring {
 public:
  virtual ~Keyring() = default;
  // Whether a keyring answers now (a session bus and a secret service).
  [[nodiscard]] virtual bool available() = 0;
  [[nodiscard]] virtual std::optional<std::string> lookup(std::string_view host,
                                                          std::string_view account) = 0;
  [[nodiscard]] virtual bool store(std::string_view host, std::string_view account,
                                   std::string_view password) = 0;
};

class NoKeyring : public Keyring {
 public:
  bool available() override { return false; }
  std::optional<std::string> lookup(std::string_view, std::string_view) override {
    return std::nullopt;
  }
  bool store(std::string_view, std::string_view, std::string_view) override { return false; }
};

}  // namespace qr
