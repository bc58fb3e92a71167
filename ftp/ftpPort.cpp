// ftpPort: PASV and PORT.
#include "ftp/ftpPort.h"

#include <climits>

#include "ftp/ftpDlg.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpmsg.h"
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
  const size_t open = line.find('(');
  if (open == std::string_view::npos) return std::nullopt;
  std::string rest(line.substr(open));
  std::array<int, 6> n{};
  for (int& v : n) {
    const size_t digit = rest.find_first_of("0123456789");
    if (digit == std::string::npos) return std::nullopt;
    v = TakeNumber(rest);
    if (v > 255) return std::nullopt;
  }
  return n;
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

void Port::TogglePassive() {
  st_.passive = !st_.passive;
  msg_.Announce(st_.passive ? "FTPPASSI" : "FTPNPASS", 1);
}

bool Port::SelectDataPort() {
  // The port is the one the system chose for the listening socket, opened
  // before this command (a server may connect as soon as it reads PORT).
  const uint16_t port = rede_.listeningPort();
  msg_.WriteLabel("FTSELPOR", 0);
  ui_.write(std::to_string(port));
  ui_.endLine();
  const std::string command = rede_.ipv6() ? ExtendedPortCommand(rede_.localAddressText(), port)
                                           : PortCommand(rede_.localAddress(), port);
  ui_.write(command);
  ui_.endLine();
  if (!dlg_.SendCommand(command)) return false;
  // The whole reply, however it arrives: a piece of it left behind would be
  // taken for the reply to the transfer command that follows.
  const Reply r = dlg_.awaitReply();
  if (r.complete && r.code == 200) return true;
  if (r.complete) {
    msg_.Announce("FTERPORT", 1);
    ui_.writeLineSpoken(r.line);
  }
  return false;
}

bool Port::requestExtendedPassive(bool& fallBack) {
  fallBack = false;
  ui_.write("EPSV");
  ui_.endLine();
  if (!dlg_.SendCommand("EPSV")) return false;
  const Reply r = dlg_.awaitReply();
  if (!r.complete) return false;
  if (r.code == 229) {
    if (const auto port = ExtendedPassivePort(r.line)) {
      st_.passiveDataPort = *port;
      ui_.write("Porta passiva selecionada: " + std::to_string(st_.passiveDataPort));
      ui_.endLine();
      return true;
    }
  }
  // A server that does not know the command says so with 500, 501 or 502;
  // it is not asked again. Another refusal may be passing (no port free):
  // PASV is tried this once.
  if (r.code == 500 || r.code == 501 || r.code == 502) epsvRefused_ = true;
  fallBack = true;
  return false;
}

bool Port::RequestPassive() {
  if (!epsvRefused_) {
    bool fallBack = false;
    if (requestExtendedPassive(fallBack)) return true;
    if (!fallBack) return false;
  }
  ui_.write("PASV");
  ui_.endLine();
  if (!dlg_.SendCommand("PASV")) return false;
  const Reply r = dlg_.awaitReply();
  if (!r.complete) return false;
  if (r.code != 227) {
    msg_.Announce("FTNAOPSV", 1);
    if (st_.verbose) ui_.writeLineSpoken(r.line);
    return false;
  }
  // A reply without its six numbers would send us to port 0 or to a port
  // made of numbers out of range: refuse it and say so, with the line.
  const auto numbers = PassiveNumbers(r.line);
  if (!numbers) {
    msg_.Announce("FTNAOPSV", 1);
    if (!st_.verbose) ui_.writeLineSpoken(r.line);
    return false;
  }
  // The first four numbers are not used: the data connection always goes to
  // the server of the control connection.
  st_.passiveDataPort = static_cast<uint16_t>((*numbers)[4] * 256 + (*numbers)[5]);
  ui_.write("Porta passiva selecionada: " + std::to_string(st_.passiveDataPort));
  ui_.endLine();
  return true;
}

}  // namespace ftp
