// ftpRede: the client's sockets. The control connection, one data
// connection at a time (passive: we connect; active: we listen and accept),
// the block pump between the data connection and the local transfer file,
// and the polls. IPv4 TCP, blocking sockets; only the polls and the waits
// look at readiness. Waits also watch the keyboard so ESC can interrupt them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace ftp {

struct ClientState;
class Tela;
class Messages;
class Dlg;

enum PollResult : int { kNone = -1, REDE = 1, PEDCONEXAO = 2, CANALARQ = 3 };

enum class WaitResult { Ready, Escape, NoSocket, TimedOut };

inline constexpr size_t kDataBlock = 8192;

// Kilobytes as the user hears them: (bytes + 1023) / 1024.
[[nodiscard]] constexpr int64_t KilobytesRoundedUp(int64_t bytes) {
  return bytes <= 0 ? 0 : (bytes + 1023) / 1024;
}

class Rede {
 public:
  Rede(ClientState& state, Tela& ui, Messages& msg);
  ~Rede();
  Rede(const Rede&) = delete;
  Rede& operator=(const Rede&) = delete;

  void attach(Dlg& dlg) { dlg_ = &dlg; }

  [[nodiscard]] bool OpenControlConnection();
  void CloseConnections();
  [[nodiscard]] bool OpenDataConnection();
  void CloseDataConnection();
  void AcceptDataConnection();
  void ReceiveDataBlock();
  void SendDataBlock();
  void AnnounceTransferred();
  [[nodiscard]] int PollEvent();
  [[nodiscard]] bool PollAndServe(int& event);

  // The local transfer file: handed over by the transfer or listing
  // command, closed here when the data connection ends.
  void setTransferFile(std::FILE* file);
  [[nodiscard]] std::FILE* transferFile() const { return file_; }

  // Control connection, for ftpDlg.
  [[nodiscard]] bool controlOpen() const { return control_ >= 0; }
  [[nodiscard]] long receiveControl(char* buffer, size_t capacity);
  [[nodiscard]] bool sendControl(std::string_view bytes);
  // Waits until the control connection is readable; ESC interrupts.
  [[nodiscard]] WaitResult waitForControl();
  // The idle wait: a reply, a data connection or data, or a key; at most ms.
  void waitIdle(int milliseconds);

  [[nodiscard]] uint32_t localAddress() const { return localAddress_; }  // network order
  [[nodiscard]] uint32_t serverAddress() const { return serverAddress_; }

 private:
  [[nodiscard]] bool connectInterruptible(int fd, uint32_t address, uint16_t port);
  void failConnect();
  void closeTransferFile();

  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  Dlg* dlg_ = nullptr;
  int control_ = -1;
  int listen_ = -1;
  int data_ = -1;
  uint32_t serverAddress_ = 0;
  uint32_t localAddress_ = 0;
  std::FILE* file_ = nullptr;
  // While blocks arrive full, the next passes read at once instead of
  // polling first: a poll per block would cost a system call per 8 KiB.
  // Every kPollEvery-th pass still polls, so control replies and incoming
  // connections are seen.
  static constexpr int kPollEvery = 32;
  int streamingPasses_ = 0;
  bool dataFlowing_ = false;
};

// Dotted form of an IPv4 address in network order.
[[nodiscard]] std::string DottedAddress(uint32_t networkOrder);

}  // namespace ftp
