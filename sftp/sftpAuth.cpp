// sftpSsh, the authentication: agent keys, the user's key files, then the
// password or the server's questions. Secrets are read by the hidden
// reader, handed to libssh and wiped; nothing of them is logged.
#include <libssh/libssh.h>
#include <string.h>
#include <unistd.h>

#include <array>

#include "base/cp1252.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpmsg.h"
#include "sftp/sftpSsh.h"
#include "sftp/sftpSshHandles.h"

namespace sftp {

namespace {

// The key files OpenSSH's client tries by default, in its order (the kinds
// that need a hardware token left out).
constexpr std::array<const char*, 3> kKeyFiles{"id_ed25519", "id_ecdsa", "id_rsa"};
constexpr int kPasswordTries = 3;
constexpr int kPassphraseTries = 3;
constexpr int kQuestionRounds = 10;

// Marks that libssh asked for the passphrase of a key being read, and
// gives none: the user is asked only when the server would take the key.
int passphraseWanted(const char*, char*, size_t, int, int, void* userdata) {
  *static_cast<bool*>(userdata) = true;
  return -1;
}

void wipe(std::string& secret) {
  if (!secret.empty()) ::explicit_bzero(secret.data(), secret.size());
  secret.clear();
}

std::string lastComponent(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string Ssh::readSecret() {
  // The plain reader puts nothing of the secret on the screen.
  ui_.setForeground(0);
  std::string secret = ui_.readLinePlain();
  ui_.setForeground(15);
  return secret;
}

int Ssh::tryAgent() {
  const char* socket = std::getenv("SSH_AUTH_SOCK");
  if (socket == nullptr || *socket == '\0') return SSH_AUTH_DENIED;
  ssh_session session = h_->session;
  int rc = SSH_AUTH_ERROR;
  const Step s =
      drive([&] { return ssh_userauth_agent(session, nullptr); }, SSH_AUTH_AGAIN, rc, deadlineMs_);
  if (stepFailed(s, "FTSSHERR")) return SSH_AUTH_ERROR;
  ui_.logEvent("ssh", rc == SSH_AUTH_SUCCESS ? "agent key accepted" : "agent keys refused");
  return rc;
}

int Ssh::tryKeyFile(const std::string& path, bool& refused) {
  ssh_session session = h_->session;
  int rc = SSH_AUTH_DENIED;
  // The public half asks the server first; a key it would not take never
  // costs the user a passphrase.
  ssh_key pub = nullptr;
  if (ssh_pki_import_pubkey_file((path + ".pub").c_str(), &pub) == SSH_OK && pub) {
    const Step s = drive([&] { return ssh_userauth_try_publickey(session, nullptr, pub); },
                         SSH_AUTH_AGAIN, rc, deadlineMs_);
    ssh_key_free(pub);
    if (stepFailed(s, "FTSSHERR")) return SSH_AUTH_ERROR;
    if (rc != SSH_AUTH_SUCCESS) {
      refused = refused || rc == SSH_AUTH_DENIED;
      ui_.logEvent("ssh", "key refused: " + lastComponent(path));
      return rc;
    }
  }
  bool encrypted = false;
  ssh_key key = nullptr;
  int read = ssh_pki_import_privkey_file(path.c_str(), nullptr, passphraseWanted, &encrypted, &key);
  if (read != SSH_OK && encrypted) {
    const std::string name = qr::fromUtf8(lastComponent(path));
    for (int i = 0; i < kPassphraseTries && read != SSH_OK; ++i) {
      if (ui_.cursorColumn() != 1) ui_.endLine();
      msg_.Announce("FTFRASE", 0);
      ui_.writeSpoken(name);
      ui_.write(" ? ");
      std::string secret = readSecret();
      if (secret.empty()) {
        msg_.Announce("FTDESIS", 1);
        return SSH_AUTH_DENIED;
      }
      const std::string utf8 = qr::toUtf8(secret);
      read = ssh_pki_import_privkey_file(path.c_str(), utf8.c_str(), nullptr, nullptr, &key);
      std::string copy = utf8;  // the converted text is a secret too
      wipe(copy);
      wipe(secret);
      if (read != SSH_OK) msg_.Announce("FTFRAERR", 1);
    }
  }
  if (read != SSH_OK || key == nullptr) {
    ui_.logEvent("ssh", "key unreadable: " + lastComponent(path));
    return SSH_AUTH_DENIED;
  }
  const Step s = drive([&] { return ssh_userauth_publickey(session, nullptr, key); },
                       SSH_AUTH_AGAIN, rc, deadlineMs_);
  ssh_key_free(key);
  if (stepFailed(s, "FTSSHERR")) return SSH_AUTH_ERROR;
  refused = refused || rc == SSH_AUTH_DENIED;
  ui_.logEvent("ssh", std::string(rc == SSH_AUTH_SUCCESS ? "key accepted: " : "key refused: ") +
                          lastComponent(path));
  return rc;
}

int Ssh::tryKeyFiles(bool& refused) {
  const std::string dir = UserSshDirectory();
  for (const char* file : kKeyFiles) {
    const std::string path = dir + "/" + file;
    if (::access(path.c_str(), R_OK) != 0) continue;
    const int rc = tryKeyFile(path, refused);
    if (rc == SSH_AUTH_SUCCESS || rc == SSH_AUTH_ERROR || rc == SSH_AUTH_PARTIAL) return rc;
  }
  return SSH_AUTH_DENIED;
}

int Ssh::tryPassword() {
  ssh_session session = h_->session;
  int rc = SSH_AUTH_DENIED;
  for (int i = 0; i < kPasswordTries; ++i) {
    if (ui_.cursorColumn() != 1) ui_.endLine();
    msg_.Announce("FTSENHA", 0);
    std::string secret = readSecret();
    if (secret.empty()) {
      msg_.Announce("FTDESIS", 1);
      return SSH_AUTH_DENIED;
    }
    std::string utf8 = qr::toUtf8(secret);
    wipe(secret);
    const Step s = drive([&] { return ssh_userauth_password(session, nullptr, utf8.c_str()); },
                         SSH_AUTH_AGAIN, rc, deadlineMs_);
    wipe(utf8);
    if (stepFailed(s, "FTSSHERR")) return SSH_AUTH_ERROR;
    if (rc != SSH_AUTH_DENIED) return rc;
    ui_.errorBeep();
    warn("FTSENREC");
  }
  return rc;
}

int Ssh::tryQuestions() {
  ssh_session session = h_->session;
  int rc = SSH_AUTH_DENIED;
  for (int round = 0; round < kQuestionRounds; ++round) {
    const Step s = drive([&] { return ssh_userauth_kbdint(session, nullptr, nullptr); },
                         SSH_AUTH_AGAIN, rc, deadlineMs_);
    if (stepFailed(s, "FTSSHERR")) return SSH_AUTH_ERROR;
    if (rc != SSH_AUTH_INFO) break;
    for (const char* text :
         {ssh_userauth_kbdint_getname(session), ssh_userauth_kbdint_getinstruction(session)}) {
      if (text && *text) ui_.writeLineSpoken(qr::fromUtf8(text));
    }
    const int prompts = ssh_userauth_kbdint_getnprompts(session);
    for (int i = 0; i < prompts; ++i) {
      char echo = 0;
      const char* prompt = ssh_userauth_kbdint_getprompt(session, static_cast<unsigned>(i), &echo);
      if (ui_.cursorColumn() != 1) ui_.endLine();
      ui_.writeSpoken(qr::fromUtf8(prompt ? prompt : ""));
      std::string answer = echo ? ui_.readLineSpoken() : readSecret();
      std::string utf8 = qr::toUtf8(answer);
      wipe(answer);
      const int set =
          ssh_userauth_kbdint_setanswer(session, static_cast<unsigned>(i), utf8.c_str());
      wipe(utf8);
      if (set < 0) return SSH_AUTH_ERROR;
    }
  }
  if (rc == SSH_AUTH_DENIED) {
    ui_.errorBeep();
    warn("FTSENREC");
  }
  return rc;
}

bool Ssh::Authenticate(const std::string& user) {
  ssh_session session = h_->session;
  if (session == nullptr || !failure_.empty()) return false;
  const std::string name = qr::toUtf8(user);
  ssh_options_set(session, SSH_OPTIONS_USER, name.c_str());
  int rc = SSH_AUTH_ERROR;
  const Step s =
      drive([&] { return ssh_userauth_none(session, nullptr); }, SSH_AUTH_AGAIN, rc, deadlineMs_);
  if (stepFailed(s, "FTSSHERR")) return false;

  bool refused = false;  // a key was shown to the server and not taken
  auto methods = [&] { return ssh_userauth_list(session, nullptr); };
  if (rc != SSH_AUTH_SUCCESS && rc != SSH_AUTH_ERROR && (methods() & SSH_AUTH_METHOD_PUBLICKEY)) {
    rc = tryAgent();
    if (rc != SSH_AUTH_SUCCESS && rc != SSH_AUTH_ERROR) {
      const int files = tryKeyFiles(refused);
      // A key refused does not undo what the agent's key achieved.
      if (files != SSH_AUTH_DENIED || rc != SSH_AUTH_PARTIAL) rc = files;
    }
    if (rc == SSH_AUTH_DENIED && refused) {
      ui_.errorBeep();
      warn("FTCHVNAO");
    }
  }
  if (rc != SSH_AUTH_SUCCESS && rc != SSH_AUTH_ERROR && failure_.empty()) {
    const int allowed = methods();
    if (allowed & SSH_AUTH_METHOD_PASSWORD)
      rc = tryPassword();
    else if (allowed & SSH_AUTH_METHOD_INTERACTIVE)
      rc = tryQuestions();
    else if (!refused) {
      ui_.errorBeep();
      warn("FTSEMAUT");
    }
  }
  if (rc == SSH_AUTH_SUCCESS) {
    ui_.logEvent("ssh", "authenticated");
    return true;
  }
  if (rc == SSH_AUTH_ERROR && failure_.empty()) {
    failWith(ssh_get_error(session));
    (void)stepFailed(Step::Failed, "FTSSHERR");
  }
  return false;
}

}  // namespace sftp
