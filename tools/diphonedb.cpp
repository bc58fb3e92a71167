// diphonedb: generates the diphone database of the built-in engine's voice
// ("br4", format in synth/dbFormat.h) and the list of its diphones
// ("portug.dfn") from eSpeak NG's Brazilian Portuguese voice.
//
// Every pair of the phoneme inventory (portug.fon) is said inside a carrier
// word at one constant pitch (the voice's own); eSpeak NG's phoneme events
// give the phoneme boundaries; the diphone is cut from the middle of its first
// phoneme to the middle of its second, with some of the recording kept on
// either side as context. The utterance is resampled from 22,050 to
// 16,000 Hz (libsamplerate), pitch marks are set on every period (at the
// period's peak in voiced stretches, every recorded period elsewhere), and
// each diphone is brought to a level that makes every phoneme meet itself at
// the same loudness in all the diphones that share it. Pairs are rendered in
// forked workers (eSpeak NG keeps global state); the same inputs give the
// same bytes.
//
//   diphonedb --inventory portug.fon --out DIR [--jobs N]
#include <samplerate.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "synth/dbFormat.h"
#include "tools/childPool.h"
#include "tools/espeakRender.h"

namespace {

constexpr int kInRate = 22050, kOutRate = 16000;
// eSpeak NG's own default pitch setting, with no range: a flat 89 Hz. Any
// other setting moves its formants with the pitch (a higher voice is made
// with a shorter tract), and the diphones would no longer sound like the
// voice they copy; the synthesiser raises the pitch to the prosody's. The
// rate is eSpeak NG's default, the one its voice is heard at.
constexpr int kEspeakPitch = 50, kEspeakRate = 175;
constexpr int kMargin = 320;     // context samples on each side (20 ms)
constexpr int kPauseHalf = 400;  // half of a pause inside a diphone (25 ms)
constexpr int kPad = 2000;       // silence added around each utterance
constexpr unsigned kSlices = 4;  // rendering processes (at most --jobs at once)

struct Phoneme {
  std::string name, kind, espeak;
  bool vowel() const { return kind == "vowel" || kind == "nasal"; }
  bool pause() const { return kind == "pause"; }
  // Sounds that close a syllable: the glides of diphthongs and the
  // syllable-final s and r.
  bool coda() const { return kind == "glide" || name == "s2" || name == "r2"; }
};

std::vector<Phoneme> loadInventory(const std::string& path) {
  std::vector<Phoneme> out;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == ';') continue;
    std::istringstream w(line);
    Phoneme p;
    if (w >> p.name >> p.kind >> p.espeak) out.push_back(p);
  }
  return out;
}

// One rendered diphone before levelling: the cut with its margins.
struct Cut {
  bool ok = false;
  std::vector<int16_t> samples;  // margin + count + margin
  uint32_t count = 0, boundary = 0;
  std::vector<synth::Mark> marks;
  double rmsStart = 0, rmsEnd = 0;  // around the two cut points
};

// The carrier of a pair: the phonemes said, the index of the pair's first
// phoneme in them. Vowels of the pair are stressed (a reduced vowel never
// is); a pair of consonants stands before a stressed vowel. A second
// vowel is followed by a consonant (no vowel to merge with), and so is a
// sound that closes a syllable, said as in a closed syllable and not as the
// onset of the next.
std::vector<std::string> carrier(const Phoneme& x, const Phoneme& y, size_t& at) {
  std::vector<std::string> seq;
  auto stressable = [](const Phoneme& p) { return p.vowel() && p.name != "6"; };
  const bool sx = stressable(x), sy = !sx && stressable(y);
  if (!x.pause()) seq.push_back(x.vowel() ? "t" : "a");
  at = seq.size();
  if (!x.pause()) seq.push_back((sx ? "'" : "") + x.espeak);
  if (!y.pause()) {
    seq.push_back((sy ? "'" : "") + y.espeak);
    if (y.vowel() || y.coda()) seq.push_back("t");
    seq.push_back(sx || sy ? "a" : "'a");
  }
  return seq;
}

std::vector<float> resample(const std::vector<int16_t>& in) {
  std::vector<float> f(in.size()), out(in.size() * kOutRate / kInRate + 64);
  src_short_to_float_array(in.data(), f.data(), static_cast<int>(in.size()));
  SRC_DATA d{};
  d.data_in = f.data();
  d.input_frames = static_cast<long>(f.size());
  d.data_out = out.data();
  d.output_frames = static_cast<long>(out.size());
  d.src_ratio = static_cast<double>(kOutRate) / kInRate;
  d.end_of_input = 1;
  if (src_simple(&d, SRC_SINC_MEDIUM_QUALITY, 1) != 0) return {};
  out.resize(static_cast<size_t>(d.output_frames_gen));
  for (auto& v : out) v *= 32768.0f;
  return out;
}

