// ftpmsg: catalogue look-up and announcements.
#include "ftp/ftpmsg.h"

#include <array>

#include "base/cp1252.h"
#include "ftp/ftpSshMessages.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpTlsMessages.h"
#include "ftp/ftpmsgOwn.h"
#include "ftp/ftpmsgCatalogue.h"

namespace ftp {

std::string MessageText(std::string_view key) {
  for (const auto& m : kMessages)
    if (m.key == key) return qr::W(m.text);
  for (const auto& m : kTlsMessages)
    if (m.key == key) return qr::W(m.text);
  for (const auto& m : kSshMessages)
    if (m.key == key) return qr::W(m.text);
  for (const auto& m : kOwnMessages)
    if (m.key == key) return qr::W(m.text);
  return qr::W("--> Mensagem inválida: ") + std::string(key);
}

std::string ReplyMeaning(int code) {
  struct Meaning {
    int code;
    std::string_view text;
  };
  // RFC 959 section 4.2, RFC 2228 and RFC 3659: the codes a server refuses
  // with, and what they mean to the user, without a full stop to be named.
  static constexpr std::array<Meaning, 17> kMeanings{{
      {421, "O servidor encerrou o serviço"},
      {425, "A conexão de dados não abriu"},
      {426, "A conexão de dados caiu"},
      {430, "Conta ou senha recusada"},
      {450, "Arquivo ocupado ou indisponível"},
      {451, "Erro no servidor"},
      {452, "Sem espaço no servidor"},
      {500, "O servidor não entendeu o comando"},
      {501, "O servidor não aceitou o nome ou os parâmetros"},
      {502, "O servidor não tem este comando"},
      {504, "O servidor não tem este comando"},
      {530, "Conta ou senha recusada"},
      {532, "O servidor pede uma conta de acesso"},
      {534, "O servidor recusou a conexão segura"},
      {550, "Arquivo não encontrado ou sem permissão"},
      {552, "Sem espaço no servidor"},
      {553, "Nome de arquivo não permitido"},
  }};
  for (const Meaning& m : kMeanings)
    if (m.code == code) return qr::W(m.text);
  return {};
}

bool LabelText(std::string_view key, std::string& text) {
  for (const auto& m : kLabels)
    if (m.key == key) {
      text = qr::W(m.text);
      return true;
    }
  return false;
}

void Messages::Announce(std::string_view key, int lineEnds) {
  announce(key, lineEnds, false);
}

void Messages::AnnounceAndGoOn(std::string_view key, int lineEnds) {
  announce(key, lineEnds, true);
}

void Messages::announce(std::string_view key, int lineEnds, bool goOn) {
  ui_.logEvent("announce", key);
  const std::string text = MessageText(key);
  ui_.write(text);
  for (int i = 0; i < lineEnds; ++i) ui_.endLine();
  if (!ui_.soundExists(key)) {
    if (goOn)
      ui_.speakAndGoOn(text);
    else
      ui_.speakText(text);
  } else if (goOn)
    ui_.startSound(key);
  else
    ui_.playSound(key);
}

void Messages::Write(std::string_view key, int lineEnds) {
  ui_.logEvent("written", key);
  ui_.write(MessageText(key));
  for (int i = 0; i < lineEnds; ++i) ui_.endLine();
}

void Messages::WriteLabel(std::string_view key, int lineEnds) {
  std::string text;
  if (LabelText(key, text)) {
    ui_.write(text);
  } else {
    ui_.write("--> Mensagem invalida: " + std::string(key));
    ui_.endLine();
  }
  for (int i = 0; i < lineEnds; ++i) ui_.endLine();
}

}  // namespace ftp
