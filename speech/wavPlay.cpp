// WAV playback on the audio output. Up to four blocks are queued on the
// device; a block counts as done once the device has consumed its bytes
// (AudioOutput::pending), which is looked at whenever the program is pumped.
// Every wait is a wait of the program's loop until the oldest block will
// have been played (worked out from what the device still holds and its
// byte rate), and gives up at a key press.
// The blocks and the read buffer are allocated once: nothing is allocated
// while sound plays.
#include "speech/wavPlay.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/cp1252.h"
#include "base/eventlog.h"
#include "speech/audio.h"

namespace speech {
namespace {

constexpr int kQueueLimit = 4;
constexpr size_t kMinBlock = 256;
constexpr int kDeviceAllocated = 4;  // the device is in use elsewhere: retry
constexpr int kOpenAttempts = 100;
constexpr int kRetryOpenMs = 100;
constexpr int kFullQueueMs = 2000;  // for a block to come back

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool readAll(std::FILE* f, uint8_t* into, size_t n) {
  return std::fread(into, 1, n, f) == n;
}

}  // namespace

struct WavPlayer::State {
  Pacing& pacing;
  qr::AudioOutput& audio;
  qr::EventLog& log;
  bool fast = false;
  bool cut = false;
  double tempo = 1.0;
  bool deviceOpen = false;
  qr::PcmFormat format{0, 0, 0};
  std::array<std::vector<uint8_t>, kQueueLimit> blocks;
  std::vector<uint8_t> readBuffer;
  std::vector<float> accum;  // the time scaling's sums, one block's samples
  // Lengths of the queued blocks, oldest first, as handed to the device.
  std::array<size_t, kQueueLimit> queuedLength{};
  int queued = 0;
  int nextBlock = 0;  // 1..4 once the first block was used

  State(Pacing& p, qr::AudioOutput& a, qr::EventLog& l) : pacing(p), audio(a), log(l) {
    for (auto& b : blocks) b.assign(kBlockBytes, 0);
    readBuffer.assign(kBlockBytes, 0);
    accum.assign(kBlockBytes, 0.0f);
  }

  // Blocks whose bytes the device has consumed come back (and the device's
  // news of them is taken).
  void blockDone() {
    audio.takePlayed();
    if (queued == 0) return;
    size_t outstanding = 0;
    for (int i = 0; i < queued; ++i) outstanding += queuedLength[static_cast<size_t>(i)];
    const size_t pending = audio.pending();
    size_t consumed = pending >= outstanding ? 0 : outstanding - pending;
    while (queued > 0 && queuedLength[0] <= consumed) {
      consumed -= queuedLength[0];
      for (size_t i = 1; i < static_cast<size_t>(queued); ++i)
        queuedLength[i - 1] = queuedLength[i];
      --queued;
    }
  }

  void pump() {
    pacing.pump();
    blockDone();
  }

  // The device's news of played blocks, while blocks are queued: what ends
  // a wait for room or for the end where the device can tell.
  [[nodiscard]] int playedDescriptor() const {
    return deviceOpen && queued > 0 ? audio.playedDescriptor() : -1;
  }

  // When the oldest block will have been played.
  [[nodiscard]] qr::Deadline nextChange() const {
    if (queued == 0 || !deviceOpen) return qr::kNoDeadline;
    const size_t byteRate = size_t{format.rate} * std::max<uint16_t>(format.channels, 1) *
                            std::max<uint16_t>(format.bits / 8, 1);
    if (byteRate == 0) return qr::deadlineIn(1);
    size_t outstanding = 0;
    for (int i = 0; i < queued; ++i) outstanding += queuedLength[static_cast<size_t>(i)];
    const size_t pending = audio.pending();
    const size_t afterOldest = outstanding - queuedLength[0];
    const size_t toPlay = pending > afterOldest ? pending - afterOldest : 0;
    // Rounded up to the next millisecond, so the block is over when we look.
    return qr::Clock::now() + std::chrono::microseconds(toPlay * 1000000 / byteRate + 1000);
  }

  // Waits in the program's loop while the condition holds; the device's
  // news of a played block (or, from a device that cannot tell, the time
  // its oldest block will have been played) and the keys end each wait.
  void waitWhile(const std::function<bool()>& condition) {
    pacing.waitWhile(
        [&] {
          blockDone();
          return condition();
        },
        [&] {
          const int fd = playedDescriptor();
          return qr::Wake{fd, fd >= 0 ? qr::kNoDeadline : nextChange()};
        });
  }

  bool keyWaiting() { return pacing.keyPending(); }

