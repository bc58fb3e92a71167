// sftpFiles: the remote computer over SFTP, as the commands see it
// (ftp::RemoteFiles). The connection (ftpRede's socket, then the SSH
// session and its host key), the login (the account typed in
// "sftp://ana@HOST" the first time, else asked), and a current directory
// kept here, since SFTP has none: every name is taken under it, and a
// change of directory is checked (it must resolve to a directory) before
// it is made. A connection that breaks is said once, and the run ends as
// it does when an FTP server goes away.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ftp/ftpRemote.h"

namespace ftp {
struct ClientState;
class Tela;
class Messages;
class Rede;
}  // namespace ftp

namespace sftp {

class Ssh;
class Dlg;
struct Result;

// A modification time of the protocol (seconds since 1970, UTC) as FTP's
// MDTM gives it, "YYYYMMDDHHMMSS": the form a .part records.
[[nodiscard]] std::string TimeText(uint32_t seconds);

class SftpFiles : public ftp::RemoteFiles {
 public:
  // openSocket: opens rede's connection to the computer and tells how it
  // went (the program body's, shared with FTP).
  SftpFiles(ftp::ClientState& state, ftp::Tela& ui, ftp::Messages& msg, ftp::Rede& rede,
            std::function<bool()> openSocket, int deadlineMs);
  ~SftpFiles() override;
  SftpFiles(const SftpFiles&) = delete;
  SftpFiles& operator=(const SftpFiles&) = delete;

  [[nodiscard]] bool Connect() override;
  [[nodiscard]] bool Login() override;
  void Quit() override;
  [[nodiscard]] bool connected() const override;

  [[nodiscard]] ftp::RemoteResult currentDirectory(std::string& path) override;
  [[nodiscard]] ftp::RemoteResult changeDirectory(const ftp::RemoteName& dir) override;
  [[nodiscard]] ftp::RemoteResult changeToParent() override;
  [[nodiscard]] ftp::RemoteResult makeDirectory(const ftp::RemoteName& dir) override;
  [[nodiscard]] ftp::RemoteResult removeDirectory(const ftp::RemoteName& dir) override;
  [[nodiscard]] ftp::RemoteResult removeFile(const ftp::RemoteName& file) override;
  [[nodiscard]] ftp::RemoteResult rename(const ftp::RemoteName& from,
                                         const ftp::RemoteName& to) override;
  [[nodiscard]] ftp::RemoteResult stat(const ftp::RemoteName& name,
                                       ftp::RemoteEntry& entry) override;
  [[nodiscard]] ftp::RemoteResult list(std::vector<ftp::RemoteEntry>& entries) override;
  [[nodiscard]] ftp::RemoteResult listDirectory(const ftp::RemoteName& dir,
                                                std::vector<ftp::RemoteEntry>& entries) override;
  [[nodiscard]] ftp::RemoteResult receive(const ftp::RemoteName& file, int fd, int64_t offset,
                                          ftp::TransferWatch& watch,
                                          ftp::TransferTally& facts) override;
  [[nodiscard]] ftp::RemoteResult send(int fd, int64_t offset, const ftp::RemoteName& file,
                                       ftp::TransferWatch& watch,
                                       ftp::TransferTally& facts) override;

 private:
  // The server's path of a name: under the current directory unless
  // absolute.
  [[nodiscard]] std::string pathOf(const ftp::RemoteName& name) const;
  // The result as the commands take it; a broken connection is said and
  // ends the session.
  [[nodiscard]] ftp::RemoteResult judged(const Result& r);
  [[nodiscard]] bool ready(ftp::RemoteResult& refusal) const;
  [[nodiscard]] ftp::RemoteResult listPath(const std::string& path,
                                           std::vector<ftp::RemoteEntry>& entries);
  void lose(const std::string& why);

  ftp::ClientState& st_;
  ftp::Tela& ui_;
  ftp::Messages& msg_;
  ftp::Rede& rede_;
  std::function<bool()> openSocket_;
  int deadlineMs_;
  std::unique_ptr<Ssh> ssh_;
  std::unique_ptr<Dlg> dlg_;
  std::string cwd_;  // the server's bytes
  bool loggedIn_ = false;
  bool firstLogin_ = true;
};

}  // namespace sftp
