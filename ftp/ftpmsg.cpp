// ftpmsg: catalogue look-up and announcements.
#include "ftp/ftpmsg.h"

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
