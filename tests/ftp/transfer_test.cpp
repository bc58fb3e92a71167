// Sending and receiving against the fake server: the bytes that arrive, the
// commands sent, what the user hears, and what is left on the local disk
// after a refusal, an early close, a missing final reply or a full disk.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>

#include "base/cp1252.h"
#include "transferRig.h"

using namespace ftp;
using namespace ftp_test;

namespace {

bool heard(const Rig& r, const std::string& key) {
  const auto a = r.ui.announced();
  return std::find(a.begin(), a.end(), key) != a.end();
}

}  // namespace

TEST(TransferNames, CaptionCountsKilobytesRoundedUpBeyondTwoGigabytes) {
  struct Case {
    int64_t bytes;
    const char* caption;
  } cases[] = {
      {0, "NAVIRO srv 0K"},
      {1, "NAVIRO srv 1K"},
      {1024, "NAVIRO srv 1K"},
      {1025, "NAVIRO srv 2K"},
      {(int64_t{3} << 30) + 1, "NAVIRO srv 3145729K"},
  };
  for (const auto& c : cases) EXPECT_EQ(TransferCaption("srv", c.bytes), c.caption) << c.bytes;
  EXPECT_EQ(IdleCaption("srv"), "NAVIRO srv");
}

TEST(TransferNames, ServerNamesBecomeOnlyTheirLastComponent) {
  struct Case {
    const char* remote;
    const char* local;
  } cases[] = {
      {"leia.txt", "leia.txt"},
      {"../../x", "x"},
      {"/etc/x", "x"},
      {"pub/a b.txt", "a b.txt"},
      {".", ""},
      {"..", ""},
      {"a/..", ""},
      {"dir/", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(SafeLocalName(c.remote), c.local) << c.remote;
  EXPECT_EQ(RemoteNameFromLocal("/home/ana/dados/carta.txt"), "carta.txt");
  EXPECT_EQ(RemoteNameFromLocal("carta.txt"), "carta.txt");
  EXPECT_EQ(SystemReason(ENOSPC), qr::W("não há espaço no disco"));
}

TEST(Receive, BinaryAndTextFilesArriveWholeAndReplaceTheOldCopy) {
  struct Case {
    char typeKey;
    const char* type;
    size_t size;
  } cases[] = {{'s', "TYPE I", 300000}, {'n', "TYPE A", 5000}, {'\r', "TYPE I", 0}};
  for (const auto& c : cases) {
    Rig r;
    const std::string bytes = pattern(c.size);
    r.server.files["dados.bin"] = bytes;
    ASSERT_TRUE(r.connect());
    writeFile(r.path("dados.bin"), "velho");
    r.ui.lines = {"dados.bin", r.path("dados.bin")};
    r.keys(std::string(1, c.typeKey));
    r.transfer.ReceiveFile("");
    EXPECT_EQ(readFile(r.path("dados.bin")), bytes) << c.type;
    EXPECT_EQ(r.localNames(), std::vector<std::string>{"dados.bin"}) << c.type;
    EXPECT_TRUE(heard(r, "FTFIMREC")) << c.type;
    EXPECT_EQ(r.st.transferBytes, static_cast<int64_t>(c.size));
    const auto cmds = r.server.commands();
    EXPECT_EQ(cmds, (std::vector<std::string>{c.type, "PASV", "RETR dados.bin"})) << c.type;
    EXPECT_EQ(r.ui.events.back(), "caption NAVIRO 127.0.0.1") << c.type;
  }
}

TEST(Receive, RefusalLeavesNoNewFileAndTheOldOneUntouched) {
  for (const char* refusal : {"550 Nao existe\r\n", "450 Ocupado\r\n"}) {
    for (bool existed : {false, true}) {
      Rig r;
      r.server.files["a.txt"] = "novo";
      r.server.retrRefusal = refusal;
      ASSERT_TRUE(r.connect());
      if (existed) writeFile(r.path("a.txt"), "velho");
      r.ui.lines = {"a.txt", r.path("a.txt")};
      r.keys("s");
      r.transfer.ReceiveFile("");
      EXPECT_TRUE(heard(r, "FTTRAREC")) << refusal;
      EXPECT_EQ(heard(r, "FTARQNAO"), refusal[0] == '5') << refusal;
      EXPECT_EQ(r.localNames(),
                existed ? std::vector<std::string>{"a.txt"} : std::vector<std::string>{})
          << refusal;
      if (existed) {
        EXPECT_EQ(readFile(r.path("a.txt")), "velho");
      }
    }
  }
}

TEST(Receive, EarlyCloseOrMissingFinalReplyKeepsOldFileAndAPartialCopy) {
  struct Case {
    const char* what;
    size_t closeAfter;
    const char* endReply;
  } cases[] = {{"closed early", 70000, "226 ok\r\n"}, {"never 226", SIZE_MAX, ""}};
  for (const auto& c : cases) {
    Rig r;
    const std::string bytes = pattern(200000);
    r.server.files["a.bin"] = bytes;
    r.server.closeEarlyAfter = c.closeAfter;
    r.server.endReply = c.endReply;
    ASSERT_TRUE(r.connect());
    writeFile(r.path("a.bin"), "velho");
    r.ui.lines = {"a.bin", r.path("a.bin")};
    r.keys("s");
    const auto start = std::chrono::steady_clock::now();
    r.transfer.ReceiveFile("");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(8)) << c.what;
    EXPECT_TRUE(heard(r, "FTERRENV")) << c.what;
    EXPECT_FALSE(heard(r, "FTFIMREC")) << c.what;
    EXPECT_EQ(readFile(r.path("a.bin")), "velho") << c.what;
    const std::string part = readFile(r.path("a.bin.part"));
    EXPECT_EQ(part, bytes.substr(0, std::min(c.closeAfter, bytes.size()))) << c.what;
    EXPECT_EQ(r.localNames(), (std::vector<std::string>{"a.bin", "a.bin.part"})) << c.what;
  }
}

TEST(Receive, AFailedLocalWriteAbortsAndIsToldWithItsReason) {
  Rig r;
  r.server.files["grande.bin"] = pattern(400000);
  r.server.chunk = 16384;
  ASSERT_TRUE(r.connect());
  r.ui.lines = {"grande.bin", r.path("grande.bin")};
  r.keys("s");
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 100000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  r.transfer.ReceiveFile("");
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old), 0);
  EXPECT_TRUE(r.server.received("ABOR"));
  EXPECT_TRUE(heard(r, "FTNAOCRI"));
  EXPECT_FALSE(heard(r, "FTFIMREC"));
  EXPECT_TRUE(r.ui.has("speak " + SystemReason(EFBIG)));
  EXPECT_EQ(r.localNames(), std::vector<std::string>{"grande.bin.part"});
  EXPECT_EQ(readFile(r.path("grande.bin.part")).size(), 100000u);
}

