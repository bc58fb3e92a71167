// ftpLogin: the login dialogue and its code tables.
#include "ftp/ftpLogin.h"

#include <array>

#include "ftp/ftpDlg.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"

namespace ftp {

namespace {

struct CodeRule {
  LoginStep step;
  int code;
  LoginEffect effect;
};

// Codes the login reacts to; every other code (230, 202, text lines) has no
// effect. ACCT is not refused by 530 (RFC 959 section 5.4 lets a server ask
// for the account again).
constexpr std::array<CodeRule, 14> kLoginCodes{{
    {LoginStep::User, 331, LoginEffect::NeedPassword},
    {LoginStep::User, 332, LoginEffect::NeedAccount},
    {LoginStep::User, 530, LoginEffect::Refused},
    {LoginStep::User, 500, LoginEffect::Refused},
    {LoginStep::User, 501, LoginEffect::Refused},
    {LoginStep::User, 421, LoginEffect::Refused},
    {LoginStep::Pass, 332, LoginEffect::NeedAccount},
    {LoginStep::Pass, 500, LoginEffect::Refused},
    {LoginStep::Pass, 501, LoginEffect::Refused},
    {LoginStep::Pass, 530, LoginEffect::Refused},
    {LoginStep::Pass, 421, LoginEffect::Refused},
    {LoginStep::Acct, 500, LoginEffect::Refused},
    {LoginStep::Acct, 501, LoginEffect::Refused},
    {LoginStep::Acct, 421, LoginEffect::Refused},
}};

}  // namespace

LoginEffect JudgeLoginCode(LoginStep step, int code) {
  for (const auto& r : kLoginCodes)
    if (r.step == step && r.code == code) return r.effect;
  return LoginEffect::None;
}

void LoginDialog::refuse(const char* key, const std::string& line, Flags& f) {
  if (!refusedOnce_) {
    msg_.Announce(key, 1);
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
      refuse(refusalKey, line, f);
      break;
    case LoginEffect::None:
      break;
  }
}

void LoginDialog::judgeReplies(LoginStep step, const char* refusalKey, Flags& f) {
  // The reply is waited for, whole: judging nothing, or a piece of it, would
  // grant access on a reply cut short. Replies queued behind it are judged
  // too.
  do {
    const Reply r = dlg_.awaitReply();
    if (!r.complete) return;
    judge(step, r.code, r.line, refusalKey, f);
  } while (dlg_.hasWholeReply());
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
  st_.userName = ui_.readLineSpoken();
  if (st_.userName.empty()) {
    msg_.Announce("FTDESIS", 1);
    msg_.Announce("FTLOGINL", 1);
    return false;
  }
  if (!dlg_.SendCommand("USER " + st_.userName)) return false;
  judgeReplies(LoginStep::User, "FTERCONT", f);
  if (f.failed || lostReply()) return notLoggedIn();

  if (f.needPassword) {
    msg_.Announce("FTSENHA", 0);
    st_.password = readSecret();
    if (!dlg_.SendCommand("PASS " + st_.password))
      f.failed = true;
    else
      judgeReplies(LoginStep::Pass, "FTERSENH", f);
    if (lostReply()) f.failed = true;
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
