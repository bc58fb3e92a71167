// ftpPort: PASV and PORT.
#include "ftp/ftpPort.h"

#include <climits>

#include "ftp/ftpDlg.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpvars.h"

namespace ftp {

int TakeNumber(std::string& text) {
  size_t i = 0;
  while (i < text.size() && !(text[i] >= '0' && text[i] <= '9')) ++i;
  long value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    value = value < INT_MAX / 10 ? value * 10 + (text[i] - '0') : INT_MAX;
    ++i;
  }
  text.erase(0, i);
  return static_cast<int>(value);
}

std::string PortCommand(uint32_t address, uint16_t port) {
  const auto* b = reinterpret_cast<const uint8_t*>(&address);
  std::string s = "PORT ";
  for (int i = 0; i < 4; ++i) s += std::to_string(b[i]) + ",";
  s += std::to_string(port / 256) + "," + std::to_string(port % 256);
  return s;
}

std::optional<std::array<int, 6>> PassiveNumbers(std::string_view line) {
  // After the code: "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)", and
  // as well without the parentheses or with other words around.
  size_t at = line.size() > 3 ? 3 : line.size();
  while (at < line.size()) {
    while (at < line.size() && !(line[at] >= '0' && line[at] <= '9')) ++at;
    if (at == line.size()) break;
    std::array<int, 6> n{};
    size_t i = at;
    int count = 0;
    for (; count < 6; ++count) {
      if (i == line.size() || line[i] < '0' || line[i] > '9') break;
      long v = 0;
      while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
        v = v < 1000 ? v * 10 + (line[i] - '0') : 1000;
        ++i;
      }
      if (v > 255) break;
      n[static_cast<size_t>(count)] = static_cast<int>(v);
      if (count < 5) {
        if (i == line.size() || line[i] != ',') break;
        ++i;
      }
    }
    if (count == 6) return n;
    // Not six numbers here: the next run of digits may begin them.
    while (at < line.size() && line[at] >= '0' && line[at] <= '9') ++at;
  }
  return std::nullopt;
}

std::string ExtendedPortCommand(std::string_view ipv6Address, uint16_t port) {
  return "EPRT |2|" + std::string(ipv6Address) + "|" + std::to_string(port) + "|";
}

std::optional<uint16_t> ExtendedPassivePort(std::string_view line) {
  const size_t open = line.find('(');
  if (open == std::string_view::npos || open + 5 > line.size()) return std::nullopt;
  const char d = line[open + 1];
  // Three delimiters, the port, a fourth delimiter (RFC 2428 section 3);
  // the address and protocol fields stay empty.
  if (d < 33 || d > 126 || line[open + 2] != d || line[open + 3] != d) return std::nullopt;
  const std::string_view rest = line.substr(open + 4);
  const size_t end = rest.find(d);
  if (end == std::string_view::npos || end == 0 || end > 5) return std::nullopt;
  long value = 0;
  for (char c : rest.substr(0, end)) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return std::nullopt;
  return static_cast<uint16_t>(value);
}

bool Port::TogglePassive() {
  st_.passive = !st_.passive;
  return st_.passive;
}

std::string Port::portCommand() const {
  // The port is the one the system chose for the listening socket, opened
  // before this command (a server may connect as soon as it reads PORT).
  const uint16_t port = rede_.listeningPort();
  return rede_.ipv6() ? ExtendedPortCommand(rede_.localAddressText(), port)
                      : PortCommand(rede_.localAddress(), port);
}

PortOutcome Port::SelectDataPort() {
  PortOutcome out;
  out.port = rede_.listeningPort();
  out.command = portCommand();
  if (!dlg_.SendCommand(out.command)) return out;
  // The whole reply, however it arrives: a piece of it left behind would be
  // taken for the reply to the transfer command that follows.
  const Reply r = dlg_.awaitReply();
  if (!r.complete) return out;
  out.line = r.line;
  out.reply = r.code == 200 ? PortReply::Accepted : PortReply::Refused;
  return out;
}

PortOutcome Port::RequestExtendedPassive() {
  PortOutcome out;
  out.command = "EPSV";
  if (!dlg_.SendCommand(out.command)) return out;
  const Reply r = dlg_.awaitReply();
  if (!r.complete) return out;
  out.line = r.line;
  if (r.code == 229) {
    const auto port = ExtendedPassivePort(r.line);
    out.reply = port ? PortReply::Accepted : PortReply::BadReply;
    if (port) st_.passiveDataPort = out.port = *port;
    return out;
  }
  // A server that does not know the command says so with 500, 501 or 502;
  // it is not asked again on this connection. Another refusal may be
  // passing (no port free).
  if (r.code == 500 || r.code == 501 || r.code == 502) {
    epsvUnknown_ = true;
    out.reply = PortReply::Unknown;
  } else {
    out.reply = PortReply::Refused;
  }
  return out;
}

PortOutcome Port::RequestPassive() {
  PortOutcome out;
  out.command = "PASV";
  if (!dlg_.SendCommand(out.command)) return out;
  const Reply r = dlg_.awaitReply();
  if (!r.complete) return out;
  out.line = r.line;
  if (r.code != 227) {
    out.reply = PortReply::Refused;
    return out;
  }
  // A reply without its six numbers would send us to port 0 or to a port
  // made of numbers out of range. The first four numbers are not used: the
  // data connection always goes to the server of the control connection.
  const auto numbers = PassiveNumbers(r.line);
  if (!numbers) {
    out.reply = PortReply::BadReply;
    return out;
  }
  st_.passiveDataPort = out.port = static_cast<uint16_t>((*numbers)[4] * 256 + (*numbers)[5]);
  out.reply = PortReply::Accepted;
  return out;
}

}  // namespace ftp
