// ftpArq, the pieces of resuming and of the spoken outcome: the yes-or-no
// question and the outcome line.
#include <cerrno>

#include "ftp/ftpDlg.h"
#include "ftp/ftpOutcome.h"
#include "ftp/ftpTela.h"
#include "ftp/ftpTransfer.h"
#include "ftp/ftpmsg.h"
#include "ftp/ftpvars.h"

namespace ftp {

bool AskYesNo(Tela& ui, Messages& msg, const std::string& question) {
  const uint8_t key = AskYesNoKey(ui, msg, question);
  return key == 'S' || key == 's';
}

uint8_t AskYesNoKey(Tela& ui, Messages& msg, const std::string& question) {
  if (ui.cursorColumn() != 1) ui.endLine();
  // Written as it is, spoken without its question mark, which the voice
  // would name.
  ui.write(question);
  ui.speakText(question.substr(0, question.find('?')));
  msg.Announce("FTSIMNAO", 0);
  const uint8_t key8 = ui.readKey();
  if (key8 == 0) (void)ui.readKey();  // the code of an extended key
  ui.writeSpoken(std::string(1, static_cast<char>(key8 >= 32 ? key8 : ' ')));
  ui.endLine();
  return key8;
}

void SayResumeCheck(Tela& ui, ResumeCheck check) {
  switch (check) {
    case ResumeCheck::GoOn:
      return;
    case ResumeCheck::Changed:
      ui.writeLineSpoken(ResumeText("mudou"));
      return;
    case ResumeCheck::Unknown:
      ui.writeLineSpoken(ResumeText("semtamanho"));
      return;
  }
}

void SayOutcome(Tela& ui, std::string_view name, std::string_view heard, int64_t bytes,
                std::chrono::steady_clock::time_point began) {
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - began);
  ui.write(OutcomeText(name, bytes, took));
  ui.speakText(SpokenOutcome(name, heard, bytes, took));
  ui.endLine();
}

bool MilestonesWanted(Tela& ui) {
  const std::string v = ui.setting("MARCOS");
  return v.empty() || (v[0] != 'N' && v[0] != 'n');
}

}  // namespace ftp
