// Generates the environment's sound library: letter names, number pieces,
// time and date pieces, shared "_" sounds and telephone tones in som/letras,
// and one recording per message, the catalogue's and our own, in som/naviro.
// Speech comes from eSpeak NG's Brazilian Portuguese voice (22,050 Hz, 16
// bits), low-pass filtered and decimated to the library's 8-bit mono
// 11,025 Hz WAV format.
// The list of number pieces is derived from numberWords itself, so the
// library always holds every piece the program can ask for.
//
//   soundlib OUTDIR [JOBS]      writes OUTDIR/letras and OUTDIR/naviro
//
// Each sound is made in a child process, JOBS of them at a time; the output
// does not depend on JOBS.
#include <espeak-ng/speak_lib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/cp1252.h"
#include "base/wav.h"
#include "ftp/ftpmsgCatalogue.h"
#include "ftp/ftpmsgOwn.h"
#include "speech/numbers.h"
#include "speech/speechLevel.h"
#include "tools/halfRate.h"
#include "tools/unitdbPhonemes.h"

namespace {

constexpr uint32_t kOutRate = 11025;
constexpr int kPieceRange = 25;  // eSpeak NG's pitch range, 50 by default

struct Phrase {
  std::string_view name;
  std::string_view text;  // UTF-8
};

// Spoken forms of pieces whose file name lost letters or accents.
constexpr std::array<Phrase, 29> kPiecePhrases{{
    {"_tres", "três"},         {"_e", "i"},
    {"_hora", "hora"},         {"_horas", "horas"},
    {"_minuto", "minuto"},     {"_minutos", "minutos"},
    {"_primeir", "primeiro"},  {"_de", "de"},
    {"_Domingo", "domingo"},   {"_Segunda", "segunda"},
    {"_Terca", "terça"},       {"_Quarta", "quarta"},
    {"_Quinta", "quinta"},     {"_Sexta", "sexta"},
    {"_Sabado", "sábado"},     {"_Janeiro", "janeiro"},
    {"_Feverei", "fevereiro"}, {"_Marco", "março"},
    {"_Abril", "abril"},       {"_Maio", "maio"},
    {"_Junho", "junho"},       {"_Julho", "julho"},
    {"_Agosto", "agosto"},     {"_Setembr", "setembro"},
    {"_Outubro", "outubro"},   {"_Novembr", "novembro"},
    {"_Dezembr", "dezembro"},  {"_uma", "uma"},
    {"_duas", "duas"},
}};

// Shared sounds of the environment, played by name.
constexpr std::array<Phrase, 9> kEnvironmentPhrases{{
    {"_DEL", "apagado"},
    {"_MENOS", "menos"},
    {"_zero", "zero"},
    {"_APFCPO", "apagado até o fim do campo"},
    {"_APICPO", "apagado até o início do campo"},
    {"_CPOAPA", "campo apagado"},
    {"_FALACI", "eco ligado"},
    {"_FALDLG", "eco desligado"},
    {"_VELOC", "qual a velocidade?"},
}};

// Phonetic names of the letters A-Z (lower case shares them).
constexpr std::array<std::string_view, 26> kPhonetic{
    "a de amor",   "bê de bola",    "cê de casa",       "dê de dado",    "é de escola",
    "éfe de faca", "gê de gato",    "agá de hotel",     "i de igreja",   "jóta de janela",
    "cá de quilo", "éle de lua",    "ême de maria",     "êne de navio",  "ó de ovo",
    "pê de pato",  "quê de queijo", "érre de rato",     "ésse de sapo",  "tê de tatu",
    "u de uva",    "vê de vaca",    "dábliu de uóston", "xis de xícara", "ípsilon de iara",
    "zê de zebra"};

struct Tone {
  char key;
  int low;
  int high;
};
constexpr std::array<Tone, 12> kDtmf{{{'1', 697, 1209},
                                      {'2', 697, 1336},
                                      {'3', 697, 1477},
                                      {'4', 770, 1209},
                                      {'5', 770, 1336},
                                      {'6', 770, 1477},
                                      {'7', 852, 1209},
                                      {'8', 852, 1336},
                                      {'9', 852, 1477},
                                      {'X', 941, 1209},
                                      {'0', 941, 1336},
                                      {'#', 941, 1477}}};

struct Item {
  std::string path;  // relative to the output directory
  std::string text;  // UTF-8; empty for a tone
  const Tone* tone = nullptr;
  bool piece = false;  // a word joined with others: level, non-final intonation
};

std::string trimSpaces(std::string s) {
  const auto b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// Every sound to make; nullopt (after saying why) when a phrase is missing.
std::optional<std::vector<Item>> buildItems() {
  std::map<std::string, std::string> letters;  // file stem -> UTF-8 text
  for (int c = 0; c < 256; ++c) {
    const std::string name = trimSpaces(qr::toUtf8(speech::characterName(static_cast<uint8_t>(c))));
    if (!name.empty()) letters["_" + std::to_string(c)] = name;
  }
  // Every piece numberWords can produce: all groups through 999,999 and each
  // scale word, singular and plural.
  std::vector<uint64_t> numbers;
  for (uint64_t n = 0; n < 1000000; ++n) numbers.push_back(n);
  for (uint64_t scale : {1000000ULL, 1000000000ULL, 1000000000000ULL})
    for (uint64_t k : {1ULL, 2ULL}) numbers.push_back(k * scale);
  for (uint64_t n : numbers) {
    const std::string words = speech::numberWords(n);
    size_t i = 0;
    while (i < words.size()) {
      size_t end = words.find(' ', i);
      if (end == std::string::npos) end = words.size();
      if (end > i) {
        const std::string word = words.substr(i, end - i);
        letters.emplace(speech::pieceNameOfWord(word), qr::toUtf8(word));
      }
      i = end + 1;
    }
  }
  for (const auto& p : kPiecePhrases) letters[std::string(p.name)] = std::string(p.text);
  // Number, time and date pieces are joined into one sound with others.
  std::set<std::string> pieces;
  for (const auto& [stem, text] : letters)
    if (!stem.empty() && !std::isdigit(static_cast<unsigned char>(stem[1]))) pieces.insert(stem);
  for (const auto& name : speech::timeAndDatePieceNames()) {
    if (!letters.count(name)) {
      std::fprintf(stderr, "soundlib: no phrase for the piece %s\n", name.c_str());
      return std::nullopt;
    }
  }
  for (const auto& p : kEnvironmentPhrases) letters[std::string(p.name)] = std::string(p.text);
  for (int c = 0; c < 26; ++c) {
    letters["_FON" + std::to_string('A' + c)] = std::string(kPhonetic[c]);
    letters["_FON" + std::to_string('a' + c)] = std::string(kPhonetic[c]);
  }
  for (int c = 192; c < 256; ++c) {
    const std::string name = trimSpaces(qr::toUtf8(speech::characterName(static_cast<uint8_t>(c))));
    if (!name.empty() && c != 215 && c != 247) letters["_FON" + std::to_string(c)] = name;
  }

  std::vector<Item> items;
  for (auto& [stem, text] : letters)
    items.push_back({"letras/" + stem + ".wav", text, nullptr, pieces.count(stem) > 0});
  for (const auto& t : kDtmf)
    items.push_back({std::string("letras/dtmf_") + t.key + ".wav", {}, &t});
  // Our own sentences are recorded as the catalogue's are: a full stop in
  // them is then the voice's pause, not the name of the mark that the
  // letter-by-letter speech gives it.
  auto record = [&items](const auto& table) {
    for (const auto& m : table)
      items.push_back({"naviro/" + std::string(m.key) + ".wav", trimSpaces(std::string(m.text))});
  };
  record(ftp::kMessages);
  record(ftp::kOwnMessages);
  return items;
}

// Synthesis output of the current utterance.
std::vector<int16_t>* gSink = nullptr;

int onSynth(short* wav, int count, espeak_EVENT*) {
  if (wav && count > 0 && gSink) gSink->insert(gSink->end(), wav, wav + count);
  return 0;
}

// Trims the silence around the speech (keeping 10 ms), brings it to the
// program's one active speech level and converts to unsigned 8 bits. The
// few peaks that would then pass 80 % of full scale (a loud burst in a
// short word) are rounded off smoothly below full scale rather than the
// whole sound made fainter or clipped.
std::vector<uint8_t> toEightBit(std::vector<float> s) {
  constexpr float kSilence = 250.0f;
  constexpr long kMargin = kOutRate / 100;
  constexpr double kKnee = 0.8;
  long first = 0, last = static_cast<long>(s.size()) - 1;
  while (first <= last && std::fabs(s[first]) < kSilence) ++first;
  while (last >= first && std::fabs(s[last]) < kSilence) --last;
  if (first > last) return {};
  first = std::max(0L, first - kMargin);
  last = std::min(static_cast<long>(s.size()) - 1, last + kMargin);
  std::vector<float> unit;
  for (long i = first; i <= last; ++i) unit.push_back(s[i] / 32768.0f);
  const auto level = speech::activeLevel(unit, static_cast<int>(kOutRate));
  const double gain = level ? std::pow(10.0, (speech::kSpeechLevel - *level) / 20.0) : 1.0;
  std::vector<uint8_t> out;
  for (const float x : unit) {
    double v = x * gain;
    if (std::fabs(v) > kKnee)
      v = std::copysign(kKnee + (0.99 - kKnee) * std::tanh((std::fabs(v) - kKnee) / (0.99 - kKnee)),
                        v);
    out.push_back(static_cast<uint8_t>(std::clamp(std::lround(v * 128) + 128, 0L, 255L)));
  }
  return out;
}

std::vector<uint8_t> dtmfSamples(const Tone& t) {
  constexpr int kLength = kOutRate * 180 / 1000;
  constexpr int kRamp = kOutRate * 5 / 1000;
  std::vector<uint8_t> out;
  for (int i = 0; i < kLength; ++i) {
    const double time = static_cast<double>(i) / kOutRate;
    double v = 0.5 * (std::sin(2 * M_PI * t.low * time) + std::sin(2 * M_PI * t.high * time));
    const int edge = std::min(i, kLength - 1 - i);
    if (edge < kRamp) v *= static_cast<double>(edge) / kRamp;
    out.push_back(static_cast<uint8_t>(std::clamp(std::lround(128 + 110 * v), 0L, 255L)));
  }
  return out;
}

bool writeWav(const std::filesystem::path& path, const std::vector<uint8_t>& samples) {
  const auto image = qr::makeWavImage(samples.data(), samples.size(), kOutRate, 1, 8);
  const auto tmp = path.string() + ".tmp";
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
  if (std::fclose(f) != 0 || !ok) return false;
  std::error_code ec;
  std::filesystem::rename(tmp, path, ec);
  return !ec;
}

bool startVoice() {
  const int rate =
      espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
  if (rate != 22050) {
    std::fprintf(stderr, "soundlib: eSpeak NG did not start (rate %d)\n", rate);
    return false;
  }
  if (espeak_SetVoiceByName("pt-br") != EE_OK) {
    std::fprintf(stderr, "soundlib: eSpeak NG has no pt-br voice\n");
    return false;
  }
  // The pace of the default speed level; the player's time scaling gives
  // the other speeds.
  espeak_SetParameter(espeakRATE, tools::kSpeedRates[2], 0);
  espeak_SetSynthCallback(onSynth);
  return true;
}

// Makes one sound. eSpeak NG carries state from one utterance to the next
// and cannot be restarted within a process, so each sound is made in a
// child forked from the freshly started voice: its bytes then do not depend
// on order or split, and the voice is loaded only once.
int makeItem(const Item& item, const std::filesystem::path& out) {
  std::vector<uint8_t> samples;
  if (item.tone) {
    samples = dtmfSamples(*item.tone);
  } else {
    std::vector<int16_t> pcm;
    gSink = &pcm;
    // A piece is said as a clause that goes on (a comma after it) with a
    // narrow pitch range: joined to the next piece it does not sound like
    // the end of a sentence.
    const std::string text = item.piece ? item.text + "," : item.text;
    if (item.piece) espeak_SetParameter(espeakRANGE, kPieceRange, 0);
    const espeak_ERROR e = espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0,
                                        espeakCHARS_UTF8, nullptr, nullptr);
    espeak_Synchronize();
    gSink = nullptr;
    if (e != EE_OK) {
      std::fprintf(stderr, "soundlib: synthesis failed for %s\n", item.path.c_str());
      return 1;
    }
    samples = toEightBit(tools::halveRate(pcm));
    if (samples.empty()) {
      std::fprintf(stderr, "soundlib: silence for %s (%s)\n", item.path.c_str(), item.text.c_str());
      return 1;
    }
  }
  if (!writeWav(out / item.path, samples)) {
    std::fprintf(stderr, "soundlib: cannot write %s\n", (out / item.path).c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: soundlib OUTDIR [JOBS]\n");
    return 2;
  }
  const std::filesystem::path out = argv[1];
  const int jobs = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 16) : 2;
  std::error_code ec;
  std::filesystem::create_directories(out / "letras", ec);
  std::filesystem::create_directories(out / "naviro", ec);
  if (ec) {
    std::fprintf(stderr, "soundlib: cannot create %s\n", out.c_str());
    return 1;
  }
  const std::optional<std::vector<Item>> built = buildItems();
  if (!built) return 1;
  const std::vector<Item>& items = *built;
  if (!startVoice()) return 1;
  std::fflush(nullptr);
  bool ok = true;
  int running = 0;
  auto reap = [&] {
    int status = 0;
    if (wait(&status) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) ok = false;
    --running;
  };
  for (const Item& item : items) {
    if (running == jobs) reap();
    const pid_t pid = fork();
    if (pid < 0) {
      std::perror("soundlib: fork");
      ok = false;
      break;
    }
    // A forked child leaves with _exit: the parent's buffers and exit
    // handlers are not its own to run.
    if (pid == 0) _exit(makeItem(item, out));
    ++running;
  }
  while (running > 0) reap();
  if (!ok) {
    std::fprintf(stderr, "soundlib: generation failed\n");
    return 1;
  }
  std::printf("soundlib: %zu sounds in %s\n", items.size(), out.c_str());
  return 0;
}
