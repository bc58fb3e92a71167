// sftpHostKey: host key texts and the verdict table.
#include "sftp/sftpHostKey.h"

#include <array>

#include "base/cp1252.h"

namespace sftp {

namespace {

struct KeyName {
  std::string_view prefix;
  std::string_view name;
};
constexpr std::array<KeyName, 6> kKeyNames{{
    {"ssh-ed25519", "ED25519"},
    {"sk-ssh-ed25519", "ED25519 de hardware"},
    {"ecdsa-sha2-", "ECDSA"},
    {"sk-ecdsa-sha2-", "ECDSA de hardware"},
    {"ssh-rsa", "RSA"},
    {"ssh-dss", "DSA"},
}};

struct SymbolName {
  char symbol;
  std::string_view name;
};
constexpr std::array<SymbolName, 3> kSymbols{{{'+', "mais"}, {'/', "barra"}, {'=', "igual"}}};

}  // namespace

HostKeyVerdict JudgeHostKey(KnownState state) {
  switch (state) {
    case KnownState::Known:
      return HostKeyVerdict::Trust;
    case KnownState::Unknown:
      return HostKeyVerdict::Ask;
    // A key of another type than the one kept is no proof of the server
    // either: the known type was asked for first, and the server did not
    // show it.
    case KnownState::Changed:
    case KnownState::OtherType:
      return HostKeyVerdict::Impostor;
    case KnownState::Unreadable:
      return HostKeyVerdict::CannotCheck;
  }
  return HostKeyVerdict::CannotCheck;
}

std::string KeyTypeName(std::string_view protocolName) {
  for (const KeyName& k : kKeyNames)
    if (protocolName.starts_with(k.prefix)) return qr::W(k.name);
  return std::string(protocolName);
}

std::string FingerprintTail(std::string_view fingerprint) {
  const size_t colon = fingerprint.find(':');
  const std::string_view b64 =
      colon == std::string_view::npos ? fingerprint : fingerprint.substr(colon + 1);
  if (b64.empty()) return {};
  const size_t lastGroup = (b64.size() - 1) / 4 * 4;
  const size_t first = lastGroup >= 4 ? lastGroup - 4 : 0;
  std::string out(b64.substr(first, lastGroup - first));
  if (!out.empty()) out += ' ';
  out += b64.substr(lastGroup);
  return out;
}

std::string SpokenCharacters(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == ' ') continue;
    if (!out.empty()) out += ", ";
    bool named = false;
    for (const SymbolName& s : kSymbols)
      if (s.symbol == c) {
        out += s.name;
        named = true;
      }
    if (named) continue;
    out += c;
    if (c >= 'A' && c <= 'Z') out += qr::W(" maiúsculo");
  }
  return out;
}

}  // namespace sftp
