// WAV playback on the audio output. Up to four blocks are queued on the
// device; a block counts as done once the device has consumed its bytes
// (AudioOutput::pending), which is looked at whenever the program is pumped.
// Every wait goes through the pacing in steps of at most 10 ms and gives up at a
// key press, so a key silences sound within a few tens of milliseconds.
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
constexpr uint16_t kStepMs = 10;
constexpr int kFullQueueSteps = 200;  // 2 s for a block to come back

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

  // Blocks whose bytes the device has consumed come back.
  void blockDone() {
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

  void delay(uint16_t ms) {
    pacing.delay(ms);
    blockDone();
  }

  bool keyWaiting() { return pacing.keyPending(); }

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
    if (!(want == format)) {
      while (busy()) delay(kStepMs);
    }
    format = want;
    if (deviceOpen) return 0;
    int result = 0;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
      result = audio.open(want);
      if (result != kDeviceAllocated) break;
      pacing.delay(100);
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
    for (int i = 0; i < kFullQueueSteps && queued >= kQueueLimit; ++i) delay(kStepMs);
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

bool WavPlayer::wavBusy() {
  return s_->busy();
}

int WavPlayer::playSamples(const uint8_t* samples, size_t length, uint32_t rate, uint16_t channels,
                           uint16_t bits) {
  State& s = *s_;
  // 8- and 16-bit sound is time-scaled at its own pitch, whatever its
  // channels; other sample sizes take the faster rate of the fast flag.
  const bool scalable = (bits == 8 || bits == 16) && channels > 0;
  const double factor = scalable ? s.tempo * (s.fast ? kFastTempo : 1.0) : 1.0;
  const bool scaling = std::abs(factor - 1.0) > 1e-6;
  if (s.fast && !scalable) rate = fastRate(rate);
  const bool cutting = s.cut && channels == 1;
  const uint16_t deviceBits = (cutting && bits == 16) ? uint16_t{8} : bits;
  const int opened = s.openDevice(qr::PcmFormat{rate, deviceBits, channels});
  if (opened != 0) return opened;
  // Slowed down, a piece grows: it is taken small enough to fit a block.
  const size_t width = (bits == 16 ? 2 : 1) * std::max<uint16_t>(channels, 1);
  const size_t most =
      scaling ? std::max(width, static_cast<size_t>(kBlockBytes * std::min(1.0, factor) * 0.98) /
                                    width * width)
              : kBlockBytes;
  while (length > 0) {
    while (s.queued >= kQueueLimit) {
      if (s.keyWaiting()) {
        wavStop();
        return 0;
      }
      s.delay(kStepMs);
    }
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

void WavPlayer::playWavImage(const uint8_t* image, size_t length) {
  const auto info = parseWavImage(image, length);
  if (!info) return;
  s_->log.event("image", static_cast<long long>(info->dataLength));
  (void)playSamples(image + info->dataOffset, info->dataLength, info->format.rate,
                    info->format.channels, info->format.bits);
}

int WavPlayer::playWavFile(const std::string& path) {
  const int result = startWavFile(path);
  while (wavBusy()) s_->delay(kStepMs);
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
