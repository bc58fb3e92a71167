// ftpLogin: USER, then PASS and ACCT as the server's codes ask. The password
// and the access key are read by the plain reader, which shows nothing of
// them, and are never spoken or logged.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace ftp {

struct ClientState;
class Tela;
class Messages;
class Dlg;

// What a reply code means at one step of the login: only 230 and 202 let
// the user in (None: nothing more is asked), only the next step's 3xx asks
// for more; every other code refuses.
enum class LoginStep { User, Pass, Acct };
enum class LoginEffect { None, NeedPassword, NeedAccount, Refused, Preliminary };
[[nodiscard]] LoginEffect JudgeLoginCode(LoginStep step, int code);

class LoginDialog {
 public:
  LoginDialog(ClientState& state, Tela& ui, Messages& msg, Dlg& dlg)
      : st_(state), ui_(ui), msg_(msg), dlg_(dlg) {}

  [[nodiscard]] bool Login();

  // The password the keyring keeps for an account, if any (ftpSites). It is
  // used once; after a refusal the next login asks for it.
  std::function<std::optional<std::string>(const std::string& account)> storedPassword;
  // The password typed at the last login; empty when none was typed (the
  // keyring's was used, or none was asked).
  [[nodiscard]] const std::string& typedPassword() const { return typedPassword_; }

 private:
  struct Flags {
    bool needPassword = false;
    bool needAccount = false;
    bool failed = false;
  };
  void judgeReplies(LoginStep step, const char* refusalKey, Flags& f);
  void judge(LoginStep step, int code, const std::string& line, const char* refusalKey, Flags& f);
  void refuse(const char* key, int code, const std::string& line, Flags& f);
  [[nodiscard]] std::string readSecret();
  [[nodiscard]] bool lostReply() const;
  [[nodiscard]] bool notLoggedIn();

  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  Dlg& dlg_;
  bool refusedOnce_ = false;
  std::string typedPassword_;
  bool keyringRefused_ = false;  // the keyring's password was refused once
};

}  // namespace ftp
