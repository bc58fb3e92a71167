// ftpArq, the transfers: the dialogue around the plan, the pump and the
// verdict, and what each verdict tells the user.
#include "ftp/ftpTransfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "base/cp1252.h"
#include "ftp/ftpDlg.h"
#include "ftp/ftpOutcome.h"
#include "ftp/ftpPartFile.h"
#include "ftp/ftpPort.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"

namespace ftp {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kEscape = 27;
// The replies to ABOR: each awaited this long at most; a reply that comes
// apart from them within the grace is taken too.
constexpr int kAbortWaitMs = 5000;
constexpr int kAbortGraceMs = 300;

struct Reason {
  int error;
  std::string_view text;
};
constexpr std::array<Reason, 12> kReasons{{
    {ENOSPC, "não há espaço no disco"},
    {EDQUOT, "a cota de disco acabou"},
    {EFBIG, "o arquivo passou do tamanho permitido"},
    {EACCES, "permissão negada"},
    {EPERM, "operação não permitida"},
    {EROFS, "o disco só permite leitura"},
    {EIO, "erro de entrada e saída"},
    {ENOENT, "o arquivo ou diretório não existe"},
    {EISDIR, "é um diretório"},
    {ENOTDIR, "o caminho não é um diretório"},
    {ENAMETOOLONG, "o nome é longo demais"},
    {EEXIST, "o arquivo já existe"},
}};

}  // namespace

std::string PlainFileDialogs::chooseLocalFile(int) {
  return ui_.readLineSpoken();
}

uint8_t PlainFileDialogs::reviewLine(std::string_view text, bool& extended) {
  ui_.write(text);
  ui_.endLine();
  uint8_t key = ui_.readKey();
  extended = key == 0;
  if (extended) key = ui_.readKey();
  return key;
}

void PlainFileDialogs::putClipboard(std::string_view text) {
  ui_.logEvent("clipboard", text);
}

std::string IdleCaption(std::string_view remoteName) {
  return "NAVIRO " + std::string(remoteName);
}

std::string TransferCaption(std::string_view remoteName, int64_t bytes) {
  return IdleCaption(remoteName) + " " + std::to_string(KilobytesRoundedUp(bytes)) + "K";
}

std::string SafeLocalName(std::string_view remoteName) {
  const size_t slash = remoteName.rfind('/');
  const std::string_view last =
      slash == std::string_view::npos ? remoteName : remoteName.substr(slash + 1);
  if (last.empty() || last == "." || last == "..") return {};
  return std::string(last);
}

bool AskReceiveNames(Tela& ui, Messages& msg, RemoteName& remote, std::string& local) {
  ui.setBackground(5);
  msg.Announce("FTRECEBE", 0);
  ui.setBackground(0);
  ui.endLine();

  if (remote.text.empty() && remote.wire.empty()) {
    msg.Announce("FTNOMREM", 0);
    remote = RemoteName::typed(ui.readLineSpoken());
    if (remote.text.empty()) return false;
  }
  msg.Announce("FTNOMLOC", 0);
  local = ui.readLineSpoken();
  if (local.empty()) {
    // A name from the server never chooses where we write: only its last
    // component, in the working directory.
    local = SafeLocalName(remote.text);
    if (local.empty()) {
      ui.errorBeep();
      return false;
    }
    ui.write(local == remote.text ? qr::W("(Assumindo nomes idênticos)")
                                  : "(Assumindo " + local + ")");
    ui.endLine();
  }
  return true;
}

bool ChooseReceiveTarget(Tela& ui, Messages& msg, std::string& local, std::string& target) {
  for (;;) {
    target = qr::toUtf8(local);
    struct stat st {};
    LocalTarget there;
    there.exists = ::lstat(target.c_str(), &st) == 0;
    there.directory = ::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    const TargetStep step = PlanTarget(there);
    if (step == TargetStep::Refuse) {
      msg.Announce("FTNAOCRI", 1);
      return false;
    }
    if (step == TargetStep::Write) return true;
    const uint8_t key = AskYesNoKey(ui, msg, ReplaceQuestion(local));
    if (key == 'S' || key == 's') return true;
    if (key != 13 && key != 27) {
      msg.Announce("FTNOMLOC", 0);
      local = ui.readLineSpoken();
      if (!local.empty()) continue;
    }
    msg.Announce("FTDESIS", 2);
    return false;
  }
}