  // How a sound of this format is played: the tempo factor (8- and 16-bit
  // sound is time-scaled at its own pitch, whatever its channels; other
  // sample sizes take the faster rate of the fast flag), whether it is
  // scaled or cut, the device's format and the most sample bytes that go
  // into one block.
  struct Shape {
    double factor = 1.0;
    bool scaling = false;
    bool cutting = false;
    qr::PcmFormat device{0, 0, 0};
    size_t most = kBlockBytes;
  };
  [[nodiscard]] Shape shape(uint32_t rate, uint16_t channels, uint16_t bits) const {
    Shape sh;
    const bool scalable = (bits == 8 || bits == 16) && channels > 0;
    sh.factor = scalable ? tempo * (fast ? kFastTempo : 1.0) : 1.0;
    sh.scaling = std::abs(sh.factor - 1.0) > 1e-6;
    if (fast && !scalable) rate = fastRate(rate);
    sh.cutting = cut && channels == 1;
    const uint16_t deviceBits = (sh.cutting && bits == 16) ? uint16_t{8} : bits;
    sh.device = qr::PcmFormat{rate, deviceBits, channels};
    // Slowed down, a piece grows: it is taken small enough to fit a block.
    const size_t width = (bits == 16 ? 2 : 1) * std::max<uint16_t>(channels, 1);
    if (sh.scaling)
      sh.most = std::max(width, static_cast<size_t>(kBlockBytes * std::min(1.0, sh.factor) * 0.98) /
                                    width * width);
    return sh;
  }

  void stop() {
    if (!deviceOpen) return;
    if (queued > 0) audio.stop();
    queued = 0;
    pacing.pump();
    audio.close();
    deviceOpen = false;
    pacing.pump();
  }

  bool busy() {
    pump();
    if (keyWaiting() || queued == 0) stop();
    return queued > 0;
  }

  // Opens the device for a format, first letting the sound of another
  // format end. 0 or the device's error.
  int openDevice(const qr::PcmFormat& want) {
    if (!(want == format)) waitWhile([&] { return busy(); });
    format = want;
    if (deviceOpen) return 0;
    int result = 0;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
      result = audio.open(want);
      if (result != kDeviceAllocated) break;
      pacing.delay(kRetryOpenMs);  // a timed pause before the next attempt
    }
    deviceOpen = result == 0;
    return result;
  }

  [[nodiscard]] uint8_t* nextBlockData() {
    return blocks[static_cast<size_t>(nextBlock % kQueueLimit)].data();
  }

  // Hands n bytes to the device in the next block (the data may already be
  // in it). False when the block was dropped.
  bool queueBlock(const uint8_t* data, size_t n) {
    const qr::Deadline giveUp = qr::deadlineIn(kFullQueueMs);
    waitWhile([&] { return queued >= kQueueLimit && !qr::passed(giveUp); });
    if (queued >= kQueueLimit) return false;
    uint8_t* block = nextBlockData();
    nextBlock = nextBlock % kQueueLimit + 1;
    if (data != block) std::memcpy(block, data, n);
    const bool mono8 = format.channels == 1 && format.bits == 8;
    const uint8_t silence = format.bits == 8 ? 128 : 0;
    if (n < kMinBlock) std::memset(block + n, silence, kMinBlock - n);
    if (mono8 && n != kBlockBytes && n > 0) block[n - 1] = 128;
    const size_t length = std::max(n, kMinBlock);
    if (!audio.queue(block, length)) return false;
    queuedLength[static_cast<size_t>(queued)] = length;
    ++queued;
    return true;
  }
};

WavPlayer::WavPlayer(Pacing& pacing, qr::AudioOutput& audio, qr::EventLog& log)
    : s_(std::make_unique<State>(pacing, audio, log)) {}

WavPlayer::~WavPlayer() {
  if (s_->deviceOpen) {
    if (s_->queued > 0) s_->audio.stop();
    s_->audio.close();
  }
}

void WavPlayer::setFast(bool on) {
  s_->fast = on;
}
void WavPlayer::setCut(bool on) {
  s_->cut = on;
}
bool WavPlayer::fast() const {
  return s_->fast;
}
bool WavPlayer::cut() const {
  return s_->cut;
}
void WavPlayer::setTempo(double tempo) {
  s_->tempo = tempo > 0.25 && tempo < 4 ? tempo : 1.0;
}
double WavPlayer::tempo() const {
  return s_->tempo;
}

void WavPlayer::wavStop() {
  s_->stop();
}

qr::Deadline WavPlayer::nextChange() const {
  return s_->playedDescriptor() >= 0 ? qr::kNoDeadline : s_->nextChange();
}

