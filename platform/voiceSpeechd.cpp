// The Speech Dispatcher voice: one connection per voice (kinds 5 and 54 are
// two separate instances), texts handed to the daemon, which speaks them.
// The voice is busy while a text it handed over has had neither its end nor
// its cancel notification.
//
// The library calls the notification callbacks on a thread of its own. They
// only note the message and the event under a mutex and wake the program's
// wait through the voice's event descriptor; pump(), on the program's
// thread, applies them. A message is added to the busy set on the
// program's thread right after it was handed over, before any pump(), so
// an early end notification cannot be lost.
#include <libspeechd.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/cp1252.h"
#include "platform/voices.h"

namespace platform {
namespace {

class SpeechdVoice;

// The callbacks carry the client id of the connection and nothing of ours:
// this table finds the voice. Its mutex also guards each voice's notices.
struct Registry {
  std::mutex mutex;
  std::map<size_t, SpeechdVoice*> voices;
};
Registry& registry() {
  static Registry r;
  return r;
}

void onNotification(size_t message, size_t client, SPDNotificationType type);

SPDConnection* connect(const char* name) {
  char* error = nullptr;
  SPDConnection* connection =
      spd_open2("naviro", name, nullptr, SPD_MODE_THREADED, nullptr, 1, &error);
  std::free(error);
  return connection;
}

std::vector<speech::VoiceEntry> listVoices(SPDConnection* connection) {
  std::vector<speech::VoiceEntry> out;
  SPDVoice** voices = spd_list_synthesis_voices(connection);
  for (size_t i = 0; voices && voices[i]; ++i) {
    const SPDVoice* v = voices[i];
    if (!v->name) continue;
    out.push_back({v->name, v->language ? v->language : "", v->name});
  }
  if (voices) free_spd_voices(voices);
  return speech::orderVoices(std::move(out));
}

class SpeechdVoice final : public speech::Voice {
 public:
  SpeechdVoice(SPDConnection* connection, size_t client, int eventFd)
      : connection_(connection), client_(client), eventFd_(eventFd) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.voices[client_] = this;
  }

  ~SpeechdVoice() override {
    {
      Registry& r = registry();
      std::lock_guard<std::mutex> lock(r.mutex);
      r.voices.erase(client_);
    }
    if (!lost_) (void)spd_cancel(connection_);
    spd_close(connection_);
    close(eventFd_);
  }

  bool speak(std::string_view text) override {
    if (lost_) return false;
    const int message = spd_say(connection_, SPD_TEXT, qr::toUtf8(text).c_str());
    if (message < 0) return false;
    outstanding_.insert(static_cast<size_t>(message));
    return true;
  }

  bool busy(bool /*strict*/) override {
    pump();
    if (!outstanding_.empty() && connectionLost()) {
      lost_ = true;
      outstanding_.clear();
    }
    return !outstanding_.empty();
  }

  void stop() override {
    if (!lost_) (void)spd_cancel(connection_);
    outstanding_.clear();
  }

  void pump() override {
    uint64_t count = 0;
    while (read(eventFd_, &count, sizeof count) > 0) {
    }
    std::vector<std::pair<size_t, SPDNotificationType>> notices;
    {
      std::lock_guard<std::mutex> lock(registry().mutex);
      notices.swap(notices_);
    }
    for (const auto& [message, type] : notices) {
      if (type == SPD_EVENT_END || type == SPD_EVENT_CANCEL) outstanding_.erase(message);
    }
  }

  int eventDescriptor() const override { return eventFd_; }

  // On the library's thread, with the registry's mutex held.
  void notice(size_t message, SPDNotificationType type) {
    notices_.emplace_back(message, type);
    const uint64_t one = 1;
    (void)!write(eventFd_, &one, sizeof one);
  }

 private:
  // A daemon that went away sends no end notification: without this check
  // the program would wait for one for ever. The library keeps reading the
  // socket; a poll for no event only asks whether the other end hung up.
  bool connectionLost() const {
    pollfd p{connection_->socket, POLLRDHUP, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLRDHUP | POLLERR | POLLNVAL)) != 0;
  }

  SPDConnection* connection_;
  const size_t client_;
  const int eventFd_;
  std::vector<std::pair<size_t, SPDNotificationType>> notices_;  // registry's mutex
  std::set<size_t> outstanding_;                                 // the program's thread only
  bool lost_ = false;
};

void onNotification(size_t message, size_t client, SPDNotificationType type) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  const auto it = r.voices.find(client);
  if (it != r.voices.end()) it->second->notice(message, type);
}

}  // namespace

std::unique_ptr<speech::Voice> startSpeechdVoice(int kind, const speech::VoiceRequest& request) {
  SPDConnection* connection = connect(kind == 54 ? "voz54" : "voz5");
  if (!connection) return nullptr;
  const int client = spd_get_client_id(connection);
  const int fd = client < 0 ? -1 : eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) {
    spd_close(connection);
    return nullptr;
  }
  // Voice 0 or 1 is the first of the ordered list: the output module's
  // Brazilian Portuguese voice, chosen by language. The daemon takes
  // seconds to send a whole list (every voice with each of its variants),
  // so it is read only when a later voice is asked for.
  int rate = request.voice < 1 ? 0 : request.speed;
  if (request.voice <= 1) {
    (void)spd_set_language(connection, "pt-BR");
  } else {
    const std::vector<speech::VoiceEntry> voices = listVoices(connection);
    if (voices.empty()) {
      close(fd);
      spd_close(connection);
      return nullptr;
    }
    size_t number = static_cast<size_t>(request.voice);
    if (number > voices.size()) {
      number = 1;
      rate = 0;
    }
    (void)spd_set_synthesis_voice(connection, voices[number - 1].identifier.c_str());
  }
  (void)spd_set_voice_rate(connection, speech::speechdRate(rate));

  auto voice = std::make_unique<SpeechdVoice>(connection, static_cast<size_t>(client), fd);
  connection->callback_begin = onNotification;
  connection->callback_end = onNotification;
  connection->callback_cancel = onNotification;
  (void)spd_set_notification_on(connection, SPD_BEGIN);
  (void)spd_set_notification_on(connection, SPD_END);
  (void)spd_set_notification_on(connection, SPD_CANCEL);
  return voice;
}

std::optional<std::vector<speech::VoiceEntry>> speechdVoices() {
  SPDConnection* connection = connect("lista");
  if (!connection) return std::nullopt;
  std::vector<speech::VoiceEntry> voices = listVoices(connection);
  spd_close(connection);
  return voices;
}

}  // namespace platform
