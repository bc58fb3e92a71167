// ftpTree: whole folders. R on a directory of the browser receives the
// whole tree into a local folder of the same name; T with a local directory
// sends the whole tree, making the remote directories.
//
// First the tree is counted and the user hears what will move ("Pasta
// fotos: 312 arquivos, 48 megabaites. Continuar?"); a tree that takes longer
// than two seconds to count is said as counted so far and counted on while
// its files move. Each file is one transfer of the single-file kind: the
// data moved by the pump, judged by the judge, a receive written into a
// .part put in place only when the judge calls it complete. Any key says
// "Arquivo 45 de 312, 12 megabaites de 48" while the data goes on; ESC asks
// "Parar a pasta inteira?"; the milestones count the whole tree. One outcome
// ends it, with the failures (name and reason) in a list walked with the
// arrows, where R tries a file again.
//
// Safety. Every name of a listing passes SafeComponent (no "/", no "." or
// "..", no control character): the tree never leaves the chosen folder on
// either side. Symbolic links are not followed on either side: a listed
// link is left out and said so, and the local folders are opened one
// component at a time without following links. An existing local file is
// replaced only when the user says so, once or for all.
//
// The remote computer is reached only through its interface, whichever
// protocol speaks: the tree walked with listDirectory, the directories made
// with makeDirectory, the files moved with receive and send, or side by
// side by the parallel mover the computer offers (none: one at a time over
// the one connection). The same sentences, checks and judge either way.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/ftpDlg.h"
#include "ftp/ftpJudge.h"
#include "ftp/ftpPump.h"
#include "ftp/ftpRemote.h"

namespace ftp {

struct ClientState;
class Tela;
class Messages;
struct ListingEntry;

// A name that may be one component of a path on both sides: not empty,
// not "." or "..", no "/" and no control character.
[[nodiscard]] bool SafeComponent(std::string_view bytes);

// One entry of a listed directory, as the walk takes it.
struct TreeChild {
  RemoteName name;  // as heard, and the bytes of the server or the disk
  bool directory = false;
  bool link = false;   // a symbolic link (or anything not a file or directory)
  int64_t size = -1;   // -1: not told
  bool sizeExact = true;  // false: read from a line written for the eye
};

// A listing entry of either format as a child of the walk.
[[nodiscard]] TreeChild ChildOfEntry(const ListingEntry& entry);
// An entry of the remote computer interface as a child of the walk.
[[nodiscard]] TreeChild ChildOfRemote(const RemoteEntry& entry);

struct TreeFile {
  RemoteName rel;    // the path below the tree's root, "/"-joined
  int64_t size = -1;
  bool sizeExact = true;  // a size fit to judge the transfer by
};

struct TreeDirectory {
  RemoteName rel;  // "" for the root
};

// Something left out or that failed, with its reason (Windows-1252).
struct TreeProblem {
  std::string name;    // the path below the root, as heard
  std::string reason;
  long file = -1;      // the file's index when it may be tried again
  long directory = -1;  // a directory's index when it may be listed again
};

// The walk over a tree: directories still to list, the files found, in the
// order found, and what was left out. Nothing here touches a server or a
// disk: the caller lists each directory the walk gives and hands the
// entries back.
class TreeWalk {
 public:
  TreeWalk();

  [[nodiscard]] bool pending() const { return next_ < dirs_.size(); }
  // The next directory to list; pending() must be true.
  [[nodiscard]] const TreeDirectory& nextDirectory();
  // The entries of a directory given by nextDirectory.
  void add(const TreeDirectory& dir, const std::vector<TreeChild>& children);
  // relist: the directory could not be listed, and may be listed again.
  void failed(const TreeDirectory& dir, const std::string& reason, bool relist = false);

  [[nodiscard]] const std::vector<TreeFile>& files() const { return files_; }
  [[nodiscard]] const std::vector<TreeDirectory>& directories() const { return dirs_; }
  [[nodiscard]] const std::vector<TreeProblem>& leftOut() const { return leftOut_; }
  [[nodiscard]] int64_t bytes() const { return bytes_; }

 private:
  std::vector<TreeDirectory> dirs_;
  size_t next_ = 0;
  std::vector<TreeFile> files_;
  std::vector<TreeProblem> leftOut_;
  int64_t bytes_ = 0;
};

// "a/b" joined, either side empty.
[[nodiscard]] std::string JoinPath(std::string_view dir, std::string_view name);

// The sentences of a folder, Windows-1252.
// "Pasta fotos: 312 arquivos, 48 megabaites. Continuar?"; counting not done:
// "Pasta fotos: até agora 312 arquivos, 48 megabaites, ainda contando.
// Continuar?"
[[nodiscard]] std::string TreeQuestion(std::string_view name, size_t files, int64_t bytes,
                                       bool counted);
// "Arquivo 45 de 312, 12 megabaites de 48"; the total's unit is said only
// when it is not the unit of what moved.
[[nodiscard]] std::string TreeProgressText(size_t file, size_t files, int64_t done,
                                           int64_t total);
// "Pasta recebida: 312 arquivos, 48 megabaites em 9 segundos".
[[nodiscard]] std::string TreeDoneText(bool upload, size_t files, int64_t bytes,
                                       std::chrono::milliseconds took);
// "310 de 312 recebidos; 2 falharam".
[[nodiscard]] std::string TreeFailedText(bool upload, size_t moved, size_t files, size_t failed);
// "1 item deixado de lado" / "3 itens deixados de lado".
[[nodiscard]] std::string TreeLeftOutText(size_t count);
// The same sentences for marked entries: "Marcados: 12 arquivos, 4
// megabaites. Continuar?", "Marcados recebidos: 12 arquivos, ...".
[[nodiscard]] std::string MarkedQuestion(size_t files, int64_t bytes, bool counted,
                                         std::string_view label = "Marcados");
[[nodiscard]] std::string MarkedDoneText(bool upload, size_t files, int64_t bytes,
                                         std::chrono::milliseconds took,
                                         std::string_view label = "Marcados");
// Whether a "*" / "?" pattern matches a name, letters without regard to
// case; a pattern ending in ".*" also takes a name without extension.
[[nodiscard]] bool PatternMatches(std::string_view pattern, std::string_view name);
// The reasons a name is left out, and other texts of the folder.
[[nodiscard]] std::string TreeText(std::string_view key);

// What is done with a local file that exists already.
enum class ReplaceAll { Ask, Yes, No };

class Tree {
 public:
  // remote: the computer the session reaches first (and again after
  // useRemote(nullptr)).
  Tree(ClientState& state, Tela& ui, Messages& msg, RemoteFiles& remote);

