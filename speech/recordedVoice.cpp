// The recorded voice; see recordedVoice.h. Pieces are made one step ahead
// of the sound (a run of letters is synthesised whole when its turn comes)
// and kept as WAV images; each starts once the one before has sounded,
// which is also when its events are logged, so the log follows the sound.
#include "speech/recordedVoice.h"

#include <array>
#include <cstdio>
#include <memory>
#include <random>

#include "base/cp1252.h"
#include "base/eventlog.h"
#include "speech/diphone.h"
#include "speech/numbers.h"
#include "speech/pacing.h"
#include "speech/translator.h"
#include "speech/wavPlay.h"
#include "tts/numbers.h"

namespace speech {
namespace {

constexpr size_t kMaxWordRun = 999;
constexpr size_t kSpellFrom = 7;  // digit runs this long are spelt
constexpr int kRepeatsBeforeClick = 4;
constexpr int kPauseStepMs = 50;  // pauses are whole steps of this
constexpr long kMaxSoundBytes = 16L << 20;

// The click: a short burst of noise, then silence.
constexpr size_t kClickNoise = 65;
constexpr size_t kClickBytes = 256;
constexpr uint32_t kClickRate = 11025;

constexpr bool isLetter(uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 128;
}
constexpr bool isWordChar(uint8_t c) {
  return isLetter(c) || c == ' ';
}
constexpr bool isDigit(uint8_t c) {
  return c >= '0' && c <= '9';
}

uint8_t at(std::string_view s, size_t i) {
  return i < s.size() ? static_cast<uint8_t>(s[i]) : 0;
}

bool isPunctuation(uint8_t c) {
  return c == '(' || c == ')' || c == ',' || c == '.' || c == ':' || c == ';';
}

std::vector<uint8_t> readWhole(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(qr::toUtf8(path).c_str(), "rb"),
                                                    std::fclose);
  std::vector<uint8_t> data;
  if (!f) return data;
  uint8_t block[8192];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, f.get())) > 0) {
    data.insert(data.end(), block, block + got);
    if (static_cast<long>(data.size()) > kMaxSoundBytes) return {};
  }
  return data;
}

}  // namespace

std::vector<uint8_t> clickImage() {
  std::minstd_rand random(std::random_device{}());
  std::array<uint8_t, kClickBytes> samples{};
  samples.fill(128);
  for (size_t i = 0; i < kClickNoise; ++i) samples[i] = static_cast<uint8_t>(128 + random() % 60);
  return qr::makeWavImage(samples.data(), samples.size(), kClickRate, 1, 8);
}

std::vector<SpeechStep> planSpeech(std::string_view input) {
  using Kind = SpeechStep::Kind;
  std::string text(input);
  text += ' ';
  std::vector<SpeechStep> steps;
  uint8_t lastSymbol = ' ';
  int repeats = 0;
  size_t pos = 0;
  const size_t n = text.size();
  while (pos < n) {
    while (at(text, pos) == '0') {
      steps.push_back({Kind::Zero, {}, 0});
      ++pos;
    }
    const uint8_t c = at(text, pos);
    if (c >= '1' && c <= '9') {
      size_t end = pos;
      while (end < n && (isDigit(at(text, end)) || at(text, end) == '-')) ++end;
      const std::string run = text.substr(pos, end - pos);
      if (run.find('-') != std::string::npos || run.size() >= kSpellFrom) {
        steps.push_back({Kind::Spell, run, 0});
      } else {
        steps.push_back({Kind::Number, {}, std::stol(run)});
      }
      pos = end;
      continue;
    }
    if (isWordChar(c)) {
      size_t end = pos;
      while (end < n && isWordChar(at(text, end))) ++end;
      const std::string run = text.substr(pos, end - pos);
      // Blanks after the letters are not part of the word: "WWW" at the
      // end of a text is spelt too.
      const std::string letters = run.substr(0, run.find_last_not_of(' ') + 1);
      if (qr::upperCase(letters) == "WWW") {
        steps.push_back({Kind::Spell, letters, 0});
      } else if (run.find_first_not_of(' ') != std::string::npos) {
        // A run of blanks alone has nothing to say.
        steps.push_back({Kind::Words, run.substr(0, kMaxWordRun), 0});
      }
      pos = end;
      if (at(text, pos) == '-' && isLetter(at(text, pos + 1))) ++pos;
      continue;
    }
    uint8_t symbol = c;
    if (symbol == lastSymbol) {
      if (++repeats >= kRepeatsBeforeClick) {
        steps.push_back({Kind::Click, {}, 0});
        symbol = ' ';
      }
    } else {
      lastSymbol = symbol;
      repeats = 0;
    }
    if (symbol == '-') {
      const uint8_t next = n - pos < 3 ? ' ' : at(text, pos + 1);
      if (next == ' ' || next == '-') {
        steps.push_back({Kind::Punctuation, text.substr(pos, 2), 0});
      } else if (tts::minusSignAt(text, pos)) {
        // After a letter or a digit the hyphen joins the parts of a name
        // ("nota-138.txt") and is read by its name below.
        steps.push_back({Kind::Minus, {}, 0});
      } else {
        steps.push_back({Kind::Char, "-", 0});
      }
    } else if (text.compare(pos, 3, "://") == 0) {
      steps.push_back({Kind::Char, std::string(1, static_cast<char>(symbol)), 0});
    } else if (isPunctuation(symbol)) {
      steps.push_back({Kind::Punctuation, text.substr(pos, 2), 0});
    } else if (symbol != ' ' && symbol != '\t') {
      steps.push_back({Kind::Char, std::string(1, static_cast<char>(symbol)), 0});
    }
    ++pos;
  }
  return steps;
}

