// ftpPool: further connections that move a folder's files side by side.
// Each logs in as the main connection did (the same host, account and
// password; AUTH TLS, PBSZ 0 and PROT P when the main connection has them,
// its certificate the very one accepted for the main connection) and takes
// files from its user, one at a time, until none is left: EPSV (PASV when
// the server does not know it), the data connection, RETR or STOR, the data,
// the final reply. TYPE I is sent once per connection.
//
// Every connection is driven from one wait, with the keys: nothing here
// blocks. A connection the server refuses (421, 530, too many connections)
// or loses is left out and logged; its user hears nothing of it, and a file
// it was moving comes back as lost, to be moved again elsewhere. Every reply
// and every data connection has the reply deadline: a server silent on a
// connection for that long has lost it.
//
// The pool judges nothing: it tells how each file's data ended and what the
// server said, as the single-file pump does, and its user judges.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ftp/ftpDlg.h"
#include "ftp/ftpJudge.h"
#include "ftp/ftpRemote.h"

namespace ftp {

struct ClientState;
class Tela;
class Rede;

// One file handed to a connection.
struct PoolTask {
  size_t index = 0;     // the user's own number for it
  bool upload = false;
  std::string path;     // the remote path, the bytes sent
  int fd = -1;          // the local file: read (upload) or written; the user's to close
};

// How a file handed to a connection ended.
struct PoolEnd {
  bool began = false;     // the server took the command (1xx) or data flowed
  DataEnd data = DataEnd::Ended;
  std::string started;    // the 1xx reply's line
  Reply final;            // the final reply, when it came
  int64_t have = 0;       // bytes moved
  int localError = 0;     // the errno of the local file's read or write
  bool noDataPath = false;  // EPSV/PASV refused or its port never answered
};

// What the pool asks of its user, all from the one wait.
class PoolUser {
 public:
  virtual ~PoolUser() = default;
  // The next file to move, nullopt when there is none now.
  [[nodiscard]] virtual std::optional<PoolTask> next() = 0;
  virtual void ended(const PoolTask& task, const PoolEnd& end) = 0;
  // Bytes of the files moving now, after every turn of the wait.
  virtual void progress(int64_t moving) = 0;
  // A key the user typed (read already); true: stop every file.
  [[nodiscard]] virtual bool key(uint8_t key) = 0;
};

// The connection limit of a CONEXOES value: 1 to 8, 4 when it is not a
// number.
[[nodiscard]] int ConnectionsSetting(const std::string& value);

class Pool {
 public:
  // silenceMs: the reply deadline (an inactivity timeout).
  Pool(ClientState& state, Tela& ui, Rede& rede, int silenceMs);
  ~Pool();
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  // Begins `count` connections; they log in while run() moves files.
  void open(size_t count);

  enum class End {
    Done,          // nothing more to move
    Stopped,       // the user stopped it; every file moving ended Aborted
    NoConnection,  // no connection is left (none logged in, or all lost)
  };
  [[nodiscard]] End run(PoolUser& user);
  // Connections logged in and not lost.
  [[nodiscard]] size_t live() const;

 private:
  struct Worker;
  void drive(Worker& w, bool controlReady, bool dataReady);
  void onReply(Worker& w, const Reply& r);
  void send(Worker& w, const std::string& command);
  void flush(Worker& w);
  void readControl(Worker& w);
  void startData(Worker& w, uint16_t port);
  // The data path could not be had: the file ends, once its command (sent
  // already) is answered.
  void noDataPath(Worker& w);
  [[nodiscard]] static std::string command(const Worker& w);
  void moveData(Worker& w);
  // A plain receive's turn through a pipe; false: splicing cannot be had
  // here, and the bytes go through this process.
  [[nodiscard]] bool receiveSpliced(Worker& w);
  void endFile(Worker& w, DataEnd how);
  void closeData(Worker& w, bool reset);
  void lose(Worker& w, const std::string& why);
  [[nodiscard]] bool startTls(Worker& w);
  void afterSecure(Worker& w);

  ClientState& st_;
  Tela& ui_;
  Rede& rede_;
  int silenceMs_;
  std::vector<std::unique_ptr<Worker>> workers_;
  PoolUser* user_ = nullptr;
  std::string fingerprint_;  // the main connection's certificate, under TLS
};

// The pool as the remote computer interface offers it: files named
// relative to the main connection's current directory (base, its absolute
// path), each file's end told as the judge's facts. While the further
// connections move, the main one is kept from its server's idle timeout
// with NOOP, its replies taken when they are done.
class PoolMover : public ParallelMover {
 public:
  PoolMover(ClientState& state, Tela& ui, Dlg& dlg, Rede& rede, std::string base,
            size_t connections);
  [[nodiscard]] End run(ParallelUser& user) override;

 private:
  struct Feed;
  ClientState& st_;
  Tela& ui_;
  Dlg& dlg_;
  Rede& rede_;
  std::string base_;
  size_t connections_;
};

}  // namespace ftp
