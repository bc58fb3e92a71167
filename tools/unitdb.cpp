// unitdb: generates the syllable-unit database DIFONES1..DIFONES5 (".IND"
// index of 15-byte records and ".DIF" 8-bit 11,025 Hz samples).
//
// The inventory is not a hand-made list: every word of a word list is run
// through the translator and through the synthesiser's own token reader,
// splitting and name fallbacks, against an index that holds every name that
// fits a record; the names asked for are the inventory. Each name is
// rendered with eSpeak NG's Brazilian Portuguese voice from a phoneme
// string, trimmed of silence, low-pass filtered and halved from 22,050 to
// 11,025 Hz and made unsigned 8-bit. Speed levels differ in speaking rate.
// eSpeak NG keeps global state, so the speeds are rendered in forked worker
// processes. The same inputs give the same bytes.
//
//   unitdb --rules regras.rgr --exceptions portug.exc --words LIST --out DIR
//          [--jobs N] [--speeds 12345] [--inventory FILE]
#include <espeak-ng/speak_lib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/cp1252.h"
#include "speech/diphoneUnits.h"
#include "speech/translator.h"
#include "tools/halfRate.h"

namespace {

namespace units = speech::units;

// Speaking rate (words per minute) of each speed level, 1 slowest.
constexpr std::array<int, 5> kRates{150, 185, 220, 270, 330};

// Phonetic symbols of the translator and the eSpeak NG phoneme each stands
// for; longer sequences first. Glides are handled apart (onset or offglide).
struct Sym {
  std::string_view text;
  std::string_view phoneme;
};
constexpr std::array<Sym, 34> kSymbols{{
    {"tch", "tS"}, {"dj", "dZ"}, {"nh", "n^"}, {"rr", "x"}, {"ks", "ks"}, {"a^", "&"},
    {"e^", "e"},   {"i^", "i"},  {"o^", "o"},  {"u^", "u"}, {"a~", "&~"}, {"e~", "e~"},
    {"i~", "i~"},  {"o~", "o~"}, {"u~", "u~"}, {"nn", "N"}, {"b", "b"},   {"c", "k"},
    {"d", "d"},    {"f", "f"},   {"g", "g"},   {"j", "Z"},  {"k", "k"},   {"l", "l"},
    {"m", "m"},    {"n", "n"},   {"p", "p"},   {"q", "k"},  {"r", "*"},   {"s", "s"},
    {"t", "t"},    {"v", "v"},   {"x", "S"},   {"z", "z"},
}};

struct Options {
  std::string rules, exceptions, words, out, inventoryFile;
  std::string speeds = "12345";
  unsigned jobs = 0;
};

// The unit's text in the translator's alphabet, with the case of its most
// frequent use (which tells the stressed vowel), from a name as played:
// "$kAza", "$aCIRC", "$nn".
std::string unitText(std::string_view name) {
  std::string t(name.substr(1));
  auto endsWith = [&t](std::string_view s) {
    return t.size() >= s.size() && t.compare(t.size() - s.size(), s.size(), s) == 0;
  };
  if (endsWith("CIRC"))
    t = t.substr(0, t.size() - 4) + "^";
  else if (endsWith("TIL"))
    t = t.substr(0, t.size() - 3) + "~";
  return t;
}

// eSpeak NG phoneme input for a unit text: "kAza" -> "k'az&".
std::string phonemes(std::string_view text) {
  std::string t(text);
  // A nasal mark after a diphthong nasalises both of its vowels.
  if (t.size() >= 3 && t.back() == '~' && units::isGlide(t[t.size() - 2]) &&
      units::isVowel(t[t.size() - 3]) && !units::isGlide(t[t.size() - 3]))
    t.insert(t.size() - 2, "~");
  std::string out;
  const bool stressed = std::any_of(t.begin(), t.end(), units::isStressedVowel);
  for (size_t i = 0; i < t.size();) {
    const bool upper = units::isStressedVowel(t[i]);
    std::string rest = t.substr(i);
    if (upper) {
      rest[0] = static_cast<char>(rest[0] + 32);
      out += '\'';
    }
    const char c = rest[0];
    if (units::isGlide(c)) {
      const bool onset = rest.size() > 1 && units::isVowel(rest[1]) && !units::isGlide(rest[1]);
      const bool nasal = rest.size() > 1 && rest[1] == '~';
      out += onset ? (c == 'w' ? "w" : "j") : (c == 'w' ? "U" : "y");
      if (nasal) out += '~';
      i += nasal ? 2 : 1;
      continue;
    }
    const Sym* hit = nullptr;
    for (const auto& s : kSymbols)
      if (std::string_view(rest).substr(0, s.text.size()) == s.text) {
        hit = &s;
        break;
      }
    if (hit) {
      out += hit->phoneme;
      i += hit->text.size();
      continue;
    }
    if (units::isVowel(c)) {
      // Stressed e and o without a mark are open, as after an acute accent;
      // a final unstressed a is reduced.
      if (upper && c == 'e')
        out += 'E';
      else if (upper && c == 'o')
        out += 'O';
      else if (!upper && c == 'a' && i + 1 == t.size() && t.size() > 1)
        out += '&';
      else
        out += c;
    }
    ++i;
  }
  if (!stressed && out.find_first_of("aeiouEO&") != std::string::npos) out = "," + out;
  return out;
}

// Windowed-sinc low-pass (cut-off 5 kHz at 22,050 Hz), 31 taps.
// Trims leading and trailing silence, filters, halves the rate, brings the
// unit to a common level, and makes unsigned 8-bit samples with a short fade
// at both ends. Units without a vowel (a final "s", the "t" of "tr") come out
// of the voice, and more so out of the filter, very faint; they get a lower
// level of their own and more gain.
std::vector<uint8_t> toUnit(const std::vector<int16_t>& in, bool voiced) {
  constexpr int kThreshold = 400;
  const double target = voiced ? 100.0 : 40.0;
  const double maxGain = voiced ? 2.5 : 8.0;
  size_t first = 0, last = in.size();
  while (first < in.size() && std::abs(in[first]) < kThreshold) ++first;
  while (last > first && std::abs(in[last - 1]) < kThreshold) --last;
  if (first >= last) return {};
  first = first > 110 ? first - 110 : 0;  // 5 ms lead-in keeps the onset
  std::vector<float> filtered = tools::halveRate(in, first, last);
  double peak = 1.0;
  for (float& v : filtered) {
    v /= 256.0f;
    peak = std::max(peak, std::abs(static_cast<double>(v)));
  }
  const double gain = std::min(maxGain, target / peak);
  std::vector<uint8_t> out(filtered.size());
  const size_t fade = std::min<size_t>(out.size() / 2, 40);
  for (size_t i = 0; i < out.size(); ++i) {
    double g = gain;
    if (i < fade) g *= static_cast<double>(i) / fade;
    if (out.size() - 1 - i < fade) g *= static_cast<double>(out.size() - 1 - i) / fade;
    out[i] = static_cast<uint8_t>(std::clamp<long>(std::lround(filtered[i] * g) + 128, 0, 255));
  }
  if (out.size() > 65535) out.resize(65535);
  return out;
}

std::vector<int16_t> gSamples;
int collect(short* wav, int n, espeak_EVENT*) {
  if (wav && n > 0) gSamples.insert(gSamples.end(), wav, wav + n);
  return 0;
}

// Renders every unit at one speed and writes DIFONESn.IND and .DIF.
int renderSpeed(int speed, const std::vector<std::pair<std::string, std::string>>& inventory,
                const std::string& outDir) {
  if (espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT) < 0) {
    std::cerr << "unitdb: eSpeak NG cannot be initialised\n";
    return 1;
  }
  espeak_SetSynthCallback(collect);
  if (espeak_SetVoiceByName("pt-br") != EE_OK) {
    std::cerr << "unitdb: eSpeak NG has no Brazilian Portuguese voice (pt-br)\n";
    return 1;
  }
  espeak_SetParameter(espeakRATE, kRates[speed - 1], 0);
  espeak_SetParameter(espeakPITCH, 50, 0);
  std::vector<uint8_t> index;
  std::vector<uint8_t> data;
  for (const auto& [upper, played] : inventory) {
    const std::string text = unitText(played);
    const std::string input = "[[" + phonemes(text) + "]]";
    gSamples.clear();
    espeak_Synth(input.c_str(), input.size() + 1, 0, POS_CHARACTER, 0,
                 espeakCHARS_8BIT | espeakPHONEMES, nullptr, nullptr);
    const bool voiced = std::any_of(text.begin(), text.end(),
                                    [](char c) { return units::isVowel(c) && !units::isGlide(c); });
    const auto unit = toUnit(gSamples, voiced);
    uint8_t rec[units::kRecordSize];
    units::encodeRecord(
        {upper, static_cast<uint16_t>(unit.size()), static_cast<uint32_t>(data.size())}, rec);
    index.insert(index.end(), rec, rec + units::kRecordSize);
    data.insert(data.end(), unit.begin(), unit.end());
  }
  espeak_Terminate();
  const std::string base = outDir + "/DIFONES" + std::to_string(speed);
  for (const auto& [ext, bytes] : {std::pair{".IND", &index}, std::pair{".DIF", &data}}) {
    const std::string tmp = base + ext + ".tmp";
    std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
    o.write(reinterpret_cast<const char*>(bytes->data()), static_cast<long>(bytes->size()));
    o.close();
    if (!o) {
      std::cerr << "unitdb: cannot write " << tmp << "\n";
      return 1;
    }
    std::filesystem::rename(tmp, base + ext);
  }
  std::cout << "unitdb: DIFONES" << speed << ": " << inventory.size() << " units, " << data.size()
            << " bytes\n";
  return 0;
}