TEST(Receive, BrowserNamesThatLeaveTheDirectoryAreCutOrRefused) {
  struct Case {
    const char* remote;
    const char* local;  // empty: refused with the beep
  } cases[] = {{"../../x", "x"}, {"/etc/x", "x"}, {"..", ""}};
  for (const auto& c : cases) {
    Rig r;
    r.server.files[c.remote] = "conteudo";
    ASSERT_TRUE(r.connect());
    const auto here = std::filesystem::current_path();
    std::filesystem::current_path(r.scratch);
    r.ui.lines = {""};
    r.keys("s");
    r.transfer.ReceiveFile(c.remote);
    std::filesystem::current_path(here);
    if (*c.local) {
      EXPECT_EQ(readFile(r.path(c.local)), "conteudo") << c.remote;
      EXPECT_EQ(r.localNames(), std::vector<std::string>{c.local}) << c.remote;
    } else {
      EXPECT_TRUE(r.ui.has("beep")) << c.remote;
      EXPECT_TRUE(r.server.commands().empty()) << c.remote;
    }
  }
}

TEST(Receive, NeverWritesThroughASymbolicLinkUntilTheFileIsWhole) {
  Rig r;
  r.server.files["a.txt"] = "novo";
  r.server.retrRefusal = "450 Ocupado\r\n";
  ASSERT_TRUE(r.connect());
  writeFile(r.path("alvo"), "intocado");
  std::filesystem::create_symlink(r.path("alvo"), r.path("a.txt"));
  r.ui.lines = {"a.txt", r.path("a.txt")};
  r.keys("s");
  r.transfer.ReceiveFile("");
  EXPECT_EQ(readFile(r.path("alvo")), "intocado");
  EXPECT_TRUE(std::filesystem::is_symlink(r.path("a.txt")));
}

