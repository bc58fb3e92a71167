// ftpPort: how the data connection is agreed on. Active mode announces our
// address and a fresh port with PORT; passive mode asks with PASV and takes
// the port from the 227 reply (RFC 959 section 4.1.2). RFC 2428's EPSV is
// asked first in passive mode; a server that does not know it (500, 501,
// 502) is asked PASV, and not asked EPSV again on this connection. Over
// IPv6, active mode announces itself with EPRT. Nothing here talks to the
// user: each step returns what happened, with the server's line, and the
// transfer's data path (ftpTransfer) says it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ftp {

struct ClientState;
class Dlg;
class Rede;

// Removes what comes before the next run of digits and the run itself;
// returns the run's value (0 when there is none; saturates instead of
// overflowing).
[[nodiscard]] int TakeNumber(std::string& text);

// "PORT h1,h2,h3,h4,p1,p2" for an address in network order and a port.
[[nodiscard]] std::string PortCommand(uint32_t networkOrderAddress, uint16_t port);

// The six numbers of a 227 reply: the first six numbers joined by commas
// after its code, with or without the parentheses (RFC 1123 section
// 4.1.2.6 asks a client to scan for them); nullopt when there are not six
// or one is above 255.
[[nodiscard]] std::optional<std::array<int, 6>> PassiveNumbers(std::string_view line);

// "EPRT |2|::1|5282|" (RFC 2428 section 2) for an IPv6 address in text.
[[nodiscard]] std::string ExtendedPortCommand(std::string_view ipv6Address, uint16_t port);

// The port of a 229 reply: "(|||6446|)", any delimiter; nullopt when the
// form is wrong or the port is not 1 to 65535.
[[nodiscard]] std::optional<uint16_t> ExtendedPassivePort(std::string_view line);

// What the server said to PORT, EPSV or PASV.
enum class PortReply {
  Accepted,  // PORT taken; EPSV or PASV gave a port (set in the client state)
  Unknown,   // EPSV: the server does not know the command (500, 501, 502)
  Refused,   // another refusal
  BadReply,  // the positive reply without a usable port
  Lost,      // not sent, or no whole reply (connection gone, ESC)
};

struct PortOutcome {
  PortReply reply = PortReply::Lost;
  std::string line;     // the server's last line
  std::string command;  // the command sent
  uint16_t port = 0;    // the port announced or given
};

class Port {
 public:
  Port(ClientState& state, Dlg& dlg, Rede& rede) : st_(state), dlg_(dlg), rede_(rede) {}

  // Inverts passive mode; the new mode.
  bool TogglePassive();
  // PORT (EPRT over IPv6) for the port the listening socket was given:
  // the command, and the step that sends it.
  [[nodiscard]] std::string portCommand() const;
  [[nodiscard]] PortOutcome SelectDataPort();
  // EPSV, asked while the server has not shown it does not know it.
  [[nodiscard]] PortOutcome RequestExtendedPassive();
  [[nodiscard]] bool extendedPassiveKnown() const { return !epsvUnknown_; }
  [[nodiscard]] PortOutcome RequestPassive();
  // A new control connection: EPSV is worth asking again.
  void reset() { epsvUnknown_ = false; }

 private:
  ClientState& st_;
  Dlg& dlg_;
  Rede& rede_;
  bool epsvUnknown_ = false;
};

}  // namespace ftp
