// ftpOutcome: what a transfer tells the user beyond the design's messages.
// The outcome of a completed transfer, written whole after "Recepção
// completada" or "Envio completado" with its name, size and time
// ("carta.pdf, 12 megabaites em 3 segundos") and said short (see
// SpokenOutcome), never after a failure; the milestones 25, 50 and 75 per
// cent of a transfer expected to take more than 10 seconds (key MARCOS of
// section NAVIRO: N turns them off); the texts of resuming. Texts are
// Windows-1252 once through qr::W; numbers are digits, which the speech
// layer says in number words.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ftp {

// "1 baite", "512 baites", "3 quilobaites", "12 megabaites", "1,5 gigabaites":
// the spoken forms, which every voice reads right.
[[nodiscard]] std::string SizeWords(int64_t bytes);
// "menos de um segundo", "3 segundos", "1 minuto e 5 segundos", "2 horas e
// 1 minuto".
[[nodiscard]] std::string DurationWords(std::chrono::milliseconds took);
// "name, SIZE em TIME".
[[nodiscard]] std::string OutcomeText(std::string_view name, int64_t bytes,
                                      std::chrono::milliseconds took);
// The size as the progress says it: "20 K" below a megabyte (kilobytes
// rounded up, as the caption counts them), then "12 mega", "1,5 giga".
[[nodiscard]] std::string ShortSize(int64_t bytes);
// What is said of a completed transfer after its message: the name only
// when it is not the one the user typed or heard for it, the size short,
// and the time only when the transfer took 10 seconds or more. The
// completion message itself says the file is whole (a short one is a
// failure); the rest is written for review, not said.
[[nodiscard]] std::string SpokenOutcome(std::string_view name, std::string_view heard,
                                        int64_t bytes, std::chrono::milliseconds took);

// The milestones of one transfer of total bytes, of which start were there
// before it began (a resumed receive or send).
class Milestones {
 public:
  Milestones(int64_t total, int64_t start, bool enabled);
  // The milestone (25, 50, 75) to say now: the highest that done has
  // reached and that was not said, once the transfer, at the pace it has
  // kept since it began, takes more than 10 seconds in all. 0 for none.
  // Each is said at most once; of several reached together only the
  // highest is said; none is said once the whole has arrived.
  [[nodiscard]] int update(int64_t done, std::chrono::milliseconds elapsed);

 private:
  int64_t total_;
  int64_t start_;
  bool enabled_;
  int next_ = 0;  // index of the next milestone
};

// The texts of resuming, Windows-1252.
[[nodiscard]] std::string ResumeText(std::string_view key);

// The texts of a transfer beyond the catalogue's, Windows-1252: "recebidos"
// and "enviados" (the data went, the final reply is awaited),
// "interrompendo", "semconexao" (the server never opened the data
// connection), "epsvmudo" (the port EPSV named did not answer).
[[nodiscard]] std::string TransferText(std::string_view key);
// "Já existe NOME. Substituir?", the name as given (Windows-1252).
[[nodiscard]] std::string ReplaceQuestion(std::string_view name);
// What a progress request says after "Transmitidos ": "N K" (kilobytes
// moved by this transfer, rounded up), and when the whole size is known the
// share of it there and, once the pace is known, the time left: "N K, 40
// por cento, faltam 12 segundos".
[[nodiscard]] std::string ProgressText(int64_t moved, int64_t offset, std::optional<int64_t> total,
                                       std::chrono::milliseconds elapsed);
// "Recebidos X de N baites" ("Enviados" for an upload): a transfer the
// server called complete that is short of the size announced.
[[nodiscard]] std::string ShortText(bool upload, int64_t have, int64_t expected);
// Text mode changes line ends, so the sizes may differ: "Em modo texto,
// X baites aqui, N no servidor".
[[nodiscard]] std::string TextSizesText(int64_t have, int64_t expected);
// An upload given up that the server kept a part of: "O servidor ficou com
// parte do arquivo: SIZE de SIZE".
[[nodiscard]] std::string ServerKeptText(int64_t there, int64_t whole);

}  // namespace ftp