TEST(Receive, EscapeAtTheTypeQuestionSendsNothingAndLeavesNothing) {
  Rig r;
  ASSERT_TRUE(r.connect());
  r.ui.lines = {"a.txt", r.path("a.txt")};
  r.keys("\x1b");
  r.transfer.ReceiveFile("");
  EXPECT_TRUE(heard(r, "FTDESIS"));
  EXPECT_TRUE(r.server.commands().empty());
  EXPECT_TRUE(r.localNames().empty());
}

TEST(Receive, EscapeDuringTheTransferSendsAborAndKeepsWhatArrived) {
  Rig r;
  r.server.files["lento.bin"] = pattern(2000000);
  r.server.chunk = 8192;
  r.server.chunkPauseMs = 5;
  ASSERT_TRUE(r.connect());
  r.ui.lines = {"lento.bin", r.path("lento.bin")};
  r.keys("s\x1b");
  r.transfer.ReceiveFile("");
  EXPECT_TRUE(r.server.received("ABOR"));
  EXPECT_FALSE(heard(r, "FTFIMREC"));
  EXPECT_FALSE(std::filesystem::exists(r.path("lento.bin")));
  EXPECT_LT(r.st.transferBytes, 2000000);
  EXPECT_EQ(static_cast<int64_t>(readFile(r.path("lento.bin.part")).size()), r.st.transferBytes);
}

TEST(Send, FilesArriveWholeAndEmptyFilesAsEmptyStores) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{8192}, size_t{250001}}) {
    Rig r;
    ASSERT_TRUE(r.connect());
    const std::string bytes = pattern(size);
    writeFile(r.path("carta.txt"), bytes);
    r.dialogs.localFile = r.path("carta.txt");
    r.ui.lines = {""};
    r.keys("s");
    r.transfer.SendFile();
    EXPECT_EQ(r.server.stored("carta.txt"), bytes) << size;
    EXPECT_TRUE(heard(r, "FTFIMENV")) << size;
    EXPECT_NE(r.ui.screen.find("(Assumindo carta.txt)"), std::string::npos);
    EXPECT_EQ(r.server.commands(), (std::vector<std::string>{"TYPE I", "PASV", "STOR carta.txt"}));
    EXPECT_EQ(r.st.transferBytes, static_cast<int64_t>(size));
  }
}

TEST(Send, RefusedStoreOrMissingFileEndsTheCommand) {
  {
    Rig r;
    r.server.storRefusal = "553 Proibido\r\n";
    ASSERT_TRUE(r.connect());
    writeFile(r.path("a.txt"), "x");
    r.dialogs.localFile = r.path("a.txt");
    r.ui.lines = {"remoto.txt"};
    r.keys("s");
    r.transfer.SendFile();
    EXPECT_TRUE(heard(r, "FTTRAREC"));
    EXPECT_FALSE(heard(r, "FTFIMENV"));
  }
  {
    Rig r;
    ASSERT_TRUE(r.connect());
    r.dialogs.localFile = r.path("nada.txt");
    r.transfer.SendFile();
    EXPECT_TRUE(heard(r, "FTARQNAO"));
    EXPECT_TRUE(r.server.commands().empty());
  }
  {
    Rig r;  // a directory is no file to send
    ASSERT_TRUE(r.connect());
    r.dialogs.localFile = r.scratch.string();
    r.transfer.SendFile();
    EXPECT_TRUE(heard(r, "FTARQNAO"));
  }
}

TEST(Receive, KeysTypedTogetherSpeakTheProgressOnce) {
  Rig r;
  r.server.files["lento.bin"] = pattern(300000);
  r.server.chunk = 8192;
  r.server.chunkPauseMs = 5;
  ASSERT_TRUE(r.connect());
  r.ui.lines = {"lento.bin", r.path("lento.bin")};
  r.ui.dropKeysOnFlush = true;
  r.keys("sxyz");
  r.transfer.ReceiveFile("");
  EXPECT_EQ(r.ui.occurrences("announce FTTRANS"), 1u);
  EXPECT_TRUE(heard(r, "FTFIMREC"));
  EXPECT_EQ(readFile(r.path("lento.bin")).size(), 300000u);
}
