// sftpHostKey: how a server's host key is told to the user and judged.
// A fingerprint is OpenSSH's "SHA256:" and 43 characters of base64, as
// ssh-keygen -l prints it, so that the user can compare it with what the
// server's administrator reads out; it is written whole, and its last two
// groups of four characters (counted from the start of the base64) are
// said, each character by name, capitals marked, because base64 tells
// capitals from small letters. Texts are Windows-1252.
#pragma once

#include <string>
#include <string_view>

namespace sftp {

// What the known hosts files say of the key the server showed.
enum class KnownState { Known, Unknown, Changed, OtherType, Unreadable };
// What is done about it: go on silently, ask the user, refuse the server
// as a possible impostor, or refuse because nothing can be checked.
enum class HostKeyVerdict { Trust, Ask, Impostor, CannotCheck };

[[nodiscard]] HostKeyVerdict JudgeHostKey(KnownState state);

// "ED25519", "ECDSA", "RSA" for the key type names of the protocol
// ("ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa"); other names as given.
[[nodiscard]] std::string KeyTypeName(std::string_view protocolName);

// The last two groups of four characters of a fingerprint's base64 (the
// last group may be shorter), as written: "Vx9k 2aQ".
[[nodiscard]] std::string FingerprintTail(std::string_view fingerprint);

// Characters as they are said one by one: "V maiúsculo, x, 9, k".
[[nodiscard]] std::string SpokenCharacters(std::string_view text);

}  // namespace sftp
