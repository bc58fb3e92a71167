// Diphone concatenation by pitch-synchronous overlap-add (see synthesiser.h).
#include "synth/synthesiser.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace synth {
namespace {

// The longest half grain, in samples (a 40 Hz period at 16 kHz): a grain
// placed at sample t touches nothing before t - kMaxHalf, so output before
// the next mark less this is final.
constexpr int kMaxHalf = 400;
constexpr int kMinHalf = 16;
// How long after its last voiced grain a faint stretch keeps the melody, in
// seconds.
constexpr double kVoicedHangover = 0.04;
// The rate converter's low-pass: table steps per database sample and zero
// crossings of its sinc on either side of the centre.
constexpr int kPhases = 128;
constexpr double kZeros = 24;

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

std::optional<double> number(std::string_view s) {
  if (s.empty() || s.size() > 30) return std::nullopt;
  const std::string z(s);
  char* end = nullptr;
  const double v = std::strtod(z.c_str(), &end);
  if (end != z.c_str() + z.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::vector<std::string> words(std::string_view s) {
  std::vector<std::string> out;
  std::istringstream in{std::string(s)};
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

}  // namespace

std::optional<PhoLine> parsePhoLine(std::string_view line) {
  if (const auto semi = line.find(';'); semi != std::string_view::npos) line = line.substr(0, semi);
  const auto w = words(trim(line));
  PhoLine out;
  if (w.empty()) return out;
  if (w[0] == "#") {
    if (w.size() != 1) return std::nullopt;
    out.kind = PhoLine::Kind::Flush;
    return out;
  }
  if (w.size() < 2 || w.size() % 2 != 0) return std::nullopt;
  const auto ms = number(w[1]);
  if (!ms || *ms < 0 || *ms > 60000) return std::nullopt;
  out.kind = PhoLine::Kind::Phone;
  out.name = w[0];
  out.ms = *ms;
  for (size_t i = 2; i + 1 < w.size(); i += 2) {
    const auto pos = number(w[i]), hz = number(w[i + 1]);
    if (!pos || !hz || *hz <= 0 || *hz > 2000) return std::nullopt;
    out.pitch.push_back({std::clamp(*pos, 0.0, 100.0), *hz});
  }
  return out;
}

void Synthesiser::setError(int code, std::string text) {
  error_ = code;
  errorText_ = std::move(text);
}

bool Synthesiser::open(const std::string& path, std::string_view rename, std::string_view clone) {
  close();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    setError(kErrDatabase, "cannot open the database " + path);
    return false;
  }
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  std::string why;
  auto db = decodeDatabase(bytes, &why);
  if (!db) {
    setError(kErrDatabase, "cannot read the database " + path + ": " + why);
    return false;
  }
  const size_t p = db->phonemes.size();
  table_.assign(p * p, -1);
  for (size_t i = 0; i < db->diphones.size(); ++i)
    table_[db->diphones[i].first * p + db->diphones[i].second] = static_cast<int>(i);
  for (size_t i = 0; i < p; ++i) ids_[db->phonemes[i]] = static_cast<int>(i);
  auto pairs = [](std::string_view s) {
    const auto w = words(s);
    std::vector<std::pair<std::string, std::string>> out;
    for (size_t i = 0; i + 1 < w.size(); i += 2) out.emplace_back(w[i], w[i + 1]);
    return out;
  };
  const auto known = ids_;
  for (const auto& [from, to] : pairs(rename)) {
    if (auto it = known.find(from); it != known.end()) {
      if (ids_[from] == it->second) ids_.erase(from);
      ids_[to] = it->second;
    }
  }
  for (const auto& [from, to] : pairs(clone))
    if (auto it = known.find(from); it != known.end()) ids_[to] = it->second;
  period_ = db->rate / db->pitch;
  outRate_ = static_cast<int>(db->rate);
  volume_ = 1.0f;
  db_ = std::make_unique<Database>(std::move(*db));
  makeKernel();
  reset();
  return true;
}

void Synthesiser::close() {
  db_.reset();
  ids_.clear();
  table_.clear();
  reset();
}

void Synthesiser::reset() {
  error_ = kNoError;
  errorText_.clear();
  ready_.clear();
  readyAt_ = 0;
  resamplePos_ = 0;
  flushed_ = false;
  startUtterance();
}

void Synthesiser::startUtterance() {
  Phone silence;
  silence.id = phonemeId("_");
  silence.name = "_";
  phones_.assign(1, silence);
  diphones_.clear();
  splits_.clear();
  targets_.clear();
  totalMs_ = 0;
  nextMark_ = 0;
  voicedUntil_ = -1;
  cursor_ = 0;
  acc_.clear();
  weight_.clear();
  accBase_ = 0;
}

int Synthesiser::phonemeId(const std::string& name) const {
  const auto it = ids_.find(name);
  return it == ids_.end() ? -1 : it->second;
}

int Synthesiser::diphoneOf(int a, int b) const {
  if (!db_ || a < 0 || b < 0) return -1;
  return table_[static_cast<size_t>(a) * db_->phonemes.size() + static_cast<size_t>(b)];
}

void Synthesiser::setFrequency(int hz) {
  if (hz < 1000 || hz > 192000) {
    setError(kErrArgument, "output frequency out of range");
    return;
  }
  outRate_ = hz;
  makeKernel();
}

void Synthesiser::makeKernel() {
  kernel_.clear();
  kernelHalf_ = 0;
  if (!db_ || outRate_ == static_cast<int>(db_->rate)) return;
  // Cut-off a little below half the lower of the two rates (cycles per
  // database sample), kZeros zero crossings of the sinc on either side,
  // under a Blackman window (about 74 dB down past the transition).
  const double cutoff = 0.45 * std::min(1.0, static_cast<double>(outRate_) / db_->rate);
  kernelHalf_ = static_cast<int>(std::ceil(kZeros / (2 * cutoff)));
  kernel_.resize(static_cast<size_t>(kernelHalf_) * kPhases + 2, 0.0f);
  for (size_t k = 0; k < kernel_.size(); ++k) {
    const double t = static_cast<double>(k) / kPhases;  // database samples from the centre
    if (t >= kernelHalf_) break;
    const double x = M_PI * 2 * cutoff * t;
    const double u = M_PI * t / kernelHalf_;
    const double window = 0.42 + 0.5 * std::cos(u) + 0.08 * std::cos(2 * u);
    kernel_[k] = static_cast<float>(2 * cutoff * (x == 0 ? 1.0 : std::sin(x) / x) * window);
  }
}

std::optional<std::string> Synthesiser::infoLine(int index) const {
  if (!db_ || index < 0) return std::nullopt;
  std::istringstream in(db_->info);
  std::string line;
  for (int i = 0; std::getline(in, line); ++i)
    if (i == index) return line;
  return std::nullopt;
}

bool Synthesiser::write(std::string_view text) {
  if (!db_) {
    setError(kErrNotOpen, "no database is open");
    return false;
  }
  bool ok = true;
  while (!text.empty()) {
    const auto nl = text.find('\n');
    const std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
    const auto pho = parsePhoLine(line);
    if (!pho) {
      setError(kErrBadLine, "cannot read the line \"" + std::string(trim(line)) + "\"");
      ok = false;
    } else if (pho->kind == PhoLine::Kind::Flush) {
      ok = flush() && ok;
    } else if (pho->kind == PhoLine::Kind::Phone) {
      ok = addPhone(pho->name, pho->ms, pho->pitch) && ok;
    }
  }
  return ok;
}

bool Synthesiser::addPhone(const std::string& name, double ms,
                           const std::vector<PitchPoint>& pitch) {
  if (!db_) {
    setError(kErrNotOpen, "no database is open");
    return false;
  }
  Phone p;
  p.id = phonemeId(name);
  p.name = name;
  const int d = diphoneOf(phones_.back().id, p.id);
  if (d < 0 && !noError_) {
    setError(kErrUnknown, p.id < 0 ? "unknown phoneme " + name
                                   : "unknown diphone " + phones_.back().name + "-" + name);
    return false;
  }
  flushed_ = false;
  p.start = phones_.back().end;
  totalMs_ += ms;
  p.end = std::llround(totalMs_ * db_->rate / 1000.0);
  for (const auto& pp : pitch) {
    const double at = p.start + pp.pos / 100.0 * static_cast<double>(p.end - p.start);
    const auto pos = std::upper_bound(targets_.begin(), targets_.end(), at,
                                      [](double v, const auto& t) { return v < t.first; });
    targets_.insert(pos, {at, pp.hz});
  }
  phones_.push_back(std::move(p));
  diphones_.push_back(d);
  synthesise(false);
  return true;
}

bool Synthesiser::flush() {
  if (!db_) {
    setError(kErrNotOpen, "no database is open");
    return false;
  }
  if (phones_.size() > 1) {
    // The utterance ends in silence: the last phone's second half comes
    // from its diphone with the pause (silence when there is none).
    Phone end;
    end.id = phonemeId("_");
    end.name = "_";
    end.start = end.end = phones_.back().end;
    diphones_.push_back(diphoneOf(phones_.back().id, end.id));
    phones_.push_back(end);
    synthesise(true);
    lastSpans_.clear();
    for (size_t i = 1; i + 1 < phones_.size(); ++i)
      lastSpans_.push_back({phones_[i].name, phones_[i].start, phones_[i].end, splits_[i],
                            diphones_[i - 1], diphones_[i]});
  }
  startUtterance();
  flushed_ = true;
  return true;
}

std::optional<double> Synthesiser::pitchAt(double t, bool final) const {
  // 0 stands for "the recording's own pitch" (no target in the utterance).
  if (targets_.empty()) return final ? std::optional<double>(0.0) : std::nullopt;
  if (t <= targets_.front().first) return targets_.front().second;
  if (t >= targets_.back().first)
    return final ? std::optional(targets_.back().second) : std::nullopt;
  const auto next = std::upper_bound(targets_.begin(), targets_.end(), t,
                                     [](double v, const auto& p) { return v < p.first; });
  const auto prev = next - 1;
  const double span = next->first - prev->first;
  if (span <= 0) return next->second;
  return prev->second + (next->second - prev->second) * (t - prev->first) / span;
}

void Synthesiser::synthesise(bool final) {
  const auto& db = *db_;
  // Split points of the phones whose two diphones are known.
  while (splits_.size() + 1 < phones_.size() || (final && splits_.size() < phones_.size())) {
    const size_t i = splits_.size();
    const Phone& ph = phones_[i];
    double ratio = 0.5;
    if (i + 1 < phones_.size()) {
      auto half = [&](int d, bool right) -> double {
        if (d < 0) return 0;
        const auto& dp = db.diphones[static_cast<size_t>(d)];
        return right ? dp.count - dp.boundary : dp.boundary;
      };
      // A missing diphone (silence in no-error mode) takes half the phone.
      const int left = i == 0 ? -2 : diphones_[i - 1], right = diphones_[i];
      const double before = left == -2 ? 0 : half(left, true);
      const double after = half(right, false);
      if (left != -1 && right != -1 && before + after > 0) ratio = before / (before + after);
    }
    splits_.push_back(static_cast<double>(ph.start) +
                      static_cast<double>(ph.end - ph.start) * ratio);
  }
  if (splits_.size() < 2) return;
  const double limit = final ? static_cast<double>(phones_.back().end) : splits_.back();
  while (nextMark_ < limit) {
    const double t = nextMark_;
    while (cursor_ + 2 < splits_.size() && splits_[cursor_ + 1] <= t) ++cursor_;
    if (splits_[cursor_ + 1] <= t && !final) break;
    const auto f0 = pitchAt(t, final);
    // The pitch must be known up to the middle of the period (at most a
    // longest half grain ahead), so the output does not depend on how the
    // input was split into writes.
    if (!f0 || !pitchAt(t + kMaxHalf, final)) break;
    double step = period_;
    const int di = cursor_ < diphones_.size() ? diphones_[cursor_] : -1;
    if (di >= 0) {
      const Diphone& d = db.diphones[static_cast<size_t>(di)];
      const double a0 = splits_[cursor_], a1 = splits_[cursor_ + 1];
      const double b = static_cast<double>(phones_[cursor_ + 1].start);
      double u = d.boundary;
      if (t < b && b > a0)
        u = (t - a0) / (b - a0) * d.boundary;
      else if (t >= b && a1 > b)
        u = d.boundary + (t - b) / (a1 - b) * (d.count - d.boundary);
      if (!d.marks.empty()) {
        const auto& m = d.marks;
        auto it = std::lower_bound(m.begin(), m.end(), u,
                                   [](const Mark& k, double v) { return k.at < v; });
        if (it == m.end() || (it != m.begin() && u - (it - 1)->at < it->at - u)) --it;
        const size_t k = static_cast<size_t>(it - m.begin());
        const int natural = static_cast<int>(std::lround(period_));
        int right = k + 1 < m.size() ? static_cast<int>(m[k + 1].at - m[k].at) : natural;
        int left = k > 0 ? static_cast<int>(m[k].at - m[k - 1].at) : right;
        left = std::clamp(left, kMinHalf, kMaxHalf);
        right = std::clamp(right, kMinHalf, kMaxHalf);
        step = right;
        // A vowel dying away into a pause or a voiceless consonant is marked
        // unvoiced in its recording once it is faint; its last periods keep
        // the melody's spacing rather than the recording's own pitch,
        // which would end every rising question on a low creak.
        bool voiced = m[k].voiced;
        if (voiced)
          voicedUntil_ = t + kVoicedHangover * db.rate;
        else
          voiced = t < voicedUntil_;
        if (voiced && *f0 > 0) {
          // The period takes the pitch at its middle, not at its start, so
          // that a steep fall or rise is followed without a lag.
          step = db.rate / *f0;
          if (const auto mid = pitchAt(t + step / 2, final); mid && *mid > 0) step = db.rate / *mid;
        }
        const int64_t at = std::llround(t);
        const int64_t src = static_cast<int64_t>(d.start) + m[k].at;
        const int64_t lo = static_cast<int64_t>(d.start) - db.margin;
        const int64_t hi = static_cast<int64_t>(d.start) + d.count + db.margin;
        const int64_t need = at + right - accBase_;
        if (need > static_cast<int64_t>(acc_.size())) {
          acc_.resize(static_cast<size_t>(need), 0.0f);
          weight_.resize(static_cast<size_t>(need), 0.0f);
        }
        for (int j = -left; j < right; ++j) {
          const int64_t o = at + j - accBase_;
          const int64_t s = src + j;
          if (o < 0 || s < lo || s >= hi) continue;
          const double w = j < 0 ? 0.5 - 0.5 * std::cos(M_PI * (j + left) / left)
                                 : 0.5 + 0.5 * std::cos(M_PI * j / right);
          acc_[static_cast<size_t>(o)] +=
              static_cast<float>(w * db.samples[static_cast<size_t>(s)]);
          weight_[static_cast<size_t>(o)] += static_cast<float>(w);
        }
      }
    }
    nextMark_ = t + std::max(step, static_cast<double>(kMinHalf));
  }
  if (final) {
    emit(phones_.back().end);
  } else {
    emit(std::max<int64_t>(accBase_, static_cast<int64_t>(nextMark_) - kMaxHalf));
  }
}

void Synthesiser::emit(int64_t upTo) {
  const int64_t n = upTo - accBase_;
  if (n <= 0) return;
  if (static_cast<int64_t>(acc_.size()) < n) {
    acc_.resize(static_cast<size_t>(n), 0.0f);
    weight_.resize(static_cast<size_t>(n), 0.0f);
  }
  for (int64_t i = 0; i < n; ++i) {
    // Where the grains' windows sum to more than one (the pitch raised above
    // the recording's, more grains a second), the output is divided by that
    // sum: the overlapping grains make no larger peaks or steps than the
    // recording has.
    const double v =
        acc_[static_cast<size_t>(i)] * volume_ / std::max(1.0f, weight_[static_cast<size_t>(i)]);
    ready_.push_back(static_cast<int16_t>(std::clamp<long>(std::lround(v), -32768, 32767)));
  }
  acc_.erase(acc_.begin(), acc_.begin() + n);
  weight_.erase(weight_.begin(), weight_.begin() + n);
  accBase_ = upTo;
}

int Synthesiser::read(int16_t* out, int n) {
  if (!db_) {
    setError(kErrNotOpen, "no database is open");
    return -1;
  }
  if (!out || n <= 0) return 0;
  int got = 0;
  if (outRate_ == static_cast<int>(db_->rate)) {
    const size_t take = std::min(static_cast<size_t>(n), ready_.size() - readyAt_);
    std::copy_n(ready_.begin() + static_cast<long>(readyAt_), take, out);
    readyAt_ += take;
    got = static_cast<int>(take);
  } else {
    // Windowed-sinc interpolation: each output sample is the low-passed
    // signal at its place between the database-rate samples, so that
    // nothing above the lower rate's half folds back into the band.
    const double step = static_cast<double>(db_->rate) / outRate_;
    const bool complete = flushed_ && phones_.size() <= 1;
    const auto half = static_cast<size_t>(kernelHalf_);
    while (got < n && readyAt_ < ready_.size()) {
      if (!complete && readyAt_ + half >= ready_.size()) break;  // samples still to come
      double v = 0;
      const size_t from = readyAt_ >= half ? readyAt_ - half + 1 : 0;
      const size_t to = std::min(ready_.size(), readyAt_ + half + 1);
      for (size_t j = from; j < to; ++j) {
        const double d =
            std::fabs(static_cast<double>(j) - static_cast<double>(readyAt_) - resamplePos_);
        const double at = d * kPhases;
        const auto k = static_cast<size_t>(at);
        if (k + 1 >= kernel_.size()) continue;
        const double tap =
            kernel_[k] + (kernel_[k + 1] - kernel_[k]) * (at - static_cast<double>(k));
        v += ready_[j] * tap;
      }
      out[got++] = static_cast<int16_t>(std::clamp<long>(std::lround(v), -32768, 32767));
      resamplePos_ += step;
      const auto whole = static_cast<size_t>(resamplePos_);
      readyAt_ += whole;
      resamplePos_ -= static_cast<double>(whole);
    }
    // Samples behind the position are kept as long as the filter reaches
    // them.
    if (readyAt_ > (1u << 16) + half) {
      const size_t drop = std::min(ready_.size(), readyAt_ - half);
      ready_.erase(ready_.begin(), ready_.begin() + static_cast<long>(drop));
      readyAt_ -= drop;
    }
    return got;
  }
  if (readyAt_ >= ready_.size()) {
    readyAt_ -= std::min(readyAt_, ready_.size());
    ready_.clear();
  } else if (readyAt_ > 1 << 16) {
    ready_.erase(ready_.begin(), ready_.begin() + static_cast<long>(readyAt_));
    readyAt_ = 0;
  }
  return got;
}

std::vector<Synthesiser::PhoneSpan> Synthesiser::phoneSpans() const {
  return lastSpans_;
}

}  // namespace synth