SendChoice AskSendFile(Tela& ui, Messages& msg, FileDialogs& dialogs,
                       const SendHandOffs& handOffs) {
  SendChoice choice;
  std::string& local = choice.local;
  ui.setBackground(5);
  msg.Announce("FTTRANSM", 0);
  ui.setBackground(0);
  ui.endLine();

  msg.Announce("FTNOMLOC", 0);
  local = dialogs.chooseLocalFile(6);
  const std::vector<std::string> marked = dialogs.takeMarkedLocal();
  ui.write(local);
  ui.endLine();
  if (local.empty()) return choice;
  if (handOffs.marked && !marked.empty()) {
    handOffs.marked(marked);
    return choice;
  }
  if (handOffs.matching &&
      local.find_first_of("*?", local.rfind('/') + 1) != std::string::npos) {
    handOffs.matching(local);
    return choice;
  }
  if (struct stat dir {}; handOffs.folder && ::stat(qr::toUtf8(local).c_str(), &dir) == 0 &&
                          S_ISDIR(dir.st_mode)) {
    handOffs.folder(local);
    return choice;
  }

  int fd = ::open(qr::toUtf8(local).c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(fd);
    fd = -1;
  }
  if (fd < 0) {
    msg.Announce("FTARQNAO", 1);
    return choice;
  }
  choice.fd = fd;
  choice.size = static_cast<int64_t>(st.st_size);

  msg.Announce("FTNOMREM", 0);
  choice.remote = ui.readLineSpoken();
  if (choice.remote.empty()) {
    choice.remote = RemoteNameFromLocal(local);
    ui.write("(Assumindo " + choice.remote + ")");
    ui.endLine();
  }
  return choice;
}

std::string RemoteNameFromLocal(std::string_view localPath) {
  const size_t slash = localPath.rfind('/');
  return std::string(slash == std::string_view::npos ? localPath : localPath.substr(slash + 1));
}

std::string PartialName(std::string_view target) {
  return std::string(target) + ".part";
}

std::string SystemReason(int error) {
  for (const Reason& r : kReasons)
    if (r.error == error) return qr::W(r.text);
  return qr::fromUtf8(std::strerror(error));
}

void SayKept(Tela& ui, Messages& msg, const std::string& kept) {
  struct stat st {};
  if (kept.empty() || ::stat(kept.c_str(), &st) != 0) return;
  if (ui.cursorColumn() != 1) ui.endLine();
  msg.Announce("FTPARTE", 0);
  // The whole path is written; the file's own name is what the ear needs.
  const std::string written = qr::fromUtf8(kept);
  const size_t slash = written.find_last_of('/');
  ui.writeLineSaying(written, slash == std::string::npos ? written : written.substr(slash + 1));
}

void SayLocalError(Tela& ui, Messages& msg, std::string_view key, int error) {
  ui.errorBeep();
  if (ui.cursorColumn() != 1) ui.endLine();
  ui.setForeground(4);
  msg.Announce(key, 0);
  ui.write(": ");
  ui.writeLineSpoken(SystemReason(error));
  ui.setForeground(15);
}

Transfer::Transfer(ClientState& state, Tela& ui, Messages& msg, Dlg& dlg, Rede& rede, Port& port)
    : st_(state),
      ui_(ui),
      msg_(msg),
      dlg_(dlg),
      rede_(rede),
      port_(port),
      files_(ui, msg, dlg) {
  files_.useTransfers(state, rede, *this);
}

Transfer::~Transfer() = default;

bool Transfer::SelectType(char type) {
  if (!dlg_.SendCommand(std::string("TYPE ") + type)) {
    msg_.Announce("FTERRMOD", 1);
    return false;
  }
  // RFC 959 section 4.2: 200 takes the type. A refusal ends the transfer
  // here: the other type would change the file's bytes (line ends) and
  // still be called complete.
  const Reply r = dlg_.awaitReply();
  if (!r.complete) return false;
  if (r.code / 100 == 2) {
    files_.typeTaken(type);
    return true;
  }
  announceError("FTERRMOD");
  ui_.writeLineSpoken(r.line);
  return false;
}