double rmsAround(const std::vector<float>& s, long at, long half) {
  double sum = 0;
  long n = 0;
  for (long i = std::max(0L, at - half); i < std::min<long>(s.size(), at + half); ++i, ++n)
    sum += static_cast<double>(s[i]) * s[i];
  return n ? std::sqrt(sum / n) : 0;
}

// Pitch marks over a whole utterance: voiced stretches get one mark per
// period at the peak of the low-passed wave, found near one period after the
// last mark; elsewhere marks follow one another at the recorded period.
std::vector<synth::Mark> markPeriods(const std::vector<float>& s, double period) {
  const long n = static_cast<long>(s.size());
  const long p = std::lround(period);
  std::vector<float> lp(s.size());
  {  // two passes of a 9-sample moving average: a gentle low-pass
    std::vector<float> a(s.size());
    for (int pass = 0; pass < 2; ++pass) {
      const auto& src = pass == 0 ? s : a;
      auto& dst = pass == 0 ? a : lp;
      double acc = 0;
      for (long i = 0; i < n + 4; ++i) {
        if (i < n) acc += src[i];
        if (i >= 9) acc -= src[i - 9];
        if (i >= 4) dst[i - 4] = static_cast<float>(acc / 9);
      }
    }
  }
  auto voiced = [&](long at) {
    if (at - p < 0 || at + 2 * p >= n) return false;
    double e0 = 0, best = 0;
    for (long i = at - p; i < at + p; ++i) e0 += static_cast<double>(s[i]) * s[i];
    if (std::sqrt(e0 / (2 * p)) < 150) return false;
    for (long lag = p * 9 / 10; lag <= p * 11 / 10; ++lag) {
      double c = 0, e1 = 0;
      for (long i = at - p; i < at + p; ++i) {
        c += static_cast<double>(s[i]) * s[i + lag];
        e1 += static_cast<double>(s[i + lag]) * s[i + lag];
      }
      best = std::max(best, c / std::sqrt(e0 * e1 + 1));
    }
    return best > 0.6;
  };
  std::vector<synth::Mark> marks;
  long last = -p;
  bool lastVoiced = false;
  while (true) {
    const long guess = last + p;
    if (guess >= n) break;
    if (voiced(guess)) {
      const long lo = std::max(0L, lastVoiced ? last + p * 8 / 10 : last + p / 2);
      const long hi = std::min(n, lastVoiced ? last + p * 12 / 10 : last + p * 3 / 2);
      long peak = lo;
      for (long i = lo; i < hi; ++i)
        if (lp[i] > lp[peak]) peak = i;
      marks.push_back({static_cast<uint32_t>(peak), true});
      last = peak;
      lastVoiced = true;
    } else {
      marks.push_back({static_cast<uint32_t>(guess), false});
      last = guess;
      lastVoiced = false;
    }
  }
  return marks;
}

Cut cutOf(const std::vector<float>& s, double period, long first, long boundary, long end) {
  Cut c;
  const long n = static_cast<long>(s.size());
  if (first - kMargin < 0 || end + kMargin > n || !(first <= boundary && boundary <= end)) return c;
  c.count = static_cast<uint32_t>(end - first);
  c.boundary = static_cast<uint32_t>(boundary - first);
  for (long i = first - kMargin; i < end + kMargin; ++i)
    c.samples.push_back(static_cast<int16_t>(std::clamp<long>(std::lround(s[i]), -32768, 32767)));
  for (const auto& m : markPeriods(s, period))
    if (static_cast<long>(m.at) >= first && static_cast<long>(m.at) < end)
      c.marks.push_back({static_cast<uint32_t>(m.at - first), m.voiced});
  const long half = std::lround(period);
  c.rmsStart = rmsAround(s, first, half);
  c.rmsEnd = rmsAround(s, end, half);
  c.ok = true;
  return c;
}

// The phonemes eSpeak NG said (pauses left out) and where the speech ends.
struct Said {
  std::vector<std::pair<std::string, int>> phonemes;
  int end = 0;
};
Said say(const std::vector<std::string>& seq) {
  std::string input;
  for (const auto& ph : seq) input += ph;
  const auto& r = tools::renderPhonemes(input);
  Said said;
  said.end = static_cast<int>(r.samples.size());
  for (const auto& [name, sample] : r.phonemes) {
    if (name.starts_with('_')) {
      if (!said.phonemes.empty()) {
        said.end = sample;
        break;
      }
      continue;
    }
    said.phonemes.emplace_back(name, sample);
  }
  return said;
}

