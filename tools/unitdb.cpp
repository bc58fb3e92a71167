// unitdb: generates the syllable-unit database DIFONES1..DIFONES5 (".IND"
// index of 15-byte records and ".DIF" 8-bit 11,025 Hz samples).
//
// The inventory is not a hand-made list: every word of a word list is run
// through the translator and through the synthesiser's own token reader,
// splitting and name fallbacks, against an index that holds every name that
// fits a record; the names asked for are the inventory. Each unit is cut,
// at eSpeak NG's phoneme boundaries, out of an utterance of eSpeak NG's
// Brazilian Portuguese voice that says it between its most frequent
// neighbours, low-pass filtered and halved from 22,050 to 11,025 Hz and made
// unsigned 8-bit. Speed levels differ in speaking rate.
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
#include "tools/childPool.h"
#include "tools/espeakRender.h"
#include "tools/halfRate.h"
#include "tools/unitdbPhonemes.h"

namespace {

namespace units = speech::units;

struct Options {
  std::string rules, exceptions, words, out, inventoryFile;
  std::string speeds = "12345";
  unsigned jobs = 0;
};

// One unit of the inventory: its index name, the spelling of its most
// frequent use (which tells its stressed vowel) and the units most often
// played before and after it inside a word ("" at the word's edges).
struct Planned {
  std::string upper, played, prev, next;
};

// Samples and phoneme starts of the utterance last rendered.
const std::vector<int16_t>& gSamples = tools::rendered().samples;

// Says eSpeak NG phonemes; the starts of the spoken phonemes (pauses left
// out) and the sample where the speech ends.
struct Said {
  std::vector<int> starts;
  int end = 0;
};
Said say(const std::string& phonemes) {
  const auto& gPhonemes = tools::renderPhonemes(phonemes).phonemes;
  Said said;
  said.end = static_cast<int>(gSamples.size());
  bool ended = false;
  for (const auto& [name, at] : gPhonemes) {
    if (name.starts_with('_')) {
      if (!said.starts.empty() && !ended) said.end = at;
      ended = !said.starts.empty();
      continue;
    }
    if (ended) break;  // a second clause: not ours
    said.starts.push_back(at);
  }
  return said;
}

// Level of every unit: eSpeak NG's own loudness is kept, so a stressed
// syllable stays louder than an unstressed one and a consonant keeps its
// natural weight beside its vowel; one gain for all brings the voice to the
// program's active speech level (speech/speechLevel.h), measured over
// running sentences by bench/voice_quality.
constexpr double kGain = 1.18 / 256.0;
// Fades at the edges of a unit, in output samples: short where it joins a
// neighbour inside a word (the neighbour was cut from the same kind of
// utterance and carries on the wave), 5 ms at a word's edges: a longer fade
// leaves a dip between words that running speech does not have.
constexpr size_t kJoinFadeIn = 11;   // 1 ms
constexpr size_t kJoinFadeOut = 55;  // 5 ms: the unit may also end a word
constexpr size_t kEdgeFade = 55;     // 5 ms

// Samples [first, last) of the utterance just said, filtered (with the
// samples around the range as the filter's context), halved to 11,025 Hz,
// brought to the common level and made unsigned 8-bit with fades.
std::vector<uint8_t> toUnit(size_t first, size_t last, size_t fadeIn, size_t fadeOut) {
  std::vector<float> filtered = tools::halveRate(gSamples, first, last);
  std::vector<uint8_t> out(filtered.size());
  fadeIn = std::min(fadeIn, out.size() / 2);
  fadeOut = std::min(fadeOut, out.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) {
    double g = kGain;
    // Raised-cosine ramps: no corner for the ear to hear.
    if (i < fadeIn) g *= 0.5 - 0.5 * std::cos(M_PI * static_cast<double>(i) / fadeIn);
    const size_t fromEnd = out.size() - 1 - i;
    if (fromEnd < fadeOut) g *= 0.5 - 0.5 * std::cos(M_PI * static_cast<double>(fromEnd) / fadeOut);
    // In the fades, a value under one step is rounded away from zero, so a
    // quiet ending keeps its wave to the last sample rather than dropping
    // into silence early.
    double v = filtered[i] * g;
    if (g < kGain && std::abs(v) >= 0.05 && std::abs(v) < 1) v = v < 0 ? -1 : 1;
    out[i] = static_cast<uint8_t>(std::clamp<long>(std::lround(v) + 128, 0, 255));
  }
  if (out.size() > 65535) out.resize(65535);
  return out;
}

// The sound of one unit. It is cut out of an utterance of the unit between
// the neighbours it most often has inside a word, so that it carries its
// natural transitions into and out of them; at the end of a word a
// following unstressed syllable keeps the unit from sounding like the end of
// a sentence (no final lengthening, no falling pitch). A unit without a
// stressed vowel is said stressed, long and full: the synthesiser's unit cut
// shortens it where it is unstressed. When eSpeak NG's phonemes for the
// neighbours cannot be told apart from the unit's, the unit is said alone.
std::vector<uint8_t> renderUnit(const Planned& u, std::map<std::string, size_t>& counts) {
  auto phonemeCount = [&counts](const std::string& ph) {
    auto it = counts.find(ph);
    if (it == counts.end()) it = counts.emplace(ph, say(ph).starts.size()).first;
    return it->second;
  };
  // Each part is read in its place in the word, so that the unit's sounds
  // are those its neighbours give it.
  const std::string ownText = tools::unitText(u.played);
  const std::string prevText = u.prev.empty() ? "" : tools::unitText(u.prev);
  const std::string nextText = u.next.empty() ? "" : tools::unitText(u.next);
  const std::string own =
      tools::unitPhonemes(ownText, true, {prevText.empty() ? '\0' : prevText.back(), nextText});
  const std::string before =
      prevText.empty() ? "" : tools::unitPhonemes(prevText, false, {'\0', ownText});
  const std::string after = nextText.empty()
                                ? std::string(",p&")
                                : tools::unitPhonemes(nextText, false, {ownText.back(), ""});
  const size_t nBefore = before.empty() ? 0 : phonemeCount(before);
  const size_t nOwn = phonemeCount(own);
  const size_t nAfter = phonemeCount(after);
  const Said said = say(before + own + after);
  const size_t fadeIn = u.prev.empty() ? kEdgeFade : kJoinFadeIn;
  const size_t fadeOut = u.next.empty() ? kEdgeFade : kJoinFadeOut;
  if (nOwn > 0 && said.starts.size() == nBefore + nOwn + nAfter) {
    size_t first = static_cast<size_t>(said.starts[nBefore]);
    const size_t last = static_cast<size_t>(said.starts[nBefore + nOwn]);
    // At the start of a word the silence before a stop's burst is the word
    // pause's business: keep 2 ms of it.
    if (u.prev.empty()) {
      while (first + 44 < last && std::abs(gSamples[first + 44]) < 300) ++first;
    }
    if (last > first + 44) return toUnit(first, last, fadeIn, fadeOut);
  }
  const Said alone = say(own);
  size_t first = 0, last = static_cast<size_t>(alone.end);
  while (first < last && std::abs(gSamples[first]) < 300) ++first;
  while (last > first && std::abs(gSamples[last - 1]) < 300) --last;
  first = first > 44 ? first - 44 : 0;
  return toUnit(first, last, kEdgeFade, kEdgeFade);
}

// Renders every unit at one speed and writes DIFONESn.IND and .DIF.
int renderSpeed(int speed, const std::vector<Planned>& inventory, const std::string& outDir) {
  if (!tools::startEspeak("unitdb")) return 1;
  espeak_SetParameter(espeakRATE, tools::kRenderRates[speed - 1], 0);
  espeak_SetParameter(espeakPITCH, 50, 0);
  std::vector<uint8_t> index;
  std::vector<uint8_t> data;
  std::map<std::string, size_t> counts;
  for (const auto& u : inventory) {
    const auto unit = renderUnit(u, counts);
    uint8_t rec[units::kRecordSize];
    units::encodeRecord(
        {u.upper, static_cast<uint16_t>(unit.size()), static_cast<uint32_t>(data.size())}, rec);
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
  std::map<std::string, std::map<std::pair<std::string, std::string>, int>> contexts;
  const units::UnitLookup fits = [](std::string_view upper) -> std::optional<size_t> {
    if (upper.size() <= units::kMaxNameLength) return 0;
    return std::nullopt;
  };
  size_t wordCount = 0, uncovered = 0;
  std::vector<std::string> played;  // the units of one word, in order
  for (std::string line; std::getline(words, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    ++wordCount;
    bool missing = false;
    played.clear();
    units::forEachResolvedName(
        translator.translateToPhonetic(qr::fromUtf8(line)), fits,
        [&](const units::NamePlay&, const std::vector<units::Piece>& pieces) {
          if (pieces.empty()) missing = true;
          for (const auto& p : pieces) {
            if (p.kind == units::Piece::Kind::Unit) {
              ++uses[units::upperName(p.name)][p.name];
              played.push_back(p.name);
            }
            if (p.kind == units::Piece::Kind::Noise) missing = true;
          }
        });
    for (size_t i = 0; i < played.size(); ++i)
      ++contexts[units::upperName(played[i])]
                [{i > 0 ? played[i - 1] : std::string(),
                  i + 1 < played.size() ? played[i + 1] : std::string()}];
    if (missing) ++uncovered;
  }
  auto mostFrequent = [](const auto& counted) {
    return std::max_element(counted.begin(), counted.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->first;
  };
  std::vector<Planned> inventory;
  inventory.reserve(uses.size());
  for (const auto& [upper, spellings] : uses) {
    const auto [prev, next] = mostFrequent(contexts[upper]);
    inventory.push_back({upper, mostFrequent(spellings), prev, next});
  }
  std::sort(inventory.begin(), inventory.end(),
            [](const auto& a, const auto& b) { return units::nameLess(a.upper, b.upper); });
  std::cout << "unitdb: " << wordCount << " words, " << inventory.size() << " units, " << uncovered
            << " words with a unit that no record can hold\n";
  if (!opt.inventoryFile.empty()) {
    std::ofstream inv(opt.inventoryFile);
    for (const auto& u : inventory)
      inv << u.upper << ' ' << u.played << ' ' << tools::unitPhonemes(tools::unitText(u.played))
          << " [" << u.prev << " _ " << u.next << "]\n";
  }

  std::filesystem::create_directories(opt.out);
  const unsigned jobs =
      opt.jobs ? opt.jobs : std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
  std::vector<int> speeds;
  for (const char c : opt.speeds)
    if (c >= '1' && c <= '5') speeds.push_back(c - '0');
  const int failures = tools::RunInChildren(
      speeds.size(), jobs, [&](size_t i) { return renderSpeed(speeds[i], inventory, opt.out); });
  if (failures) {
    std::cerr << "unitdb: " << failures << " speed level(s) failed\n";
    return 1;
  }
  return 0;
}
