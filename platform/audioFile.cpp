// The file audio output. Sound is written as it is queued; a looping tone is
// written when it stops, for as long as it sounded. The header's lengths are
// brought up to date after every write so the file is a valid WAV at any
// moment, also while the program still runs.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "base/bytes.h"
#include "base/wav.h"
#include "platform/audioBackends.h"

namespace platform {

namespace {

constexpr int kLongestToneMs = 60000;

int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

class FileAudio final : public qr::AudioOutput {
 public:
  explicit FileAudio(std::FILE* file) : file_(file) {}
  ~FileAudio() override {
    finishTone();
    std::fclose(file_);
  }

  int open(const qr::PcmFormat& format) override {
    format_ = format;
    open_ = true;
    position_ = 0;
    return 0;
  }

  bool queue(const uint8_t* data, size_t length) override {
    if (!open_) return false;
    append(format_, data, length);
    return true;
  }

  size_t pending() const override { return 0; }
  void stop() override {}
  void close() override { open_ = false; }

  void toneStart(const qr::PcmFormat& format, const uint8_t* data, size_t length) override {
    finishTone();
    tone_.assign(data, data + length);
    toneFormat_ = format;
    toneSince_ = nowMs();
    toneOn_ = true;
  }

  void toneStop() override { finishTone(); }

 private:
  void finishTone() {
    if (!toneOn_) return;
    toneOn_ = false;
    const int frame = toneFormat_.bits / 8 * toneFormat_.channels;
    if (tone_.empty() || frame <= 0) return;
    const int64_t ms = std::min<int64_t>(nowMs() - toneSince_, kLongestToneMs);
    const size_t bytes = static_cast<size_t>(ms * toneFormat_.rate / 1000) * frame;
    std::vector<uint8_t> played(bytes);
    for (size_t i = 0; i < bytes; ++i) played[i] = tone_[i % tone_.size()];
    double position = 0;
    appendSamples(toneFormat_, played.data(), played.size(), position);
  }

  void append(const qr::PcmFormat& format, const uint8_t* data, size_t length) {
    appendSamples(format, data, length, position_);
  }

  void appendSamples(const qr::PcmFormat& format, const uint8_t* data, size_t length,
                     double& position) {
    if (format.rate == 0) return;
    if (rate_ == 0) rate_ = format.rate;
    const std::vector<int16_t> samples =
        resample(toMono16(format, data, length), format.rate, rate_, position);
    if (samples.empty() && dataBytes_ > 0) return;
    std::vector<uint8_t> bytes(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i)
      qr::putLe16(bytes.data() + 2 * i, static_cast<uint16_t>(samples[i]));
    std::fseek(file_, static_cast<long>(44 + dataBytes_), SEEK_SET);
    std::fwrite(bytes.data(), 1, bytes.size(), file_);
    dataBytes_ += static_cast<uint32_t>(bytes.size());
    const std::vector<uint8_t> header = wavHeader(rate_, dataBytes_);
    std::fseek(file_, 0, SEEK_SET);
    std::fwrite(header.data(), 1, header.size(), file_);
    std::fflush(file_);
  }

  std::FILE* file_;
  qr::PcmFormat format_;
  bool open_ = false;
  double position_ = 0;
  uint32_t rate_ = 0;  // the file's rate: the first sound's
  uint32_t dataBytes_ = 0;
  std::vector<uint8_t> tone_;
  qr::PcmFormat toneFormat_;
  int64_t toneSince_ = 0;
  bool toneOn_ = false;
};

}  // namespace

std::vector<int16_t> toMono16(const qr::PcmFormat& format, const uint8_t* data, size_t length) {
  const size_t bytesPerSample = format.bits == 16 ? 2 : 1;
  const size_t channels = format.channels == 2 ? 2 : 1;
  const size_t frame = bytesPerSample * channels;
  std::vector<int16_t> out;
  out.reserve(length / frame);
  for (size_t at = 0; at + frame <= length; at += frame) {
    int sum = 0;
    for (size_t ch = 0; ch < channels; ++ch) {
      const uint8_t* s = data + at + ch * bytesPerSample;
      sum += bytesPerSample == 2 ? static_cast<int16_t>(s[0] | (s[1] << 8)) : (s[0] - 128) * 256;
    }
    out.push_back(static_cast<int16_t>(sum / static_cast<int>(channels)));
  }
  return out;
}

std::vector<int16_t> resample(const std::vector<int16_t>& samples, uint32_t from, uint32_t to,
                              double& position) {
  if (from == to || from == 0 || to == 0) return samples;
  const double step = static_cast<double>(from) / to;
  std::vector<int16_t> out;
  if (samples.empty()) return out;
  out.reserve(static_cast<size_t>(samples.size() / step) + 1);
  double p = position;
  for (; p < static_cast<double>(samples.size()); p += step) {
    const auto i = static_cast<size_t>(p);
    const double frac = p - static_cast<double>(i);
    const double a = samples[i];
    const double b = i + 1 < samples.size() ? samples[i + 1] : a;
    out.push_back(static_cast<int16_t>(std::lround(a + (b - a) * frac)));
  }
  position = p - static_cast<double>(samples.size());
  return out;
}

std::vector<uint8_t> wavHeader(uint32_t rate, uint32_t dataBytes) {
  std::vector<uint8_t> h(qr::kWavHeaderSize);
  qr::writeWavHeader(h.data(), dataBytes, rate, 1, 16);
  return h;
}

std::unique_ptr<qr::AudioOutput> makeFileAudio(const std::string& path, std::string& error) {
  std::FILE* f = std::fopen(path.c_str(), "w+b");
  if (!f) {
    error = "cannot create the sound file " + path;
    return nullptr;
  }
  return std::make_unique<FileAudio>(f);
}

}  // namespace platform