// Which of eSpeak NG's phonemes are the carrier's: the same count maps one
// to one; otherwise eSpeak NG inserted a transition (a glide after i before
// a vowel), and each carrier phoneme is the next one of its name.
std::optional<std::vector<size_t>> matchSaid(const std::vector<std::string>& seq,
                                             const Said& said) {
  std::vector<size_t> at;
  if (said.phonemes.size() == seq.size()) {
    for (size_t i = 0; i < seq.size(); ++i) at.push_back(i);
    return at;
  }
  if (said.phonemes.size() < seq.size()) return std::nullopt;
  size_t j = 0;
  for (const auto& ph : seq) {
    std::string name = ph;
    std::erase_if(name, [](char c) { return c == '\'' || c == ' '; });
    while (j < said.phonemes.size() && said.phonemes[j].first != name) ++j;
    if (j == said.phonemes.size()) return std::nullopt;
    at.push_back(j++);
  }
  return at;
}

// Renders one pair. Positions are scaled from eSpeak NG's rate to ours.
// Pairs that eSpeak NG would fuse into one sound (t s, d Z, r r) are said
// across a word boundary.
Cut renderPair(const Phoneme& x, const Phoneme& y, double period, std::string& problem) {
  size_t at = 0;
  const auto seq = carrier(x, y, at);
  Said said = say(seq);
  auto match = matchSaid(seq, said);
  if (!match && !x.pause() && !y.pause()) {
    std::vector<std::string> spaced = seq;
    spaced[at + 1] = " " + spaced[at + 1];
    said = say(spaced);
    match = matchSaid(seq, said);
  }
  if (!match) {
    std::string input;
    for (const auto& ph : seq) input += ph;
    problem = "[[" + input + "]] gave " + std::to_string(said.phonemes.size()) + " phonemes, not " +
              std::to_string(seq.size());
    return {};
  }
  const auto& r = tools::rendered();
  std::vector<int16_t> padded(kPad, 0);
  padded.insert(padded.end(), r.samples.begin(), r.samples.end());
  padded.insert(padded.end(), kPad, 0);
  const auto s = resample(padded);
  auto scaled = [](long v) { return std::lround((v + kPad) * double(kOutRate) / kInRate); };
  // Start of carrier phoneme i, and of what eSpeak NG said after it.
  auto startOf = [&](size_t i) { return scaled(said.phonemes[(*match)[i]].second); };
  auto endOf = [&](size_t i) {
    const size_t next = (*match)[i] + 1;
    return scaled(next < said.phonemes.size() ? said.phonemes[next].second : said.end);
  };
  long first, boundary, last;
  if (x.pause()) {
    boundary = startOf(0);
    first = boundary - kPauseHalf;
    last = (boundary + endOf(0)) / 2;
  } else if (y.pause()) {
    const long xs = startOf(at), xe = endOf(at);
    first = (xs + xe) / 2;
    boundary = xe;
    last = xe + kPauseHalf;
  } else {
    const long xs = startOf(at), ys = startOf(at + 1), ye = endOf(at + 1);
    first = (xs + endOf(at)) / 2;
    boundary = endOf(at);
    last = (ys + ye) / 2;
  }
  Cut c = cutOf(s, period, first, boundary, last);
  if (!c.ok) problem = "the cut falls outside the recording";
  return c;
}

// The silent pair: a pause meeting a pause.
Cut silence(double period) {
  const std::vector<float> s(2 * kPauseHalf + 2 * kMargin + 1, 0.0f);
  return cutOf(s, period, kMargin, kMargin + kPauseHalf, kMargin + 2 * kPauseHalf);
}

// The recording's period in output samples, measured on a long vowel.
double measurePeriod() {
  const auto& r = tools::renderPhonemes("t'a:");
  std::vector<int16_t> copy = r.samples;
  const auto s = resample(copy);
  const long n = static_cast<long>(s.size()), mid = n / 2, w = 600;
  double best = -2;
  long bestLag = 135;
  for (long lag = 60; lag < 300 && mid + w + lag < n; ++lag) {
    double c = 0, e0 = 0, e1 = 0;
    for (long i = mid - w; i < mid + w; ++i) {
      c += static_cast<double>(s[i]) * s[i + lag];
      e0 += static_cast<double>(s[i]) * s[i];
      e1 += static_cast<double>(s[i + lag]) * s[i + lag];
    }
    const double r0 = c / std::sqrt(e0 * e1 + 1);
    if (r0 > best) best = r0, bestLag = lag;
  }
  return static_cast<double>(bestLag);
}

