// ftpHost: the typed computer name.
#include "ftp/ftpHost.h"

#include "base/ascii.h"

namespace ftp {

namespace {

constexpr uint16_t kDefaultPort = 21;

// 1 to 65535, else 0.
uint16_t portNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return 0;
  long value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return value >= 1 && value <= 65535 ? static_cast<uint16_t>(value) : 0;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (qr::asciiLower(text[i]) != prefix[i]) return false;
  }
  return true;
}

}  // namespace

HostSpec ParseHost(std::string_view typed) {
  HostSpec spec;
  spec.port = kDefaultPort;
  std::string_view rest = typed;
  for (std::string_view scheme :
       {std::string_view("sftp"), std::string_view("ftps"), std::string_view("ftp")}) {
    if (startsWithNoCase(rest, scheme) && rest.substr(scheme.size()).starts_with("://")) {
      spec.scheme = std::string(scheme);
      rest.remove_prefix(scheme.size() + 3);
      const size_t slash = rest.find('/');
      if (slash != std::string_view::npos) rest = rest.substr(0, slash);
      break;
    }
  }
  if (spec.scheme == "sftp") {
    spec.port = kSshPort;
    const size_t at = rest.rfind('@');
    if (at != std::string_view::npos) rest.remove_prefix(at + 1);
  }
  if (rest.starts_with('[')) {
    const size_t close = rest.find(']');
    if (close != std::string_view::npos) {
      const std::string_view after = rest.substr(close + 1);
      if (after.empty()) {
        spec.host = std::string(rest.substr(1, close - 1));
        return spec;
      }
      if (after[0] == ':') {
        if (const uint16_t p = portNumber(after.substr(1))) {
          spec.host = std::string(rest.substr(1, close - 1));
          spec.port = p;
          spec.portGiven = true;
          return spec;
        }
      }
    }
    spec.host = std::string(rest);
    return spec;
  }
  const size_t colon = rest.rfind(':');
  // Two colons or more without brackets: an IPv6 address, whole.
  if (colon == std::string_view::npos || rest.find(':') != colon) {
    spec.host = std::string(rest);
    return spec;
  }
  if (const uint16_t p = portNumber(rest.substr(colon + 1))) {
    spec.host = std::string(rest.substr(0, colon));
    spec.port = p;
    spec.portGiven = true;
    return spec;
  }
  spec.host = std::string(rest);
  return spec;
}

std::string TypedAccount(std::string_view typed) {
  constexpr std::string_view kScheme = "sftp://";
  if (!startsWithNoCase(typed, kScheme)) return {};
  std::string_view rest = typed.substr(kScheme.size());
  rest = rest.substr(0, rest.find('/'));
  const size_t at = rest.rfind('@');
  return at == std::string_view::npos ? std::string() : std::string(rest.substr(0, at));
}

std::string HostForDisplay(std::string_view host, uint16_t port) {
  const std::string h =
      host.find(':') != std::string_view::npos ? "[" + std::string(host) + "]" : std::string(host);
  return h + ":" + std::to_string(port);
}

}  // namespace ftp
