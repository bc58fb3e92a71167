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
  const std::string command = PortCommand(rede_.localAddress(), port);
  ui_.write(command);
  ui_.endLine();
  if (!dlg_.SendCommand(command)) return false;
  // The whole reply, however it arrives: a piece of it left behind would be
  // taken for the reply to the transfer command that follows.
  const Reply r = dlg_.readReply();
  if (r.complete && r.code == 200) return true;
  if (r.complete) {
    msg_.Announce("FTERPORT", 1);
    ui_.writeLineSpoken(r.line);
  }
  return false;
}

bool Port::RequestPassive() {
  ui_.write("PASV");
  ui_.endLine();
  if (!dlg_.SendCommand("PASV")) return false;
  const Reply r = dlg_.readReply();
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