void put32(std::ostream& o, uint32_t v) {
  o.write(reinterpret_cast<const char*>(&v), 4);
}
uint32_t get32(std::istream& i) {
  uint32_t v = 0;
  i.read(reinterpret_cast<char*>(&v), 4);
  return v;
}

void saveCut(std::ostream& o, const Cut& c) {
  put32(o, c.ok), put32(o, c.count), put32(o, c.boundary);
  put32(o, static_cast<uint32_t>(c.samples.size()));
  o.write(reinterpret_cast<const char*>(c.samples.data()), static_cast<long>(c.samples.size() * 2));
  put32(o, static_cast<uint32_t>(c.marks.size()));
  for (const auto& m : c.marks) put32(o, m.at | (m.voiced ? 0x80000000u : 0));
  o.write(reinterpret_cast<const char*>(&c.rmsStart), 8);
  o.write(reinterpret_cast<const char*>(&c.rmsEnd), 8);
}

Cut loadCut(std::istream& i) {
  Cut c;
  c.ok = get32(i), c.count = get32(i), c.boundary = get32(i);
  c.samples.resize(get32(i));
  i.read(reinterpret_cast<char*>(c.samples.data()), static_cast<long>(c.samples.size() * 2));
  c.marks.resize(get32(i));
  for (auto& m : c.marks) {
    const uint32_t v = get32(i);
    m = {v & 0x7fffffffu, (v & 0x80000000u) != 0};
  }
  i.read(reinterpret_cast<char*>(&c.rmsStart), 8);
  i.read(reinterpret_cast<char*>(&c.rmsEnd), 8);
  return c;
}

// Slice w of n renders pairs w, w + n, ... into its own file.
int renderWorker(const std::vector<Phoneme>& inv, unsigned w, unsigned slices, double period,
                 const std::string& file) {
  if (!tools::startEspeak("diphonedb")) return 1;
  espeak_SetParameter(espeakRATE, kEspeakRate, 0);
  espeak_SetParameter(espeakPITCH, kEspeakPitch, 0);
  espeak_SetParameter(espeakRANGE, 0, 0);
  std::ofstream o(file, std::ios::binary | std::ios::trunc);
  const size_t n = inv.size();
  for (size_t k = w; k < n * n; k += slices) {
    const auto& x = inv[k / n];
    const auto& y = inv[k % n];
    std::string problem;
    const Cut c = x.pause() && y.pause() ? silence(period) : renderPair(x, y, period, problem);
    if (!problem.empty())
      std::cerr << "diphonedb: " << x.name << "-" << y.name << ": " << problem << "\n";
    saveCut(o, c);
  }
  espeak_Terminate();
  o.close();
  return o ? 0 : 1;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

bool writeFile(const std::string& path, const void* data, size_t n) {
  const std::string tmp = path + ".tmp";
  std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
  o.write(static_cast<const char*>(data), static_cast<long>(n));
  o.close();
  if (!o) return false;
  std::error_code ec;
  std::filesystem::rename(tmp, path, ec);
  return !ec;
}

}  // namespace