DataPathOpen Transfer::openDataPath(bool portMustSucceed) {
  const auto passivePort = [&] {
    ui_.write("Porta passiva selecionada: " + std::to_string(st_.passiveDataPort));
    ui_.endLine();
  };
  if (st_.passive) {
    if (port_.extendedPassiveKnown()) {
      ui_.write("EPSV");
      ui_.endLine();
      const PortOutcome epsv = port_.RequestExtendedPassive();
      if (epsv.reply == PortReply::Lost) return DataPathOpen::Lost;
      if (epsv.reply == PortReply::Accepted) {
        passivePort();
        const NetResult r = rede_.OpenDataConnection();
        if (r.ok()) return DataPathOpen::Open;
        if (r.failure != NetFailure::Unreachable) {
          dlg_.sayNetFailure(r);
          return DataPathOpen::Failed;
        }
        // Nothing answers on the port EPSV named (a firewall, a server
        // behind an address translation): PASV may name one that does.
        if (ui_.cursorColumn() != 1) ui_.endLine();
        ui_.writeLineSpoken(TransferText("epsvmudo"));
      }
      // Not known, refused or unusable: PASV is tried this once.
    }
    ui_.write("PASV");
    ui_.endLine();
    const PortOutcome pasv = port_.RequestPassive();
    switch (pasv.reply) {
      case PortReply::Lost:
        return DataPathOpen::Lost;
      case PortReply::Unknown:
      case PortReply::Refused:
        msg_.Announce("FTNAOPSV", 1);
        if (st_.verbose) ui_.writeLineSpoken(pasv.line);
        return DataPathOpen::Refused;
      case PortReply::BadReply:
        // A reply without its six numbers: refused, and the line said.
        msg_.Announce("FTNAOPSV", 1);
        if (!st_.verbose) ui_.writeLineSpoken(pasv.line);
        return DataPathOpen::Refused;
      case PortReply::Accepted:
        break;
    }
    passivePort();
    const NetResult r = rede_.OpenDataConnection();
    if (r.ok()) return DataPathOpen::Open;
    dlg_.sayNetFailure(r);
    return r.failure == NetFailure::Unreachable ? DataPathOpen::Unreachable : DataPathOpen::Failed;
  }
  // A server may connect as soon as it reads PORT (RFC 959 section 3.2 lets
  // it): listen on the port first, then announce it.
  if (const NetResult r = rede_.OpenDataConnection(); !r.ok()) {
    dlg_.sayNetFailure(r);
    return DataPathOpen::Failed;
  }
  msg_.WriteLabel("FTSELPOR", 0);
  ui_.write(std::to_string(rede_.listeningPort()));
  ui_.endLine();
  ui_.write(port_.portCommand());
  ui_.endLine();
  const PortOutcome port = port_.SelectDataPort();
  if (port.reply == PortReply::Accepted) return DataPathOpen::Open;
  if (port.reply != PortReply::Lost) {
    msg_.Announce("FTERPORT", 1);
    ui_.writeLineSpoken(port.line);
  }
  if (dlg_.closed()) {
    rede_.CloseDataConnection();
    return DataPathOpen::Lost;
  }
  // A transfer goes on after a refused PORT (the server may connect all the
  // same); a listing does not.
  if (portMustSucceed) {
    rede_.CloseDataConnection();
    return DataPathOpen::Refused;
  }
  return DataPathOpen::Open;
}

void Transfer::abortTransfer(bool upload) {
  rede_.CloseDataConnection(upload);
  if (dlg_.closed() || !dlg_.SendCommand("ABOR")) return;
  // RFC 959 section 4.1.3: an aborted transfer is answered 426 and then
  // 226; a transfer that had ended already, by one reply.
  const int bound = std::min(kAbortWaitMs, dlg_.replyInactivityTimeoutMs());
  Reply r = dlg_.awaitReply({.boundMs = bound});
  if (r.complete && r.code >= 400) r = dlg_.awaitReply({.boundMs = bound});
  while (r.complete) r = dlg_.awaitReply({.boundMs = kAbortGraceMs});
}

void Transfer::announceDataBroken(bool upload, bool finalCame) {
  ui_.setForeground(4);
  if (rede_.dataPeerRefused()) {
    // Someone else took the data connection: the server may still wait for
    // its own, so the transfer is stopped rather than waited for.
    msg_.Announce("FTDADCER", 1);
    ui_.setForeground(15);
    if (!finalCame) abortTransfer(upload);
    return;
  }
  msg_.Announce("FTCOMCAI", 1);
  ui_.setForeground(15);
  if (!finalCame && !dlg_.closed()) (void)dlg_.awaitReply();
}

void Transfer::announceError(std::string_view key) {
  ui_.errorBeep();
  if (ui_.cursorColumn() != 1) ui_.endLine();
  ui_.setForeground(4);
  msg_.Announce(key, 1);
  ui_.setForeground(15);
}

void Transfer::announceErrorText(const std::string& text) {
  ui_.errorBeep();
  if (ui_.cursorColumn() != 1) ui_.endLine();
  ui_.setForeground(4);
  ui_.writeLineSpoken(text);
  ui_.setForeground(15);
}

void Transfer::announceNeverConnected() {
  announceErrorText(TransferText("semconexao"));
}

}  // namespace ftp
