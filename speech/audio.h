// The audio device seen by the sound modules: one PCM stream fed in blocks,
// plus a second, looping channel for tones. Back ends (SDL2, null, file) are
// in platform/. All calls are made from the program's one thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qr {

struct PcmFormat {
  uint32_t rate = 11025;
  uint16_t bits = 8;      // 8 (unsigned) or 16 (signed little-endian)
  uint16_t channels = 1;  // 1 or 2
  bool operator==(const PcmFormat&) const = default;
};

class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  // Opens (or reopens) the stream for a format; 0 on success, else a
  // non-zero error code.
  [[nodiscard]] virtual int open(const PcmFormat& format) = 0;
  // Queues a block of samples in the open format; false when not open.
  virtual bool queue(const uint8_t* data, size_t length) = 0;
  // Bytes queued and not yet played.
  [[nodiscard]] virtual size_t pending() const = 0;
  // Stops at once and discards what is queued.
  virtual void stop() = 0;
  virtual void close() = 0;
  // A descriptor that becomes readable when the device has played a queued
  // block to its end (room for the next, or the end of the stream), or -1
  // when the output cannot tell (its user then computes when to look).
  [[nodiscard]] virtual int playedDescriptor() const { return -1; }
  // Takes that descriptor's news, so that it waits for the next.
  virtual void takePlayed() {}
  // The tone channel: plays the samples over and over until toneStop.
  virtual void toneStart(const PcmFormat& format, const uint8_t* data, size_t length) = 0;
  virtual void toneStop() = 0;
};

}  // namespace qr