bool parseArgs(int argc, char** argv, Options& o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i], v = argv[i + 1];
    if (k == "--rules")
      o.rules = v;
    else if (k == "--exceptions")
      o.exceptions = v;
    else if (k == "--words")
      o.words = v;
    else if (k == "--out")
      o.out = v;
    else if (k == "--inventory")
      o.inventoryFile = v;
    else if (k == "--speeds")
      o.speeds = v;
    else if (k == "--jobs")
      o.jobs = static_cast<unsigned>(std::stoul(v));
    else
      return false;
  }
  return !o.rules.empty() && !o.exceptions.empty() && !o.words.empty() && !o.out.empty();
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (!parseArgs(argc, argv, opt)) {
    std::cerr << "usage: unitdb --rules R --exceptions E --words LIST --out DIR [--jobs N] "
                 "[--speeds 12345] [--inventory FILE]\n";
    return 2;
  }
  speech::Translator translator;
  if (!translator.loadTranslatorRules(opt.rules) ||
      !translator.loadTranslatorExceptions(opt.exceptions)) {
    std::cerr << "unitdb: cannot load " << opt.rules << " or " << opt.exceptions << "\n";
    return 1;
  }
  std::ifstream words(opt.words);
  if (!words) {
    std::cerr << "unitdb: cannot read the word list " << opt.words << "\n";
    return 1;
  }

  // Every name that fits an index record is taken as present; the names the
  // synthesiser then asks for are the inventory. For each, the spelling of
  // its most frequent use tells where its stress falls.
  std::map<std::string, std::map<std::string, int>> uses;
  const units::UnitLookup fits = [](std::string_view upper) -> std::optional<size_t> {
    if (upper.size() <= units::kMaxNameLength) return 0;
    return std::nullopt;
  };
  size_t wordCount = 0, uncovered = 0;
  for (std::string line; std::getline(words, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    ++wordCount;
    bool missing = false;
    units::forEachResolvedName(
        translator.translateToPhonetic(qr::fromUtf8(line)), fits,
        [&](const units::NamePlay&, const std::vector<units::Piece>& pieces) {
          if (pieces.empty()) missing = true;
          for (const auto& p : pieces) {
            if (p.kind == units::Piece::Kind::Unit) ++uses[units::upperName(p.name)][p.name];
            if (p.kind == units::Piece::Kind::Noise) missing = true;
          }
        });
    if (missing) ++uncovered;
  }
  std::vector<std::pair<std::string, std::string>> inventory;
  inventory.reserve(uses.size());
  for (const auto& [upper, spellings] : uses) {
    const auto best =
        std::max_element(spellings.begin(), spellings.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
    inventory.emplace_back(upper, best->first);
  }
  std::sort(inventory.begin(), inventory.end(),
            [](const auto& a, const auto& b) { return units::nameLess(a.first, b.first); });
  std::cout << "unitdb: " << wordCount << " words, " << inventory.size() << " units, " << uncovered
            << " words with a unit that no record can hold\n";
  if (!opt.inventoryFile.empty()) {
    std::ofstream inv(opt.inventoryFile);
    for (const auto& [upper, played] : inventory)
      inv << upper << ' ' << played << ' ' << phonemes(unitText(played)) << '\n';
  }

  std::filesystem::create_directories(opt.out);
  const unsigned jobs =
      opt.jobs ? opt.jobs : std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
  std::vector<int> speeds;
  for (const char c : opt.speeds)
    if (c >= '1' && c <= '5') speeds.push_back(c - '0');
  std::fflush(nullptr);
  int failures = 0;
  size_t next = 0;
  unsigned running = 0;
  while (next < speeds.size() || running > 0) {
    if (next < speeds.size() && running < jobs) {
      const int speed = speeds[next++];
      const pid_t pid = fork();
      if (pid == 0) {
        const int rc = renderSpeed(speed, inventory, opt.out);
        std::fflush(nullptr);
        _exit(rc);
      }
      if (pid < 0) {
        ++failures;
      } else {
        ++running;
      }
      continue;
    }
    int status = 0;
    if (wait(&status) < 0) break;
    --running;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
  }
  if (failures) {
    std::cerr << "unitdb: " << failures << " speed level(s) failed\n";
    return 1;
  }
  return 0;
}