  // Another computer while remote is set (a session of another protocol);
  // nullptr: the first one again.
  void useRemote(RemoteFiles* remote) { remote_ = remote ? remote : &first_; }

  // The directory of the current remote directory, into a local folder of
  // its name in the working directory.
  void ReceiveFolder(const RemoteName& dir);
  // A local directory (Windows-1252 path) into a remote directory of its
  // name in the current remote directory.
  void SendFolder(const std::string& local);
  // Entries marked in the browser, directories whole, into the working
  // directory, as one queue with one outcome.
  void ReceiveMarked(const std::vector<const ListingEntry*>& marked);
  // Every regular file that a "*" or "?" pattern (Windows-1252, letters
  // without regard to case) matches, into the current remote directory.
  void SendMatching(const std::string& pattern);
  // The entries marked in the local picker (Windows-1252 paths of one
  // directory), directories whole, into the current remote directory.
  void SendMarked(const std::vector<std::string>& paths);

 private:
  struct Run;
  // Sends the entries of a local directory that `wanted` takes (by their
  // file-system name and what lstat says) as one queue named `label`.
  void sendSet(const std::string& dir, const std::string& label,
               const std::function<bool(const std::string&, const struct stat&)>& wanted);
  enum class FileEnd { Moved, Failed, Skipped, Stop };
  [[nodiscard]] bool listRemote(Run& run, const TreeDirectory& dir,
                                std::vector<TreeChild>& children, std::string& reason);
  [[nodiscard]] bool readLocal(Run& run, const TreeDirectory& dir,
                               std::vector<TreeChild>& children, std::string& reason);
  void listLocal(Run& run, const TreeDirectory& dir);
  // A directory that could not be listed, listed again from the failures'
  // list: its files (and those below it) move, and their failures join the
  // list.
  void retryDirectory(Run& run, TreeProblem& problem, std::vector<TreeProblem>& items);
  // Lists the next directory of the walk.
  void countOne(Run& run);
  // Walks until nothing is pending, or until the deadline.
  void count(Run& run, std::chrono::steady_clock::time_point until);
  [[nodiscard]] bool makeRemoteDirectory(Run& run, const TreeDirectory& dir);
  // A file's local side while it moves: a receive's directory, its .part
  // and name; an upload's file and size.
  struct Local;
  // How a file's data ended, for the judge and the reason.
  struct Ending;
  // Opens a file's local side (nothing when it may move; how the file
  // ends when it may not).
  [[nodiscard]] std::optional<FileEnd> openLocal(Run& run, size_t index, Local& local,
                                                 std::string& reason);
  // Judges a file whose data ended, puts a whole receive in place and
  // removes an empty .part.
  [[nodiscard]] FileEnd finishLocal(Run& run, Local& local, const Ending& e, std::string& reason);
  // The size a file's data is judged against: an upload's own, else the
  // one the server told, else the listing's when it is exact.
  [[nodiscard]] std::optional<int64_t> expectedSize(const Run& run, const Local& local,
                                                    size_t index,
                                                    std::optional<int64_t> told) const;
  // The next file to move: one given back first, then those of the walk,
  // counted on and their directories made as they are needed.
  [[nodiscard]] std::optional<size_t> nextFile(Run& run);
  void makeDirectories(Run& run);
  void startMilestones(Run& run);
  // Counts a file's end.
  void settle(Run& run, size_t index, FileEnd end, const std::string& reason, int64_t moved);
  // Moves files over further connections beside this one while they last.
  struct Feed;
  void moveSideBySide(Run& run);
  // Whether the connection to the computer is gone (and that was said).
  [[nodiscard]] bool gone() const;
  // One file moved over the one connection.
  class Watch;
  [[nodiscard]] FileEnd moveOne(Run& run, size_t index, std::string& reason);
  [[nodiscard]] RemoteName remotePath(const Run& run, const RemoteName& rel) const;
  [[nodiscard]] size_t connectionsWanted(const Run& run);
  void heading(const std::string& text);  // the command's name, written on its colour and said
  void moveAndTell(Run& run);             // every file, the outcome and the failures' list
  void moveAll(Run& run);
  void sayOutcome(Run& run);
  void walkFailures(Run& run);
  void sayProgress(const Run& run);
  // While data moves: the caption and the milestones, told what the whole
  // folder has moved; a key says where it is, ESC asks (true: stop).
  void tellMoved(Run& run, CaptionThrottle& caption, int64_t done);
  [[nodiscard]] bool keyWhileMoving(Run& run, uint8_t key);
  [[nodiscard]] bool askStop();
  [[nodiscard]] bool askReplace(Run& run, const std::string& shown);

  ClientState& st_;
  Tela& ui_;
  Messages& msg_;
  RemoteFiles& first_;
  RemoteFiles* remote_;
};

}  // namespace ftp
