// ftpOutcome: sizes, durations and milestones in words.
#include "ftp/ftpOutcome.h"

#include <algorithm>
#include <array>

#include "base/cp1252.h"
#include "ftp/ftpRede.h"

namespace ftp {

namespace {

constexpr std::array<int, 3> kMilestones{25, 50, 75};
constexpr auto kWorthSaying = std::chrono::seconds(10);

struct Text {
  std::string_view key;
  std::string_view text;
};
constexpr std::array<Text, 9> kTexts{{
    {"receber", "Continuar a recepção de onde parou?  "},
    {"enviar", "Continuar a transmissão de onde parou?  "},
    {"textonao", "A parte já recebida não pode ser continuada em modo texto."},
    {"textorecomeca", "Recomeçar do início, apagando essa parte?  "},
    {"mudou", "O arquivo mudou no servidor desde a tentativa anterior, recomeçando do início."},
    {"semtamanho",
     "Não sei se o arquivo mudou no servidor desde a tentativa anterior, recomeçando do início."},
    {"semrest", "O servidor não aceita continuar de onde parou, recomeçando do início."},
    {"continuando", "Continuando de "},
    {"porcento", " por cento"},
}};

constexpr std::array<Text, 5> kTransferTexts{{
    {"recebidos", "Dados recebidos, esperando a confirmação do servidor"},
    {"enviados", "Dados enviados, esperando a confirmação do servidor"},
    {"interrompendo", "Interrompendo"},
    {"semconexao", "O servidor não abriu a conexão de dados"},
    {"epsvmudo", "A porta que o servidor indicou não respondeu, tentando PASV"},
}};

std::string plural(int64_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

}  // namespace

std::string SizeWords(int64_t bytes) {
  constexpr int64_t kK = 1024, kM = kK * 1024, kG = kM * 1024;
  // The units as they are said in Portuguese: every voice reads "bytes"
  // as the letters say ("bítchis").
  if (bytes < kK) return plural(bytes < 0 ? 0 : bytes, "baite", "baites");
  if (bytes < kM) return plural((bytes + kK - 1) / kK, "quilobaite", "quilobaites");
  if (bytes < kG) {
    const int64_t mb = (bytes + kM / 2) / kM;
    return plural(mb, "megabaite", "megabaites");
  }
  const int64_t tenths = (bytes * 10 + kG / 2) / kG;
  if (tenths % 10 == 0) return plural(tenths / 10, "gigabaite", "gigabaites");
  return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " gigabaites";
}

std::string DurationWords(std::chrono::milliseconds took) {
  const int64_t seconds = (took.count() + 500) / 1000;
  if (seconds < 1) return "menos de um segundo";
  if (seconds < 60) return plural(seconds, "segundo", "segundos");
  if (seconds < 3600) {
    std::string t = plural(seconds / 60, "minuto", "minutos");
    if (seconds % 60) t += " e " + plural(seconds % 60, "segundo", "segundos");
    return t;
  }
  std::string t = plural(seconds / 3600, "hora", "horas");
  if ((seconds % 3600) / 60) t += " e " + plural((seconds % 3600) / 60, "minuto", "minutos");
  return t;
}

std::string OutcomeText(std::string_view name, int64_t bytes, std::chrono::milliseconds took) {
  return std::string(name) + ", " + SizeWords(bytes) + " em " + qr::W(DurationWords(took));
}

std::string ShortSize(int64_t bytes) {
  constexpr int64_t kK = 1024, kM = kK * 1024, kG = kM * 1024;
  if (bytes < kM) return std::to_string((std::max<int64_t>(bytes, 0) + kK - 1) / kK) + " K";
  if (bytes < kG) return std::to_string((bytes + kM / 2) / kM) + " mega";
  const int64_t tenths = (bytes * 10 + kG / 2) / kG;
  if (tenths % 10 == 0) return std::to_string(tenths / 10) + " giga";
  return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " giga";
}

std::string SpokenOutcome(std::string_view name, std::string_view heard, int64_t bytes,
                          std::chrono::milliseconds took) {
  std::string said = name == heard ? std::string() : std::string(name) + " ";
  said += ShortSize(bytes);
  if (took >= kWorthSaying) said += " em " + qr::W(DurationWords(took));
  return said;
}

Milestones::Milestones(int64_t total, int64_t start, bool enabled)
    : total_(total), start_(start), enabled_(enabled && total > 0) {
  // Milestones already behind a resumed transfer are not said.
  while (next_ < static_cast<int>(kMilestones.size()) &&
         start_ * 100 >= total_ * kMilestones[static_cast<size_t>(next_)])
    ++next_;
}

int Milestones::update(int64_t done, std::chrono::milliseconds elapsed) {
  if (!enabled_) return 0;
  // The highest milestone reached and not yet said. A milestone is only
  // used up once said: a burst at the start (the server's buffers emptied
  // at once) makes a long transfer look short, and what it passed is said
  // when the pace shows the transfer is long after all.
  int reached = next_;
  while (reached < static_cast<int>(kMilestones.size()) &&
         done * 100 >= total_ * kMilestones[static_cast<size_t>(reached)])
    ++reached;
  if (reached == next_) return 0;
  // The end is said by the outcome, not by a milestone left behind.
  if (done >= total_) {
    next_ = reached;
    return 0;
  }
  const int64_t moved = done - start_;
  if (moved <= 0) return 0;
  // The whole transfer at this pace: elapsed * (total - start) / moved.
  const double expectedMs = static_cast<double>(elapsed.count()) *
                            static_cast<double>(total_ - start_) / static_cast<double>(moved);
  if (expectedMs <= std::chrono::duration<double, std::milli>(kWorthSaying).count()) return 0;
  next_ = reached;
  return kMilestones[static_cast<size_t>(reached - 1)];
}

std::string ResumeText(std::string_view key) {
  for (const Text& t : kTexts)
    if (t.key == key) return qr::W(t.text);
  return {};
}

}  // namespace ftp

namespace ftp {

std::string TransferText(std::string_view key) {
  for (const Text& t : kTransferTexts)
    if (t.key == key) return qr::W(t.text);
  return {};
}

std::string ReplaceQuestion(std::string_view name) {
  return qr::W("Já existe ") + std::string(name) + ". Substituir?";
}

std::string ProgressText(int64_t moved, int64_t offset, std::optional<int64_t> total,
                         std::chrono::milliseconds elapsed) {
  std::string text = std::to_string(KilobytesRoundedUp(moved)) + " K";
  if (!total || *total <= 0) return text;
  const int64_t done = std::min(offset + std::max<int64_t>(moved, 0), *total);
  text += ", " + std::to_string(done * 100 / *total) + ResumeText("porcento");
  if (moved <= 0 || done >= *total) return text;
  // At the pace this transfer has kept so far.
  const double leftMs = static_cast<double>(elapsed.count()) * static_cast<double>(*total - done) /
                        static_cast<double>(moved);
  const std::string left = DurationWords(std::chrono::milliseconds(static_cast<int64_t>(leftMs)));
  const bool one = left.rfind("1 ", 0) == 0 || left.rfind("menos", 0) == 0;
  return text + (one ? ", falta " : ", faltam ") + qr::W(left);
}

std::string ShortText(bool upload, int64_t have, int64_t expected) {
  return std::string(upload ? "Enviados " : "Recebidos ") + std::to_string(have) + " de " +
         std::to_string(expected) + " baites";
}

std::string TextSizesText(int64_t have, int64_t expected) {
  return "Em modo texto, " + std::to_string(have) + " baites aqui, " + std::to_string(expected) +
         " no servidor";
}

std::string ServerKeptText(int64_t there, int64_t whole) {
  return "O servidor ficou com parte do arquivo, " + SizeWords(there) + " de " + SizeWords(whole);
}

}  // namespace ftp
