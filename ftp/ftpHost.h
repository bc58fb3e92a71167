// ftpHost: the computer as typed on the command line or at the prompt
// "Nome do computador": NAME, NAME:PORT, an IPv4 address with or without a
// port, an IPv6 address alone or in brackets ("[::1]:2121"), each with an
// optional "ftp://", "ftps://" or "sftp://" in front and a "/" or path
// after, which is dropped. After "sftp://" the account may come first,
// "sftp://ana@HOST" (up to the last "@", since accounts may be mail
// addresses), and the port is 22 unless given. A port that is not a number
// from 1 to 65535 leaves the text as the name, with the default port (the
// connection then fails and says so).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ftp {

inline constexpr uint16_t kSshPort = 22;

struct HostSpec {
  std::string scheme;  // "", "ftp", "ftps" or "sftp", lower case
  std::string host;    // name or address, brackets removed
  uint16_t port = 21;
  bool portGiven = false;
  bool operator==(const HostSpec&) const = default;
};

[[nodiscard]] HostSpec ParseHost(std::string_view typed);
// The account typed before the name after "sftp://"; empty when none.
[[nodiscard]] std::string TypedAccount(std::string_view typed);

// The host as it is written beside a port: an IPv6 address in brackets.
[[nodiscard]] std::string HostForDisplay(std::string_view host, uint16_t port);

}  // namespace ftp