RecordedVoice::RecordedVoice(Pacing& pacing, WavPlayer& player, Translator& translator,
                             Diphone& diphone, qr::EventLog& log)
    : pacing_(pacing), player_(player), translator_(translator), diphone_(diphone), log_(log) {}

RecordedVoice::~RecordedVoice() = default;

bool RecordedVoice::speak(std::string_view text) {
  for (SpeechStep& step : planSpeech(text)) steps_.push_back(std::move(step));
  return true;
}

bool RecordedVoice::busy(bool strict) {
  pump();
  if (!steps_.empty() || !pieces_.empty() || pauseMs_ > 0 || Clock::now() < pauseEnd_) return true;
  return !strict && player_.wavBusy();
}

void RecordedVoice::stop() {
  steps_.clear();
  pieces_.clear();
  started_ = false;
  fed_ = 0;
  pauseMs_ = 0;
  pauseEnd_ = {};
  player_.wavStop();
}

void RecordedVoice::pump() {
  player_.takePlayed();
  for (;;) {
    if (started_) {
      if (!feed()) return;  // the device has no room yet
      pauseMs_ = pieces_.front().pauseMs;
      pieces_.pop_front();
      started_ = false;
    }
    if (steps_.empty() && pieces_.empty() && pauseMs_ == 0) return;
    // The next piece starts once the one before has sounded and the pause
    // after it (counted from the end of its sound) is over.
    if (player_.wavBusy()) return;
    if (pauseMs_ > 0) {
      pauseEnd_ = Clock::now() + std::chrono::milliseconds(pauseMs_);
      pauseMs_ = 0;
    }
    if (Clock::now() < pauseEnd_ || (steps_.empty() && pieces_.empty())) return;
    if (pacing_.keyPending()) return stop();
    if (pieces_.empty()) {
      const SpeechStep step = std::move(steps_.front());
      steps_.pop_front();
      expand(step);
      continue;
    }
    for (const auto& [kind, text] : pieces_.front().events) log_.event(kind, text);
    started_ = true;
    fed_ = 0;
  }
}

qr::Deadline RecordedVoice::nextPump() const {
  // The player's blocks come back as the device plays them: a piece is fed
  // and the next started in steps of a block's share of time.
  constexpr int kStepMs = 10;
  if (!started_ && steps_.empty() && pieces_.empty() && pauseMs_ == 0) return qr::kNoDeadline;
  if (!started_ && pauseMs_ == 0 && Clock::now() < pauseEnd_) return pauseEnd_;
  // A device that tells when it played a block wakes the pump itself.
  if (player_.playedDescriptor() >= 0) return qr::kNoDeadline;
  return qr::deadlineIn(kStepMs);
}

int RecordedVoice::eventDescriptor() const {
  return player_.playedDescriptor();
}