int main(int argc, char** argv) {
  std::string inventoryPath, out;
  unsigned jobs = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i], v = argv[i + 1];
    if (k == "--inventory")
      inventoryPath = v;
    else if (k == "--out")
      out = v;
    else if (k == "--jobs")
      jobs = static_cast<unsigned>(std::stoul(v));
  }
  if (inventoryPath.empty() || out.empty()) {
    std::cerr << "usage: diphonedb --inventory portug.fon --out DIR [--jobs N]\n";
    return 2;
  }
  const auto inv = loadInventory(inventoryPath);
  if (inv.empty() || inv.size() > 255) {
    std::cerr << "diphonedb: no usable phoneme inventory in " << inventoryPath << "\n";
    return 1;
  }
  if (!jobs) jobs = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
  std::filesystem::create_directories(out);

  // The period is measured once, in a worker of its own (eSpeak NG state
  // stays out of this process).
  double period = 0;
  std::string version;
  {
    const std::string file = out + "/period.tmp";
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      if (!tools::startEspeak("diphonedb")) _exit(1);
      espeak_SetParameter(espeakRATE, kEspeakRate, 0);
      espeak_SetParameter(espeakPITCH, kEspeakPitch, 0);
      espeak_SetParameter(espeakRANGE, 0, 0);
      const char* path = nullptr;
      std::ofstream o(file);
      o << measurePeriod() << "\n" << espeak_Info(&path) << "\n";
      o.close();
      _exit(o ? 0 : 1);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status)) {
      std::cerr << "diphonedb: eSpeak NG could not be run\n";
      return 1;
    }
    std::ifstream i(file);
    i >> period;
    i >> version;
    std::filesystem::remove(file);
  }

  // The pairs are dealt into a fixed number of slices, each rendered in
  // one process from a fresh eSpeak NG (whose state carries over from one
  // utterance to the next): the bytes do not depend on how many run at once.
  int failures = tools::RunInChildren(kSlices, jobs, [&](size_t w) {
    return renderWorker(inv, static_cast<unsigned>(w), kSlices, period,
                        out + "/part" + std::to_string(w) + ".tmp");
  });
  if (failures) {
    std::cerr << "diphonedb: " << failures << " worker(s) failed\n";
    return 1;
  }
  const size_t n = inv.size();
  std::vector<Cut> cuts(n * n);
  {
    std::vector<std::ifstream> parts;
    for (unsigned w = 0; w < kSlices; ++w)
      parts.emplace_back(out + "/part" + std::to_string(w) + ".tmp", std::ios::binary);
    for (size_t k = 0; k < n * n; ++k) cuts[k] = loadCut(parts[k % kSlices]);
    for (unsigned w = 0; w < kSlices; ++w) {
      if (!parts[w]) failures++;
      std::filesystem::remove(out + "/part" + std::to_string(w) + ".tmp");
    }
  }
  if (failures) {
    std::cerr << "diphonedb: a worker's output is incomplete\n";
    return 1;
  }

  // Level: every phoneme's loudness where diphones meet is the median of
  // its loudness at all its cut points; each diphone is scaled along its
  // length from the factor at its start to the one at its end.
  std::vector<std::vector<double>> levels(n);
  for (size_t k = 0; k < n * n; ++k) {
    if (!cuts[k].ok) continue;
    levels[k / n].push_back(cuts[k].rmsStart);
    levels[k % n].push_back(cuts[k].rmsEnd);
  }
  std::vector<double> reference(n);
  for (size_t i = 0; i < n; ++i) reference[i] = median(levels[i]);
  auto factor = [&](size_t ph, double rms) {
    if (reference[ph] < 200 || rms < 50) return 1.0;  // silence or a stop's closure
    return std::clamp(reference[ph] / rms, 0.5, 2.0);
  };

  synth::Database db;
  db.rate = kOutRate;
  db.pitch = kOutRate / period;
  db.margin = kMargin;
  for (const auto& p : inv) db.phonemes.push_back(p.name);
  std::string dfn =
      "; Diphones of the br4 database, generated with it from portug.fon: every pair\n"
      "; of phonemes the database holds (first-second), one per line.\n";
  size_t missing = 0;
  for (size_t k = 0; k < n * n; ++k) {
    const Cut& c = cuts[k];
    if (!c.ok) {
      ++missing;
      continue;
    }
    const double g0 = factor(k / n, c.rmsStart), g1 = factor(k % n, c.rmsEnd);
    synth::Diphone d;
    d.first = static_cast<uint8_t>(k / n);
    d.second = static_cast<uint8_t>(k % n);
    d.start = static_cast<uint32_t>(db.samples.size()) + kMargin;
    d.count = c.count;
    d.boundary = c.boundary;
    d.marks = c.marks;
    for (size_t i = 0; i < c.samples.size(); ++i) {
      const double along =
          std::clamp((static_cast<double>(i) - kMargin) / std::max<uint32_t>(1, c.count), 0.0, 1.0);
      const double g = g0 + (g1 - g0) * along;
      db.samples.push_back(
          static_cast<int16_t>(std::clamp<long>(std::lround(c.samples[i] * g), -32768, 32767)));
    }
    db.diphones.push_back(std::move(d));
    dfn += inv[k / n].name + "-" + inv[k % n].name + "\n";
  }
  db.info =
      "br4: Brazilian Portuguese diphones of the Naviro built-in voice\n"
      "rendered with eSpeak NG " +
      version +
      " (pt-br) at a constant pitch\n"
      "GPL-3.0-or-later\n";
  const auto bytes = synth::encodeDatabase(db);
  if (bytes.empty() || !writeFile(out + "/br4", bytes.data(), bytes.size()) ||
      !writeFile(out + "/portug.dfn", dfn.data(), dfn.size())) {
    std::cerr << "diphonedb: cannot write the database in " << out << "\n";
    return 1;
  }
  std::cout << "diphonedb: " << db.diphones.size() << " diphones (" << missing << " missing), "
            << db.samples.size() << " samples, pitch " << db.pitch << " Hz\n";
  return 0;
}
