// ftpPort: how the data connection is agreed on. Active mode announces our
// address and a fresh port with PORT; passive mode asks with PASV and takes
// the port from the 227 reply (RFC 959 section 4.1.2).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ftp {

struct ClientState;
class Tela;
class Messages;
class Dlg;
class Rede;

// Removes what comes before the next run of digits and the run itself;
// returns the run's value (0 when there is none; saturates instead of
// overflowing).
[[nodiscard]] int TakeNumber(std::string& text);

// "PORT h1,h2,h3,h4,p1,p2" for an address in network order and a port.
[[nodiscard]] std::string PortCommand(uint32_t networkOrderAddress, uint16_t port);

// The six numbers of a 227 reply, after its first "("; nullopt when one is
// missing or above 255.
[[nodiscard]] std::optional<std::array<int, 6>> PassiveNumbers(std::string_view line);

class Port {
 public:
  Port(ClientState& state, Tela& ui, Messages& msg, Dlg& dlg, Rede& rede)
      : st_(state), ui_(ui), msg_(msg), dlg_(dlg), rede_(rede) {}

  void TogglePassive();
  [[nodiscard]] bool SelectDataPort();
  [[nodiscard]] bool RequestPassive();

 private:
  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  Dlg& dlg_;
  Rede& rede_;
};

}  // namespace ftp
