// The eSpeak NG voice. The library synthesises in synchronous mode on a
// thread of this voice, handing 20 ms blocks of 16-bit samples to a
// callback; the blocks wait in a small buffer until pump(), on the program's
// thread, queues them on the audio output, so the sound goes wherever the
// recorded speech goes (SDL, null, file) and stops the same way.
//
// The synthesis runs at most about a second ahead of the device, so a long
// text costs little memory. stop() starts a new generation: the callback
// of an older one answers "abort", and its samples are never queued. The
// thread wakes the program's wait through an event descriptor.
//
// Only the voice's thread calls the library while the voice lives; start
// calls it before the thread starts.
#include <espeak-ng/speak_lib.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/cp1252.h"
#include "platform/audioBackends.h"
#include "platform/voices.h"
#include "speech/speechLevel.h"

namespace platform {
namespace {

constexpr int kBlockMs = 20;
// How far synthesis may run ahead of the device (samples waiting here), and
// how much sound the device is given ahead of what it plays.
constexpr size_t kAheadMs = 1000;
constexpr size_t kDeviceAheadMs = 500;
constexpr int kRefillMs = 50;

// The library is one per process: one voice (or one listing) at a time.
std::atomic<bool>& libraryInUse() {
  static std::atomic<bool> inUse{false};
  return inUse;
}

class EspeakVoice;
// The voice whose thread is in espeak_Synth (the callback has no pointer
// of ours).
thread_local EspeakVoice* tSynthesising = nullptr;

int synthCallback(short* wav, int count, espeak_EVENT* /*events*/);
void release();

std::vector<speech::VoiceEntry> listVoices() {
  std::vector<speech::VoiceEntry> out;
  const espeak_VOICE** voices = espeak_ListVoices(nullptr);
  for (size_t i = 0; voices && voices[i]; ++i) {
    const espeak_VOICE* v = voices[i];
    if (!v->identifier || std::strncmp(v->identifier, "mb/", 3) == 0) continue;
    // languages: a priority byte, a name, a zero, ...; the first is the main one.
    const char* language = v->languages && v->languages[0] ? v->languages + 1 : "";
    out.push_back({v->name ? v->name : v->identifier, language, v->identifier});
  }
  return speech::orderVoices(std::move(out));
}

class EspeakVoice final : public speech::Voice {
 public:
  EspeakVoice(qr::AudioOutput& audio, std::unique_ptr<qr::AudioOutput> ownAudio, uint32_t rate,
              int eventFd)
      : audio_(ownAudio ? *ownAudio : audio),
        ownAudio_(std::move(ownAudio)),
        rate_(rate),
        eventFd_(eventFd),
        aheadSamples_(rate * kAheadMs / 1000),
        deviceAheadBytes_(rate * sizeof(int16_t) * kDeviceAheadMs / 1000),
        worker_([this] { run(); }) {}

  ~EspeakVoice() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    wakeWorker_.notify_all();
    worker_.join();
    release();
    if (deviceOpen_) {
      audio_.stop();
      audio_.close();
    }
    close(eventFd_);
  }

