// ftpPort: how the data connection is agreed on. Active mode announces our
// address and a fresh port with PORT; passive mode asks with PASV and takes
// the port from the 227 reply (RFC 959 section 4.1.2). RFC 2428's EPSV is
// asked first in passive mode; a server that does not know it (500, 501,
// 502) is asked PASV, and not asked EPSV again on this connection. Over
// IPv6, active mode announces itself with EPRT.
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

// "EPRT |2|::1|5282|" (RFC 2428 section 2) for an IPv6 address in text.
[[nodiscard]] std::string ExtendedPortCommand(std::string_view ipv6Address, uint16_t port);

// The port of a 229 reply: "(|||6446|)", any delimiter; nullopt when the
// form is wrong or the port is not 1 to 65535.
[[nodiscard]] std::optional<uint16_t> ExtendedPassivePort(std::string_view line);

class Port {
 public:
  Port(ClientState& state, Tela& ui, Messages& msg, Dlg& dlg, Rede& rede)
      : st_(state), ui_(ui), msg_(msg), dlg_(dlg), rede_(rede) {}

  void TogglePassive();
  [[nodiscard]] bool SelectDataPort();
  [[nodiscard]] bool RequestPassive();
  // A new control connection: EPSV is worth asking again.
  void reset() { epsvRefused_ = false; }

 private:
  // The EPSV step: true with the port taken; false otherwise, with
  // fallBack telling whether PASV may still be asked.
  [[nodiscard]] bool requestExtendedPassive(bool& fallBack);

  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  Dlg& dlg_;
  Rede& rede_;
  bool epsvRefused_ = false;
};

}  // namespace ftp
