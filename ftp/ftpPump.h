// ftpPump: the one loop that moves a transfer's data, both ways, plain or
// under TLS (the socket layer hides which). It reads the local file and
// sends (an upload) or receives and writes the local file (a receive or a
// listing), accepts the server's data connection in active mode, takes the
// replies that come meanwhile, shows the count in the caption, says the
// milestones, answers every key (ESC stops, any other says the progress,
// without the data waiting while it is said), and watches the deadlines:
// a server silent for the reply deadline is gone, a data connection that
// never comes is told apart from it.
//
// After the data's clean end the pump waits on for the transfer's final
// reply, still answering keys: ESC gives that wait up, and the connection
// stays open for the late reply.
//
// It judges nothing: it reports how the data ended and what the server
// said, for ftpJudge.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "ftp/ftpDlg.h"
#include "ftp/ftpJudge.h"

namespace ftp {

struct ClientState;
class Tela;
class Messages;
class Rede;
class Milestones;

// Refreshes the caption at most every 100 ms; flush() always shows the last
// value.
class CaptionThrottle {
 public:
  CaptionThrottle(Tela& ui, std::string_view remoteName);
  void update(int64_t bytes);
  void flush(int64_t bytes);

 private:
  Tela& ui_;
  std::string remote_;
  std::chrono::steady_clock::time_point last_{};
  int64_t shown_ = -1;
};

// What a transfer says as it goes, whichever protocol moves it: the
// progress asked for with a key ("Transmitidos ..."), and a milestone.
void SayProgress(Tela& ui, Messages& msg, int64_t moved, int64_t offset,
                 std::optional<int64_t> total, std::chrono::milliseconds took);
void SayMilestone(Tela& ui, int percent);

struct PumpJob {
  bool upload = false;
  int fd = -1;                       // the local file: read for an upload, written otherwise
  int64_t offset = 0;                // bytes of the file there before (a resumed transfer)
  std::optional<int64_t> total;      // the whole file's size, when known
  Milestones* milestones = nullptr;  // said as the data comes
  bool awaitFinal = true;            // after the data's end, wait for the final reply
  // A folder's files: a key other than ESC says where the whole folder is,
  // ESC asks whether to stop it (false goes on moving), and the milestones
  // count the time from the folder's start.
  std::function<void()> progress = nullptr;
  std::function<bool()> confirmStop = nullptr;
  std::optional<std::chrono::steady_clock::time_point> since = std::nullopt;
  // Told the count after every pass, in place of the pump's own milestones
  // and keys (it reads them itself); false stops the transfer as ESC does.
  std::function<bool(int64_t moved)> watch = nullptr;
  // Told once, when all the data has moved and the final reply is awaited.
  std::function<void()> dataEnded = nullptr;
};

struct Pumped {
  DataEnd data = DataEnd::Ended;
  Reply final;          // the transfer's own final reply, when it came
  bool gaveUp = false;  // the data had ended; ESC gave up the final reply
  int localError = 0;   // the errno of a local read or write
};

// A reply that ends something: whole, and not preliminary (1xx).
[[nodiscard]] bool IsFinalReply(const Reply& r);

class Pump {
 public:
  Pump(ClientState& state, Tela& ui, Messages& msg, Dlg& dlg, Rede& rede);

  // Moves the data of the transfer whose command was answered 125/150.
  [[nodiscard]] Pumped run(const PumpJob& job);

 private:
  // A key other than ESC: the progress, said while the data goes on.
  void sayProgress(const PumpJob& job, bool dataDone, std::chrono::steady_clock::time_point began);
  void sayMilestone(int percent);

  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  Dlg& dlg_;
  Rede& rede_;
};

}  // namespace ftp
