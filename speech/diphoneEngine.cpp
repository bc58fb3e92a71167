// The sound-making half of the syllable-unit synthesiser: reads tokens,
// splits them into units, reads the units' samples from the data file into
// the output buffer, and hands the buffer on as a WAV image when it is full
// and at the end of the text.
//
// A record whose samples do not lie wholly inside the data file counts as a
// missing unit, so a damaged database gives noise or silence and never a
// read outside the file or the buffer.
#include "speech/diphoneEngine.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace speech {

using units::Piece;

namespace {

bool isRegularFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

DiphoneEngine::DiphoneEngine() : buffer_(kBufferSize, 128) {}

DiphoneEngine::~DiphoneEngine() {
  closeDatabase();
}

bool DiphoneEngine::openDatabase(const std::string& dir, std::string_view name) {
  closeDatabase();
  const std::string base = dir + std::string(name);
  // A directory by that name would make the read throw.
  if (!isRegularFile(base + ".IND") || !isRegularFile(base + ".DIF")) return false;
  std::ifstream in(base + ".IND", std::ios::binary);
  if (!in) return false;
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  std::FILE* f = std::fopen((base + ".DIF").c_str(), "rb");
  if (!f) return false;
  if (std::fseek(f, 0, SEEK_END) != 0) {
    std::fclose(f);
    return false;
  }
  const long size = std::ftell(f);
  data_ = f;
  dataSize_ = size > 0 ? static_cast<uint64_t>(size) : 0;
  index_ = units::parseIndex(bytes);
  return true;
}

void DiphoneEngine::closeDatabase() {
  if (data_) std::fclose(data_);
  data_ = nullptr;
  dataSize_ = 0;
  index_.clear();
  index_.shrink_to_fit();
}

void DiphoneEngine::setParameters(int unitCut, int unitMinimum, int wordPause) {
  unitCut_ = unitCut;
  unitMinimum_ = unitMinimum;
  wordPause_ = wordPause;
}

void DiphoneEngine::speak(std::string_view text, int flag, const Sink& sink) {
  sink_ = &sink;
  stopped_ = false;
  write_ = kHeaderSize;
  stress_ = units::kStressBefore;
  size_t pos = 0;
  while (pos < text.size() && !stopped_) {
    const units::Token token = units::readToken(text, pos, flag);
    if (token.wordStart) stress_ = units::kStressBefore;
    if (token.pauseSamples > 0) appendSilence(token.pauseSamples);
    synthToken(token.text);
    // A word pause after a bracketed word; a long word cut at "/" runs on.
    if (pos < text.size() && token.closedBy == ']') appendSilence(wordPause_);
  }
  if (!stopped_) flush();
  write_ = kHeaderSize;
  sink_ = nullptr;
}

void DiphoneEngine::synthToken(std::string_view token) {
  strings_.clear();
  units::splitToken(token, 1.0, strings_);
  names_.clear();
  for (const auto& u : strings_) units::unitNames(u.text, u.factor, stress_, names_);
  for (const auto& play : names_) playName(play);
}

void DiphoneEngine::playName(const units::NamePlay& play) {
  pieces_.clear();
  const auto lookup = [this](std::string_view upper) -> std::optional<size_t> {
    const auto found = units::findUnit(index_, upper);
    if (!found) return std::nullopt;
    const auto& r = index_[*found];
    if (static_cast<uint64_t>(r.offset) + r.length > dataSize_) return std::nullopt;
    return found;
  };
  units::resolveName(play.name, play.stress, play.factor, lookup, pieces_);
  for (const Piece& p : pieces_) {
    if (stopped_) return;
    switch (p.kind) {
      case Piece::Kind::Letter:
        appendLetter(p.name);
        break;
      case Piece::Kind::Unit:
        appendUnit(p.record, units::unitBytes(index_[p.record].length, p.stress, p.name.size(),
                                              unitCut_, unitMinimum_, p.factor));
        break;
      case Piece::Kind::Noise:
        appendNoise();
        break;
    }
  }
}

void DiphoneEngine::appendUnit(size_t record, size_t bytes) {
  const auto& r = index_[record];
  bytes = std::min<size_t>(bytes, r.length);
  if (bytes == 0 || !data_) return;
  scratch_.resize(bytes);
  size_t got = 0;
  if (std::fseek(data_, static_cast<long>(r.offset), SEEK_SET) == 0)
    got = std::fread(scratch_.data(), 1, bytes, data_);
  // A unit cut short would stop in the middle of a wave, which clicks: its
  // last few milliseconds fade to silence instead.
  if (got < r.length) units::fadeOut(scratch_.data(), got);
  appendBytes(scratch_.data(), got);
}

void DiphoneEngine::appendLetter(const std::string& name) {
  if (!isRegularFile(lettersDir_ + name + ".wav")) return;
  std::ifstream in(lettersDir_ + name + ".wav", std::ios::binary);
  if (!in) return;
  const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  const auto wav = units::parseWav(file);
  if (!wav) return;
  std::vector<uint8_t> samples = units::toUnitFormat(*wav);
  if (samples.size() > 65535) samples.resize(65535);
  appendBytes(samples.data(), samples.size());
}

void DiphoneEngine::appendNoise() {
  std::uniform_int_distribution<int> value(units::kNoiseLow, units::kNoiseHigh);
  uint8_t noise[units::kNoiseSamples];
  for (auto& b : noise) b = static_cast<uint8_t>(value(noise_));
  appendBytes(noise, sizeof noise);
}

void DiphoneEngine::appendSilence(int samples) {
  static constexpr uint8_t kBlock[100] = {
      128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128,
      128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128,
      128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128,
      128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128,
      128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128,
      128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128};
  for (int i = 0; i < samples / 100 && !stopped_; ++i) appendBytes(kBlock, sizeof kBlock);
}

// Appends samples, handing the buffer on first when they would not fit; a
// piece larger than the whole buffer goes in several buffers.
void DiphoneEngine::appendBytes(const uint8_t* data, size_t n) {
  while (n > 0 && !stopped_) {
    if (write_ + n > kBufferSize) flush();
    if (stopped_) return;
    const size_t take = std::min(n, kBufferSize - write_);
    std::copy_n(data, take, buffer_.begin() + static_cast<long>(write_));
    write_ += take;
    data += take;
    n -= take;
  }
}

void DiphoneEngine::flush() {
  if (write_ <= kHeaderSize) return;
  units::writeWavHeader(buffer_.data(), static_cast<uint32_t>(write_ - kHeaderSize));
  const size_t length = write_;
  write_ = kHeaderSize;
  if (sink_ && *sink_ && !(*sink_)(buffer_.data(), length)) stopped_ = true;
}

}  // namespace speech