int WavPlayer::playedDescriptor() const {
  return s_->playedDescriptor();
}

void WavPlayer::takePlayed() {
  s_->blockDone();
}

bool WavPlayer::wavBusy() {
  return s_->busy();
}

int WavPlayer::playSamples(const uint8_t* samples, size_t length, uint32_t rate, uint16_t channels,
                           uint16_t bits) {
  State& s = *s_;
  const State::Shape sh = s.shape(rate, channels, bits);
  const double factor = sh.factor;
  const bool scaling = sh.scaling;
  const bool cutting = sh.cutting;
  rate = sh.device.rate;
  const int opened = s.openDevice(sh.device);
  if (opened != 0) return opened;
  const size_t most = sh.most;
  while (length > 0) {
    s.waitWhile([&] { return s.queued >= kQueueLimit && !s.keyWaiting(); });
    if (s.keyWaiting()) {
      wavStop();
      return 0;
    }
    const size_t piece = std::min(length, most);
    if (scaling || cutting) {
      // Changed in the block that will be queued next; the caller's samples
      // stay as they were.
      uint8_t* block = s.nextBlockData();
      size_t n = piece;
      if (scaling)
        n = timeScale(samples, piece, bits, channels, rate, factor, block, kBlockBytes,
                      s.accum.data());
      else
        std::memcpy(block, samples, piece);
      if (cutting) n = cutSpeech(block, n, bits, rate);
      if (n > 0) (void)s.queueBlock(block, n);
    } else {
      (void)s.queueBlock(samples, piece);
    }
    length -= piece;
    samples += piece;
  }
  return 0;
}

long WavPlayer::offerSamples(const uint8_t* samples, size_t length, const WavFormat& format) {
  State& s = *s_;
  s.pump();
  const State::Shape sh = s.shape(format.rate, format.channels, format.bits);
  if (s.queued >= kQueueLimit || (s.deviceOpen && s.queued > 0 && !(sh.device == s.format)))
    return 0;
  const size_t piece = std::min(length, sh.most);
  if (playSamples(samples, piece, format.rate, format.channels, format.bits) != 0) return -1;
  return static_cast<long>(piece);
}

void WavPlayer::playWavImage(const uint8_t* image, size_t length) {
  const auto info = parseWavImage(image, length);
  if (!info) return;
  s_->log.event("image", static_cast<long long>(info->dataLength));
  (void)playSamples(image + info->dataOffset, info->dataLength, info->format.rate,
                    info->format.channels, info->format.bits);
}

int WavPlayer::playWavFile(const std::string& path) {
  const int result = startWavFile(path);
  s_->waitWhile([this] { return s_->busy(); });
  return result;
}

int WavPlayer::startWavFile(const std::string& path) {
  State& s = *s_;
  if (s.keyWaiting()) return 0;
  File file(std::fopen(qr::toUtf8(path).c_str(), "rb"));
  if (!file) return -1;
  uint8_t header[12];
  if (!readAll(file.get(), header, 12) || !isRiffHeader(header)) return -1;
  if (!readAll(file.get(), header, 8)) return -1;
  const auto fmtSize = fmtChunkSize(header);
  if (!fmtSize || *fmtSize > kBlockBytes) return -1;
  uint8_t* buffer = s.readBuffer.data();
  if (!readAll(file.get(), buffer, *fmtSize)) return -1;
  const auto format = parseFmtContents(buffer, *fmtSize);
  if (!format) return -1;
  s.log.event("sound", path);

  int result = -1;
  while (readAll(file.get(), header, 8)) {
    const ChunkHeader chunk = parseChunkHeader(header);
    if (!chunk.isData) {
      // Other chunks are skipped by seeking, whatever their size.
      if (std::fseek(file.get(), static_cast<long>(chunk.size), SEEK_CUR) != 0) break;
      continue;
    }
    result = 0;
    uint64_t remaining = chunk.size;
    // Whole sample frames per piece: a time-scaled piece is taken frame by
    // frame, and a split frame would swap the channels from there on.
    const size_t frameBytes = std::max<size_t>(1, format->channels * ((format->bits + 7) / 8));
    while (remaining > 0) {
      size_t piece = wavPieceSize(remaining);
      if (piece < remaining && piece > frameBytes) piece -= piece % frameBytes;
      const size_t got = std::fread(buffer, 1, piece, file.get());
      if (got == 0) {
        result = -1;
        break;
      }
      result = playSamples(buffer, got, format->rate, format->channels, format->bits);
      remaining -= got;
      if (result != 0 || s.keyWaiting()) break;
    }
    break;
  }
  return result;
}

}  // namespace speech
