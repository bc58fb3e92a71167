// ftpLogin: the login dialogue and its code tables.
#include "ftp/ftpLogin.h"

#include "base/cp1252.h"
#include "ftp/ftpDlg.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"

namespace ftp {

// RFC 959 section 5.4: after USER, 331 asks for the password and 332 for
// the account; after PASS, 332 asks for the account; 230 (and 202, "not
// needed") let the user in. Any other reply, whatever its class, is no
// access: a 4xx or 5xx refuses, and a 3xx the step does not expect asks for
// something this dialogue cannot give. A 1xx is preliminary: the step's
// reply is still to come.
LoginEffect JudgeLoginCode(LoginStep step, int code) {
  if (code >= 100 && code < 200) return LoginEffect::Preliminary;
  if (code == 230 || code == 202) return LoginEffect::None;
  switch (step) {
    case LoginStep::User:
      if (code == 331) return LoginEffect::NeedPassword;
      if (code == 332) return LoginEffect::NeedAccount;
      break;
    case LoginStep::Pass:
      if (code == 332) return LoginEffect::NeedAccount;
      break;
    case LoginStep::Acct:
      break;
  }
  return LoginEffect::Refused;
}

void LoginDialog::refuse(const char* key, int code, const std::string& line, Flags& f) {
  if (!refusedOnce_) {
    msg_.Announce(key, 1);
    const std::string meaning = ReplyMeaning(code);
    if (!meaning.empty()) ui_.speakText(meaning);
    if (!st_.verbose) ui_.speakText(line);
    refusedOnce_ = true;
  }
  f.failed = true;
}

void LoginDialog::judge(LoginStep step, int code, const std::string& line, const char* refusalKey,
                        Flags& f) {
  switch (JudgeLoginCode(step, code)) {
    case LoginEffect::NeedPassword:
      f.needPassword = true;
      break;
    case LoginEffect::NeedAccount:
      f.needAccount = true;
      break;
    case LoginEffect::Refused:
      refuse(refusalKey, code, line, f);
      break;
    case LoginEffect::None:
    case LoginEffect::Preliminary:
      break;
  }
}

void LoginDialog::judgeReplies(LoginStep step, const char* refusalKey, Flags& f) {
  // The reply is waited for, whole: judging nothing, or a piece of it, would
  // grant access on a reply cut short; after a preliminary reply the step's
  // own is still awaited. Replies queued behind it are judged too.
  bool answered = false;
  do {
    const Reply r = dlg_.awaitReply();
    if (!r.complete) {
      // The user stopped waiting: a late yes still lets them in, and they
      // hear so.
      if (dlg_.interrupted() && !dlg_.closed())
        dlg_.onLateReply([this, step](const Reply& late) {
          if (JudgeLoginCode(step, late.code) != LoginEffect::None) {
            if (!st_.verbose) ui_.speakText(late.line);
            return;
          }
          if (ui_.cursorColumn() != 1) ui_.endLine();
          msg_.Announce("FTACLIBE", 1);
          st_.loggedIn = true;
          st_.inSession = true;
        });
      return;
    }
    answered = answered || JudgeLoginCode(step, r.code) != LoginEffect::Preliminary;
    judge(step, r.code, r.line, refusalKey, f);
  } while (!answered || dlg_.hasWholeReply());
}

std::string LoginDialog::readSecret() {
  // The plain reader puts nothing of the secret on the screen: no cell, no
  // colour trick a screen review or a Braille display could read.
  ui_.setForeground(0);
  std::string secret = ui_.readLinePlain();
  ui_.setForeground(15);
  return secret;
}

// With the connection gone or the wait given up, no reply will come: that
// is no grant of access.
bool LoginDialog::lostReply() const {
  return dlg_.closed() || dlg_.interrupted();
}

// After a refusal the user hears that L tries again, while the connection
// is there to try on.
bool LoginDialog::notLoggedIn() {
  if (refusedOnce_ && !dlg_.closed()) msg_.Announce("FTLOGINL", 1);
  return false;
}

bool LoginDialog::Login() {
  refusedOnce_ = false;
  Flags f;
  msg_.Announce("FTCONTA", 0);
  // The saved site's account, else CONTA in [NAVIRO], is offered, and said
  // after the question.
  const std::string offered =
      st_.offeredAccount.empty() ? ui_.setting("CONTA") : st_.offeredAccount;
  if (!offered.empty()) ui_.speakText("sugiro " + offered);
  uint8_t end = 13;
  st_.userName = ui_.readLineOffered(offered, end);
  if (st_.userName.empty()) {
    msg_.Announce("FTDESIS", 1);
    msg_.Announce("FTLOGINL", 1);
    return false;
  }
  if (!dlg_.SendCommand("USER " + st_.userName)) return false;
  judgeReplies(LoginStep::User, "FTERCONT", f);
  if (f.failed || lostReply()) return notLoggedIn();

  typedPassword_.clear();
  if (f.needPassword) {
    msg_.Announce("FTSENHA", 0);
    const std::optional<std::string> kept =
        storedPassword && !keyringRefused_ ? storedPassword(st_.userName) : std::nullopt;
    if (kept) {
      ui_.writeLineSpoken("do chaveiro");
      st_.password = *kept;
    } else {
      st_.password = readSecret();
      typedPassword_ = st_.password;
    }
    if (!dlg_.SendCommand("PASS " + st_.password))
      f.failed = true;
    else
      judgeReplies(LoginStep::Pass, "FTERSENH", f);
    if (lostReply()) f.failed = true;
    if (f.failed && kept) keyringRefused_ = true;
  }
  if (!f.failed && f.needAccount) {
    msg_.Announce("FTCHAVE", 0);
    st_.password = readSecret();
    if (!dlg_.SendCommand("ACCT " + st_.password))
      f.failed = true;
    else
      judgeReplies(LoginStep::Acct, "FTERCHAV", f);
    if (lostReply()) f.failed = true;
  }
  if (f.failed) return notLoggedIn();
  msg_.Announce("FTACLIBE", 1);
  return true;
}

}  // namespace ftp
