// The SDL2 audio output. The speech stream is a device whose callback takes
// the queued blocks in order and, each time it has played one to its end,
// says so on an eventfd (the player's "played" news, waited for in the
// program's loop); the tone channel is a second device whose callback
// repeats the tone's samples until stopped. When a device cannot be opened
// the output goes on silently, like null, after saying so once on standard
// error.
//
// Silence must come at once: a key stops speech within a few milliseconds.
// So the device plays in periods of about 10 ms, and stopping or closing
// the stream only throws away what is queued: the device stays open (an
// idle device plays silence) until a sound of another format needs it or
// the output is destroyed. Closing and reopening a device takes a few
// hundred milliseconds, during which the program can do nothing.
#include <SDL.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <iostream>
#include <mutex>

#include "platform/audioBackends.h"

namespace platform {

namespace {

SDL_AudioSpec specOf(const qr::PcmFormat& format) {
  SDL_AudioSpec spec{};
  spec.freq = static_cast<int>(format.rate);
  spec.format = format.bits == 16 ? AUDIO_S16LSB : AUDIO_U8;
  spec.channels = static_cast<Uint8>(format.channels == 2 ? 2 : 1);
  spec.samples = static_cast<Uint16>(sdlPeriodFrames(format.rate));
  return spec;
}

// The longest device period that lets a key silence the sound in time.
constexpr unsigned kPeriodMs = 12;

}  // namespace

unsigned sdlPeriodFrames(uint32_t rate) {
  unsigned frames = 64;
  while (frames < 4096 && (frames * 2u) * 1000u <= rate * kPeriodMs) frames *= 2;
  return frames;
}

namespace {

class SdlAudio final : public qr::AudioOutput {
 public:
  SdlAudio() : played_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~SdlAudio() override {
    toneStop();
    release();
    if (played_ >= 0) ::close(played_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  int open(const qr::PcmFormat& format) override {
    if (device_ != 0 && format == format_) return 0;
    release();
    SDL_AudioSpec want = specOf(format);
    want.callback = &SdlAudio::fillStream;
    want.userdata = this;
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (device_ == 0) {
      complain();
      silent_ = true;
      return 0;
    }
    silent_ = false;
    format_ = format;
    // The callback gets the format asked for (SDL converts): unsigned
    // 8-bit silence is the middle value.
    silence_ = format.bits == 16 ? 0 : 0x80;
    SDL_PauseAudioDevice(device_, 0);
    return 0;
  }

  bool queue(const uint8_t* data, size_t length) override {
    if (silent_) return true;
    if (device_ == 0) return false;
    if (length == 0) return true;
    std::lock_guard<std::mutex> lock(streamMutex_);
    stream_.erase(stream_.begin(), stream_.begin() + static_cast<long>(read_));
    read_ = 0;
    stream_.insert(stream_.end(), data, data + length);
    blocks_.push_back(length);
    return true;
  }

  size_t pending() const override {
    std::lock_guard<std::mutex> lock(streamMutex_);
    return stream_.size() - read_;
  }

  void stop() override {
    std::lock_guard<std::mutex> lock(streamMutex_);
    stream_.clear();
    read_ = 0;
    blocks_.clear();
  }

  int playedDescriptor() const override { return played_; }

  void takePlayed() override {
    uint64_t count = 0;
    if (played_ >= 0) (void)!::read(played_, &count, sizeof count);
  }

  // The stream ends; the device is kept for the next sound (a device that
  // could not be opened is tried again then).
  void close() override {
    stop();
    silent_ = false;
  }

  void toneStart(const qr::PcmFormat& format, const uint8_t* data, size_t length) override {
    toneStop();
    if (length == 0) return;
    {
      std::lock_guard<std::mutex> lock(toneMutex_);
      tone_.assign(data, data + length);
      tonePosition_ = 0;
    }
    SDL_AudioSpec want = specOf(format);
    want.callback = &SdlAudio::fillTone;
    want.userdata = this;
    toneDevice_ = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (toneDevice_ == 0) {
      complain();
      return;
    }
    SDL_PauseAudioDevice(toneDevice_, 0);
  }

  void toneStop() override {
    if (toneDevice_) SDL_CloseAudioDevice(toneDevice_);
    toneDevice_ = 0;
  }

 private:
  void release() {
    if (device_) SDL_CloseAudioDevice(device_);
    device_ = 0;
    stop();
  }

  // Runs on SDL's audio thread: the queued bytes in order, silence after
  // them; news on the eventfd when a block was played to its end.
  static void fillStream(void* self, Uint8* out, int length) {
    auto* audio = static_cast<SdlAudio*>(self);
    bool played = false;
    {
      std::lock_guard<std::mutex> lock(audio->streamMutex_);
      const size_t want = static_cast<size_t>(length);
      const size_t n = std::min(want, audio->stream_.size() - audio->read_);
      if (n > 0) std::memcpy(out, audio->stream_.data() + audio->read_, n);
      std::memset(out + n, audio->silence_, want - n);
      audio->read_ += n;
      size_t left = n;
      auto& blocks = audio->blocks_;
      while (left > 0 && !blocks.empty()) {
        const size_t take = std::min(left, blocks.front());
        blocks.front() -= take;
        left -= take;
        if (blocks.front() == 0) {
          blocks.pop_front();
          played = true;
        }
      }
    }
    if (played && audio->played_ >= 0) {
      const uint64_t one = 1;
      (void)!::write(audio->played_, &one, sizeof one);
    }
  }

  // Runs on SDL's audio thread.
  static void fillTone(void* self, Uint8* stream, int length) {
    auto* audio = static_cast<SdlAudio*>(self);
    std::lock_guard<std::mutex> lock(audio->toneMutex_);
    const auto& tone = audio->tone_;
    for (int i = 0; i < length; ++i) {
      stream[i] = tone[audio->tonePosition_];
      audio->tonePosition_ = (audio->tonePosition_ + 1) % tone.size();
    }
  }

  void complain() {
    if (complained_) return;
    complained_ = true;
    std::cerr << "naviro: the sound device cannot be opened (" << SDL_GetError()
              << "); going on without sound\n";
  }

  SDL_AudioDeviceID device_ = 0;
  SDL_AudioDeviceID toneDevice_ = 0;
  qr::PcmFormat format_;
  bool silent_ = false;
  bool complained_ = false;
  int played_ = -1;  // the eventfd of played blocks
  uint8_t silence_ = 0x80;
  mutable std::mutex streamMutex_;
  std::vector<uint8_t> stream_;  // queued bytes; those before read_ are played
  size_t read_ = 0;
  std::deque<size_t> blocks_;  // bytes still to play of each queued block
  std::mutex toneMutex_;
  std::vector<uint8_t> tone_;
  size_t tonePosition_ = 0;
};

}  // namespace

std::unique_ptr<qr::AudioOutput> makeSdlAudio(std::string& error) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    error = std::string("no sound device (") + SDL_GetError() + ")";
    return nullptr;
  }
  // Try the device once now, so a machine without one falls back at start-up.
  SDL_AudioSpec want = specOf(qr::PcmFormat{});
  const SDL_AudioDeviceID probe = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
  if (probe == 0) {
    error = std::string("no sound device (") + SDL_GetError() + ")";
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return nullptr;
  }
  SDL_CloseAudioDevice(probe);
  return std::make_unique<SdlAudio>();
}

}  // namespace platform