bool RecordedVoice::feed() {
  Piece& p = pieces_.front();
  if (p.image.empty()) return true;
  const bool fast = player_.fast(), cut = player_.cut();
  const double tempo = player_.tempo();
  // The units of each speed are already at its pace: the time scaling for
  // recorded sound is not for them (the fast flag still is). A click is
  // never cut.
  if (p.unitSpeed) player_.setTempo(1.0);
  if (p.plain) player_.setCut(false);
  bool done = false;
  for (;;) {
    if (fed_ >= p.info.dataLength) {
      done = true;
      break;
    }
    const long taken = player_.offerSamples(p.image.data() + p.info.dataOffset + fed_,
                                            p.info.dataLength - fed_, p.info.format);
    if (taken < 0) {
      done = true;  // no device: the piece is dropped
      break;
    }
    if (taken == 0) break;
    fed_ += static_cast<size_t>(taken);
  }
  player_.setFast(fast);
  player_.setCut(cut);
  player_.setTempo(tempo);
  return done;
}

void RecordedVoice::addFile(const std::string& path,
                            std::vector<std::pair<std::string, std::string>> events) {
  Piece p;
  p.events = std::move(events);
  p.image = readWhole(path);
  const auto info = qr::parseWavImage(p.image.data(), p.image.size());
  if (info) {
    p.info = *info;
    p.events.emplace_back("sound", path);
  } else {
    p.image.clear();
  }
  pieces_.push_back(std::move(p));
}

void RecordedVoice::addImage(std::vector<uint8_t> image, bool unitSpeed, bool plain) {
  const auto info = qr::parseWavImage(image.data(), image.size());
  if (!info) return;
  Piece p;
  p.events.emplace_back("image", std::to_string(info->dataLength));
  p.image = std::move(image);
  p.info = *info;
  p.unitSpeed = unitSpeed;
  p.plain = plain;
  pieces_.push_back(std::move(p));
}

void RecordedVoice::addChar(uint8_t c) {
  addFile(settings_.lettersDir + "_" + std::to_string(c) + ".wav", {{"char", std::to_string(c)}});
}

void RecordedVoice::addPause(int ms) {
  if (pieces_.empty() || ms < kPauseStepMs) return;
  pieces_.back().pauseMs = ms / kPauseStepMs * kPauseStepMs;
}

void RecordedVoice::expand(const SpeechStep& step) {
  using Kind = SpeechStep::Kind;
  switch (step.kind) {
    case Kind::Zero:
      addFile(settings_.lettersDir + "_zero.wav", {});
      return;
    case Kind::Minus:
      addFile(settings_.lettersDir + "_MENOS.wav", {});
      return;
    case Kind::Number: {
      PieceJoiner joiner(
          [this](const std::vector<uint8_t>& image) { addImage(image, false, false); });
      for (const auto& name :
           numberPieceNames(numberWords(static_cast<uint64_t>(step.value)), false))
        joiner.addFile(settings_.lettersDir + name + ".wav");
      joiner.flush();
      return;
    }
    case Kind::Spell:
      for (const char c : step.text) addChar(static_cast<uint8_t>(c));
      return;
    case Kind::Words:
      diphone_.diphoneSynth(translator_.translateToPhonetic(step.text), 0,
                            [this](const uint8_t* image, size_t length) {
                              addImage(std::vector<uint8_t>(image, image + length), true, false);
                            });
      return;
    case Kind::Click: {
      const size_t before = pieces_.size();
      addImage(clickImage(), false, true);
      if (pieces_.size() > before) {
        auto& events = pieces_.back().events;
        events.insert(events.begin(), {"click", ""});
      }
      return;
    }
    case Kind::Punctuation: {
      const uint8_t mark = at(step.text, 0);
      addChar(mark);
      const bool spaceAfter = at(step.text, 1) == ' ';
      if (mark == '(' || mark == ')' || mark == ':' || mark == ';') {
        addPause(settings_.pauseColon);
      } else if ((mark == ',' || mark == '-') && spaceAfter) {
        addPause(settings_.pauseComma);
      } else if (mark == '.' && spaceAfter) {
        addPause(settings_.pauseFullStop);
      }
      return;
    }
    case Kind::Char:
      addChar(static_cast<uint8_t>(step.text[0]));
      return;
  }
}

}  // namespace speech