  bool speak(std::string_view text) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (std::string_view part : speech::voiceTextParts(text))
        jobs_.push_back({qr::toUtf8(part), generation_});
    }
    wakeWorker_.notify_all();
    return true;
  }

  bool busy(bool strict) override {
    pump();
    bool working = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      working = !jobs_.empty() || running_ == generation_ || !ready_.empty();
    }
    if (working) return true;
    if (deviceOpen_ && audio_.pending() > 0) return !strict;
    if (deviceOpen_) {
      audio_.close();
      deviceOpen_ = false;
    }
    return false;
  }

  void stop() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++generation_;
      jobs_.clear();
      ready_.clear();
    }
    wakeWorker_.notify_all();
    if (deviceOpen_) {
      audio_.stop();
      audio_.close();
      deviceOpen_ = false;
    }
  }

  void pump() override {
    uint64_t count = 0;
    while (read(eventFd_, &count, sizeof count) > 0) {
    }
    if (deviceOpen_ && audio_.pending() >= deviceAheadBytes_) return;
    std::vector<int16_t> samples;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      samples.assign(ready_.begin(), ready_.end());
      ready_.clear();
    }
    if (samples.empty()) return;
    wakeWorker_.notify_all();
    if (!deviceOpen_) {
      if (audio_.open(qr::PcmFormat{rate_, 16, 1}) != 0) return;
      deviceOpen_ = true;
    }
    (void)audio_.queue(reinterpret_cast<const uint8_t*>(samples.data()),
                       samples.size() * sizeof(int16_t));
  }

  int eventDescriptor() const override { return eventFd_; }

  // Samples held back while the device has enough ahead: they go once it
  // has played some of it (the thread sends no news while it waits).
  // Once all is handed over, the device's tail ends the speech.
  qr::Deadline nextPump() const override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!ready_.empty()) return qr::deadlineIn(kRefillMs);
    }
    const size_t pending = deviceOpen_ ? audio_.pending() : 0;
    if (pending == 0) return qr::kNoDeadline;
    return qr::Clock::now() +
           std::chrono::microseconds(pending * 1000000 / (rate_ * sizeof(int16_t)) + 1000);
  }

  // On the voice's thread, from the library: 0 go on, 1 abort.
  int onSamples(const short* wav, int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    wakeWorker_.wait(
        lock, [&] { return quit_ || running_ != generation_ || ready_.size() < aheadSamples_; });
    if (quit_ || running_ != generation_) return 1;
    if (wav && count > 0) {
      ready_.insert(ready_.end(), wav, wav + count);
      wake();
    }
    return 0;
  }

 private:
  struct Job {
    std::string utf8;
    uint64_t generation = 0;
  };

  void wake() {
    const uint64_t one = 1;
    (void)!write(eventFd_, &one, sizeof one);
  }

  void run() {
    tSynthesising = this;
    for (;;) {
      Job job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wakeWorker_.wait(lock, [&] { return quit_ || !jobs_.empty(); });
        if (quit_) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
        running_ = job.generation;
      }
      (void)espeak_Synth(job.utf8.c_str(), job.utf8.size() + 1, 0, POS_CHARACTER, 0,
                         espeakCHARS_UTF8, nullptr, nullptr);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = 0;
      }
      wake();
    }
  }

  qr::AudioOutput& audio_;
  std::unique_ptr<qr::AudioOutput> ownAudio_;
  const uint32_t rate_;
  const int eventFd_;
  const size_t aheadSamples_;
  const size_t deviceAheadBytes_;
  bool deviceOpen_ = false;  // the program's thread only

  mutable std::mutex mutex_;
  // A job, room in the buffer, a new generation or the end.
  std::condition_variable wakeWorker_;
  std::deque<Job> jobs_;
  std::vector<int16_t> ready_;
  uint64_t generation_ = 1;
  uint64_t running_ = 0;  // generation of the text in synthesis, 0 none
  bool quit_ = false;
  std::thread worker_;  // last: starts once everything above is made
};

int synthCallback(short* wav, int count, espeak_EVENT* /*events*/) {
  return tSynthesising ? tSynthesising->onSamples(wav, count) : 1;
}

// Takes the library for this process's one user; the sample rate, or 0
// when it has no data or is in use. The library is initialised once and
// never terminated: a second initialisation after a termination leaves its
// internal thread waiting for ever at the next termination.
int initialise() {
  static const int rate =
      espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, kBlockMs, nullptr, espeakINITIALIZE_DONT_EXIT);
  bool expected = false;
  if (rate <= 0 || !libraryInUse().compare_exchange_strong(expected, true)) return 0;
  return rate;
}

void release() {
  libraryInUse() = false;
}

}  // namespace

std::unique_ptr<speech::Voice> startEspeakVoice(const speech::VoiceRequest& request,
                                                qr::AudioOutput& audio) {
  const int rate = initialise();
  if (rate == 0) return nullptr;
  const std::vector<speech::VoiceEntry> voices = listVoices();
  const size_t number = request.voice <= 0 ? 1 : static_cast<size_t>(request.voice);
  if (number > voices.size() ||
      espeak_SetVoiceByName(voices[number - 1].identifier.c_str()) != EE_OK) {
    release();
    return nullptr;
  }
  espeak_SetSynthCallback(synthCallback);
  // As loud as the program's other voices.
  (void)espeak_SetParameter(espeakVOLUME, speech::kEspeakVolume, 0);
  if (const int wpm = speech::espeakRate(request.speed); wpm > 0)
    (void)espeak_SetParameter(espeakRATE, wpm, 0);
  if (const int pitch = speech::espeakPitch(request.pitch); pitch >= 0)
    (void)espeak_SetParameter(espeakPITCH, pitch, 0);

  std::unique_ptr<qr::AudioOutput> ownAudio;
  if (!request.outputFile.empty()) {
    std::string error;
    ownAudio = makeFileAudio(request.outputFile, error);
    if (!ownAudio) {
      release();
      return nullptr;
    }
  }
  const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) {
    release();
    return nullptr;
  }
  return std::make_unique<EspeakVoice>(audio, std::move(ownAudio), static_cast<uint32_t>(rate), fd);
}

std::optional<std::vector<speech::VoiceEntry>> espeakVoices() {
  if (initialise() == 0) return std::nullopt;
  std::vector<speech::VoiceEntry> voices = listVoices();
  release();
  return voices;
}

}  // namespace platform
