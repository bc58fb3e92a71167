// ftpvars: the one record of a run of the FTP client. Every module reads it;
// each item says which module changes it. Zero, false or empty until the
// start-up fills it in.
#pragma once

#include <cstdint>
#include <string>

namespace ftp {

struct ClientState {
  std::string remoteName;    // as typed (name or name:port), shown in the caption
  std::string remoteHost;    // the name or address without the port or brackets
  std::string remoteScheme;  // "ftp" or "ftps" when typed in front, else empty
  bool running = false;      // program body; cleared by ESC or a closed connection
  bool noPrompt = false;     // program body
  bool verbose = false;      // key V: every reply line taken is spoken
  bool passive = false;      // ftpPort
  uint16_t controlPort = 0;
  uint16_t passiveDataPort = 0;  // ftpPort: from the last 227 reply
  std::string listingFileName;
  // Bytes moved by the current or last transfer; 64 bits so that transfers
  // beyond 2 GiB are still counted right.
  int64_t transferBytes = 0;
  std::string userName;
  std::string offeredAccount;  // ftpSites: the saved site's account, offered at the login
  std::string password;    // also the access key after an ACCT step
  bool listening = false;  // ftpRede
  bool dataOpen = false;   // ftpRede
  std::string lastReplyLine;
  int lastCode = 0;
  bool lastContinuation = false;

  bool loggedIn = false;  // program body: a login succeeded during the run
  // The last login was accepted: the commands that need one may be sent.
  bool inSession = false;
  int exitCode = 0;       // program body: the process's exit status
  // The process's file creation mask (umask), for the mode of a new local
  // file; the program reads it at start-up.
  unsigned fileCreationMask = 022;
};

}  // namespace ftp
