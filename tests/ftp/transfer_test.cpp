// Sending and receiving against the fake server: the bytes that arrive, the
// commands sent, what the user hears, and what is left on the local disk
// after a refusal, an early close, a missing final reply or a full disk.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "base/cp1252.h"
#include "ftp/ftpJudge.h"
#include "ftp/ftpOutcome.h"
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

namespace {

const char* name(Verdict v) {
  switch (v) {
    case Verdict::Completed:
      return "completed";
    case Verdict::Failed:
      return "failed";
    case Verdict::PartialKept:
      return "partial kept";
  }
  return "?";
}

}  // namespace

// Every class of final reply a server may send after a transfer, by how its
// data ended. Only 226 and 250 after a clean end with all the bytes
// announced complete a file; other 2xx replies do not say the file went.
TEST(TransferVerdict, OnlyA226Or250AfterAWholeCleanEndCompletesTheFile) {
  enum Ending { kClean, kReset, kShort, kLocalError, kEscape };
  const char* endings[] = {"clean end", "reset", "short", "local write error", "Esc"};
  struct Row {
    int code;
    Account clean;  // the account of a clean, whole end
  } rows[] = {
      {110, Account::Lost},         {125, Account::Lost},         {150, Account::Lost},
      {200, Account::ServerFailed}, {202, Account::ServerFailed}, {225, Account::ServerFailed},
      {226, Account::Done},         {250, Account::Done},         {421, Account::ServerFailed},
      {425, Account::ServerFailed}, {426, Account::ServerFailed}, {450, Account::ServerFailed},
      {451, Account::ServerFailed}, {452, Account::ServerFailed}, {550, Account::ServerFailed},
      {552, Account::ServerFailed}, {553, Account::ServerFailed}};
  constexpr int64_t kWhole = 300000;
  for (const Row& row : rows) {
    const bool completes = row.clean == Account::Done;
    for (int e = kClean; e <= kEscape; ++e) {
      for (bool upload : {false, true}) {
        TransferFacts f{.upload = upload,
                        .binary = true,
                        .data = DataEnd::Ended,
                        .server = ServerEndOf(row.code),
                        .have = kWhole,
                        .expected = kWhole};
        Account want = row.clean;
        switch (e) {
          case kClean:
            break;
          case kReset:
            f.data = DataEnd::Failed;
            want = Account::DataBroken;
            break;
          case kShort:
            f.have = kWhole - 1;
            if (completes) want = Account::Short;
            break;
          case kLocalError:
            f.data = DataEnd::LocalFailed;
            want = Account::LocalError;
            break;
          case kEscape:
            f.data = DataEnd::Aborted;
            want = Account::Interrupted;
            break;
        }
        const Verdict verdict = want == Account::Done ? Verdict::Completed
                                : upload              ? Verdict::Failed
                                                      : Verdict::PartialKept;
        const Judgement j = JudgeTransfer(f);
        EXPECT_EQ(name(j.verdict), std::string(name(verdict)))
            << row.code << " " << endings[e] << (upload ? " upload" : " receive");
        EXPECT_EQ(j.account, want)
            << row.code << " " << endings[e] << (upload ? " upload" : " receive");
      }
    }
  }
}

TEST(TransferVerdict, TextSizesUnknownSizesAndEndsAfterTheData) {
  struct Case {
    const char* what;
    TransferFacts facts;
    Judgement want;
  } cases[] = {
      {"text mode, other size: complete, sizes said",
       {.binary = false, .server = ServerEnd::Completed, .have = 100381, .expected = 100000},
       {Verdict::Completed, Account::SizesDiffer}},
      {"text mode, shorter: complete too",
       {.binary = false, .server = ServerEnd::Completed, .have = 99000, .expected = 100000},
       {Verdict::Completed, Account::SizesDiffer}},
      {"size never announced",
       {.server = ServerEnd::Completed, .have = 5, .expected = std::nullopt},
       {Verdict::Completed, Account::Done}},
      {"more than announced (it grew meanwhile)",
       {.server = ServerEnd::Completed, .have = 101, .expected = 100},
       {Verdict::Completed, Account::Done}},
      {"user gave up the final reply",
       {.server = ServerEnd::GaveUp, .have = 100, .expected = 100},
       {Verdict::PartialKept, Account::Interrupted}},
      {"nothing arrived: nothing kept",
       {.data = DataEnd::Answered, .server = ServerEnd::Failed, .have = 0, .expected = 100},
       {Verdict::Failed, Account::ServerFailed}},
      {"a 226 before an upload's end",
       {.upload = true,
        .data = DataEnd::Answered,
        .server = ServerEnd::Completed,
        .have = 10,
        .expected = 100},
       {Verdict::Failed, Account::ServerFailed}},
      {"data connection never came",
       {.data = DataEnd::NeverConnected, .have = 0, .expected = 100},
       {Verdict::Failed, Account::NeverConnected}},
      {"a resumed part kept when the server went silent",
       {.data = DataEnd::Lost, .have = 4096, .expected = 9000},
       {Verdict::PartialKept, Account::Lost}},
  };
  for (const auto& c : cases) EXPECT_EQ(JudgeTransfer(c.facts), c.want) << c.what;
}

// A .part is gone on with only from the very file it was begun from: same
// size and same modification time, as far as the server tells them.
TEST(TransferPlan, APartGoesOnOnlyWhileTheServerFileIsTheOneBegun) {
  constexpr const char* kThen = "20260103140509";
  struct Case {
    const char* what;
    PartMark mark;
    int64_t partSize;
    RemoteFacts server;
    ResumeCheck want;
  } cases[] = {
      {"same size and time", {300000, kThen}, 120000, {300000, kThen}, ResumeCheck::GoOn},
      {"changed in place, same size",
       {300000, kThen},
       120000,
       {300000, "20260104090000"},
       ResumeCheck::Changed},
      {"other size", {300000, kThen}, 120000, {250000, kThen}, ResumeCheck::Changed},
      {"part longer than the file", {300000, kThen}, 300001, {300000, kThen}, ResumeCheck::Changed},
      {"no time now, one then", {300000, kThen}, 120000, {300000, ""}, ResumeCheck::Unknown},
      {"a time now, none marked", {300000, ""}, 120000, {300000, kThen}, ResumeCheck::Unknown},
      {"a server that never tells the time", {300000, ""}, 120000, {300000, ""}, ResumeCheck::GoOn},
      {"no size now", {300000, kThen}, 120000, {std::nullopt, kThen}, ResumeCheck::Unknown},
      {"no mark", {std::nullopt, ""}, 120000, {300000, kThen}, ResumeCheck::Unknown},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckResume(c.mark, c.partSize, c.server), c.want) << c.what;
    const ReceiveStart go = PlanReceiveStart(true, c.partSize, c.mark, c.server);
    EXPECT_EQ(go.offset, c.want == ResumeCheck::GoOn ? c.partSize : 0) << c.what;
    EXPECT_EQ(PlanReceiveStart(false, c.partSize, c.mark, c.server).offset, 0) << c.what;
  }
  EXPECT_EQ(PlanTarget({.exists = true, .directory = true}), TargetStep::Refuse);
  EXPECT_EQ(PlanTarget({.exists = true}), TargetStep::AskReplace);
  EXPECT_EQ(PlanTarget({}), TargetStep::Write);
  EXPECT_EQ(PlanPart(true, 0), PartStep::None);
  EXPECT_EQ(PlanPart(true, 10), PartStep::AskResume);
  EXPECT_EQ(PlanPart(false, 10), PartStep::AskRestart);
  EXPECT_TRUE(OfferSendResume(true, 100, 50));
  EXPECT_FALSE(OfferSendResume(false, 100, 50));
  EXPECT_FALSE(OfferSendResume(true, 100, 100));
  EXPECT_FALSE(OfferSendResume(true, 100, 0));
  EXPECT_FALSE(OfferSendResume(true, 100, std::nullopt));
  EXPECT_EQ(PlanSendVerb(50, false), SendVerb::Appe);
  EXPECT_EQ(PlanSendVerb(50, true), SendVerb::Stor);
  EXPECT_EQ(PlanSendVerb(0, false), SendVerb::Stor);
}

TEST(Receive, BinaryAndTextFilesArriveWholeAndReplaceTheOldCopy) {
  struct Case {
    char typeKey;
    const char* type;
    size_t size;
    const char* endReply;
    bool mlst = false;  // a text receive asks the certain facts too (is it a directory?)
  } cases[] = {{'s', "TYPE I", 300000, "226 ok\r\n"},
               {'n', "TYPE A", 5000, "226 ok\r\n"},
               {'\r', "TYPE I", 0, "226 ok\r\n"},
               {'s', "TYPE I", 1000, "250 ok\r\n"},  // 250 completes too
               {'n', "TYPE A", 5000, "226 ok\r\n", true}};
  for (const auto& c : cases) {
    Rig r;
    const std::string bytes = pattern(c.size);
    r.server.files["dados.bin"] = bytes;
    r.server.endReply = c.endReply;
    r.server.mlstOnly = c.mlst;
    ASSERT_TRUE(r.connect());
    writeFile(r.path("dados.bin"), "velho");
    r.ui.lines = {"dados.bin", r.path("dados.bin")};
    r.keys(std::string("s") + c.typeKey);  // replace it, then the type
    r.commands.ReceiveFile();
    EXPECT_EQ(readFile(r.path("dados.bin")), bytes) << c.type;
    EXPECT_EQ(r.localNames(), std::vector<std::string>{"dados.bin"}) << c.type;
    EXPECT_TRUE(heard(r, "FTFIMREC")) << c.type;
    EXPECT_EQ(r.st.transferBytes, static_cast<int64_t>(c.size));
    const auto cmds = r.server.commands();
    const std::vector<std::string> binary{c.type, "SIZE dados.bin", "MDTM dados.bin", "EPSV",
                                          "RETR dados.bin"};
    // Whether the server's facts are certain (FEAT) decides whether a text
    // receive asks them; they are asked in binary, and the text type again
    // after.
    const std::vector<std::string> text{c.type, "FEAT", "EPSV", "RETR dados.bin"};
    const std::vector<std::string> textAsked{
        c.type,           "FEAT",   "TYPE I", "SIZE dados.bin", "MDTM dados.bin",
        "MLST dados.bin", c.type,   "EPSV",   "RETR dados.bin"};
    EXPECT_EQ(cmds, c.typeKey != 'n' ? binary : c.mlst ? textAsked : text) << c.type;
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
      r.keys(existed ? "ss" : "s");
      r.commands.ReceiveFile();
      EXPECT_TRUE(heard(r, "FTTRAREC")) << refusal;
      EXPECT_EQ(heard(r, "FTARQNAO"), refusal[0] == '5') << refusal;
      // The server's words where no sentence of ours names the case.
      EXPECT_EQ(r.ui.has("speak 450 Ocupado"), refusal[0] == '4') << refusal;
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
    const char* heard;
  } cases[] = {{"closed early", 70000, "226 ok\r\n", "FTERRENV"},
               {"never 226", SIZE_MAX, "", "FTCOMCAI"}};
  for (const auto& c : cases) {
    Rig r;
    const std::string bytes = pattern(200000);
    r.server.files["a.bin"] = bytes;
    r.server.closeEarlyAfter = c.closeAfter;
    r.server.endReply = c.endReply;
    ASSERT_TRUE(r.connect());
    writeFile(r.path("a.bin"), "velho");
    r.ui.lines = {"a.bin", r.path("a.bin")};
    r.keys("ss");
    const auto start = std::chrono::steady_clock::now();
    r.commands.ReceiveFile();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(8)) << c.what;
    EXPECT_TRUE(heard(r, c.heard)) << c.what;
    EXPECT_TRUE(heard(r, "FTPARTE")) << c.what;
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
  r.commands.ReceiveFile();
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
    r.commands.ReceiveFile(RemoteName::typed(c.remote));
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
  r.keys("ss");
  r.commands.ReceiveFile();
  EXPECT_EQ(readFile(r.path("alvo")), "intocado");
  EXPECT_TRUE(std::filesystem::is_symlink(r.path("a.txt")));
}

TEST(Receive, EscapeAtTheTypeQuestionSendsNothingAndLeavesNothing) {
  Rig r;
  ASSERT_TRUE(r.connect());
  r.ui.lines = {"a.txt", r.path("a.txt")};
  r.keys("\x1b");
  r.commands.ReceiveFile();
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
  r.commands.ReceiveFile();
  EXPECT_TRUE(r.server.received("ABOR"));
  EXPECT_FALSE(heard(r, "FTFIMREC"));
  EXPECT_FALSE(std::filesystem::exists(r.path("lento.bin")));
  EXPECT_LT(r.st.transferBytes, 2000000);
  EXPECT_EQ(static_cast<int64_t>(readFile(r.path("lento.bin.part")).size()), r.st.transferBytes);
}

TEST(Send, FilesArriveWholeAndEmptyFilesAsEmptyStores) {
  // In binary and text mode, whole, in one system call or in many (3 MiB is
  // several reads of the local file and many sends).
  for (const char* type : {"s", "n"})
    for (size_t size : {size_t{0}, size_t{1}, size_t{8192}, size_t{250001}, size_t{3 << 20}}) {
      Rig r;
      ASSERT_TRUE(r.connect());
      const std::string bytes = pattern(size);
      writeFile(r.path("carta.txt"), bytes);
      r.dialogs.localFile = r.path("carta.txt");
      r.ui.lines = {""};
      r.keys(type);
      r.commands.SendFile();
      EXPECT_EQ(r.server.stored("carta.txt"), bytes) << size << type;
      EXPECT_TRUE(heard(r, "FTFIMENV")) << size;
      EXPECT_NE(r.ui.screen.find("(Assumindo carta.txt)"), std::string::npos);
      // FEAT tells whether the server's facts are certain (is the name a
      // directory?); this one's are not, so only the size is asked.
      const std::vector<std::string> empty{"TYPE I", "FEAT", "EPSV", "STOR carta.txt"};
      const std::vector<std::string> sized{"TYPE I", "FEAT", "SIZE carta.txt", "EPSV",
                                           "STOR carta.txt"};
      const std::vector<std::string> text{"TYPE A", "FEAT", "EPSV", "STOR carta.txt"};
      EXPECT_EQ(r.server.commands(), *type == 'n' ? text : size == 0 ? empty : sized);
      EXPECT_EQ(r.st.transferBytes, static_cast<int64_t>(size));
    }
}

TEST(Send, ATypedNameGoesOutAsUtf8InEveryCommand) {
  // The size asked and the file stored are the same file.
  Rig r;
  ASSERT_TRUE(r.connect());
  writeFile(r.path("a.txt"), "abc");
  r.dialogs.localFile = r.path("a.txt");
  r.ui.lines = {qr::W("relatório.txt")};
  r.keys("s");
  r.commands.SendFile();
  EXPECT_EQ(r.server.stored("relatório.txt"), "abc");
  const std::vector<std::string> sent{"TYPE I", "FEAT", "SIZE relatório.txt", "EPSV",
                                      "STOR relatório.txt"};
  EXPECT_EQ(r.server.commands(), sent);
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
    r.commands.SendFile();
    EXPECT_TRUE(heard(r, "FTTRAREC"));
    EXPECT_FALSE(heard(r, "FTFIMENV"));
  }
  {
    Rig r;
    ASSERT_TRUE(r.connect());
    r.dialogs.localFile = r.path("nada.txt");
    r.commands.SendFile();
    EXPECT_TRUE(heard(r, "FTARQNAO"));
    EXPECT_TRUE(r.server.commands().empty());
  }
  {
    Rig r;  // a directory is no file to send
    ASSERT_TRUE(r.connect());
    r.dialogs.localFile = r.scratch.string();
    r.commands.SendFile();
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
  r.commands.ReceiveFile();
  EXPECT_EQ(r.ui.occurrences("announce FTTRANS"), 1u);
  EXPECT_TRUE(heard(r, "FTFIMREC"));
  EXPECT_EQ(readFile(r.path("lento.bin")).size(), 300000u);
}

namespace {

// The keys typed ahead wait until the upload has stalled: the server reads
// nothing and the count has not moved for a while.
std::function<bool()> whenStalled(const Rig& r) {
  auto last = std::make_shared<std::pair<int64_t, std::chrono::steady_clock::time_point>>(
      -1, std::chrono::steady_clock::now());
  return [&r, last] {
    const auto now = std::chrono::steady_clock::now();
    if (r.st.transferBytes != last->first) *last = {r.st.transferBytes, now};
    return r.st.transferBytes > 0 && now - last->second > std::chrono::milliseconds(300);
  };
}

}  // namespace

TEST(Receive, EveryBadEndIsToldAndWhatArrivedIsKeptAsPart) {
  struct Case {
    const char* what;
    void (*setup)(FakeFtp&);
    const char* heard;
    bool wholeData;     // the data was read to its end
    const char* after;  // then: that the transfer did not finish
  } cases[] = {
      {"control closed during the data", [](FakeFtp& f) { f.closeControlAfter = 100000; },
       "FTCOMCAI", true, "FTINTERR"},
      {"data reset, then 226", [](FakeFtp& f) { f.resetAfter = 100000; }, "FTCOMCAI", false,
       "FTINTERR"},
      {"451 after the data", [](FakeFtp& f) { f.endReply = "451 Falha\r\n"; }, "FTERRENV", true,
       "FTERRENV"},
  };
  for (const auto& c : cases) {
    Rig r;
    const std::string bytes = pattern(300000);
    r.server.files["a.bin"] = bytes;
    r.server.chunk = 16384;
    c.setup(r.server);
    ASSERT_TRUE(r.connect());
    r.ui.lines = {"a.bin", r.path("a.bin")};
    r.keys("s");
    const auto start = std::chrono::steady_clock::now();
    r.commands.ReceiveFile();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6)) << c.what;
    EXPECT_TRUE(heard(r, c.heard)) << c.what;
    const auto a = r.ui.announced();
    EXPECT_NE(std::find(std::find(a.begin(), a.end(), c.heard), a.end(), c.after), a.end())
        << c.what;
    EXPECT_TRUE(heard(r, "FTPARTE")) << c.what;
    EXPECT_FALSE(heard(r, "FTFIMREC")) << c.what;
    EXPECT_FALSE(std::filesystem::exists(r.path("a.bin"))) << c.what;
    const std::string part = readFile(r.path("a.bin.part"));
    if (c.wholeData) {
      EXPECT_EQ(part, bytes) << c.what;
    } else {
      EXPECT_LE(part.size(), 100000u) << c.what;
      EXPECT_EQ(part, bytes.substr(0, part.size())) << c.what;
    }
  }
}

TEST(Receive, RepliesArrivingAByteAtATimeAreJudgedWhole) {
  for (bool passive : {true, false}) {
    Rig r;
    const std::string bytes = pattern(50000);
    r.server.files["a.bin"] = bytes;
    r.server.dribbleMs = 1;
    ASSERT_TRUE(r.connect());
    r.st.passive = passive;
    r.ui.lines = {"a.bin", r.path("a.bin")};
    r.keys("s");
    r.commands.ReceiveFile();
    EXPECT_TRUE(heard(r, "FTFIMREC")) << passive;
    EXPECT_FALSE(heard(r, "FTERRENV")) << passive;
    EXPECT_EQ(readFile(r.path("a.bin")), bytes) << passive;
    EXPECT_EQ(r.server.commands().back(), "RETR a.bin") << passive;
  }
}

TEST(Receive, EscapeClosesTheDataFirstSoTheServerHearsAborAndTheNextCommandGetsItsOwnReply) {
  Rig r;
  r.server.files["lento.bin"] = pattern(8000000);
  r.server.chunk = 16384;
  r.server.blindWhileSending = true;  // it looks at ABOR only once a send fails
  ASSERT_TRUE(r.connect());
  r.ui.lines = {"lento.bin", r.path("lento.bin")};
  r.keys("s\x1b");
  r.ui.gate = [&r] { return r.st.transferBytes > 200000; };
  r.commands.ReceiveFile();
  EXPECT_TRUE(r.server.received("ABOR"));
  EXPECT_TRUE(heard(r, "FTINTERR"));
  EXPECT_TRUE(heard(r, "FTPARTE"));
  EXPECT_FALSE(heard(r, "FTFIMREC"));
  EXPECT_EQ(static_cast<int64_t>(readFile(r.path("lento.bin.part")).size()), r.st.transferBytes);
  r.ui.events.clear();
  EXPECT_TRUE(r.dir.changeTo(RemoteName::typed("pub")))
      << ::testing::PrintToString(r.server.commands()) << r.ui.screen;
  EXPECT_TRUE(heard(r, "FTOK"));
}

TEST(Receive, AnAborNeverAnsweredEndsWithinAFewSeconds) {
  Rig r;
  r.ui.settings["PRAZO"] = "1";
  r.server.files["lento.bin"] = pattern(2000000);
  r.server.chunk = 8192;
  r.server.chunkPauseMs = 5;
  r.server.ignoreAbor = true;
  ASSERT_TRUE(r.connect());
  r.ui.lines = {"lento.bin", r.path("lento.bin")};
  r.keys("s\x1b");
  r.ui.gate = [&r] { return r.st.transferBytes > 0; };
  const auto start = std::chrono::steady_clock::now();
  r.commands.ReceiveFile();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(r.server.received("ABOR"));
  EXPECT_TRUE(heard(r, "FTINTERR"));
}

TEST(Send, OnlyTheTransfersOwnFinalReplyCompletesIt) {
  struct Case {
    const char* endReply;
    bool completed;
    size_t refuseAfter;  // the server answers and drops the data half way
  } cases[] = {{"226 ok\r\n", true, SIZE_MAX},
               {"250 ok\r\n", true, SIZE_MAX},
               {"426 Disco cheio\r\n", false, SIZE_MAX},
               {"552 Sem espaco\r\n", false, SIZE_MAX},
               {"552 Sem espaco\r\n", false, 1 << 20}};
  for (const auto& c : cases) {
    Rig r;
    r.server.storEndReply = c.endReply;
    r.server.storRefuseAfter = c.refuseAfter;
    ASSERT_TRUE(r.connect());
    const size_t size = c.refuseAfter == SIZE_MAX ? 100000 : 32 << 20;
    writeFile(r.path("carta.txt"), pattern(size));
    r.dialogs.localFile = r.path("carta.txt");
    r.ui.lines = {""};
    r.keys("s");
    r.commands.SendFile();
    EXPECT_EQ(heard(r, "FTFIMENV"), c.completed) << c.endReply;
    // Half way, the broken data connection may be seen before the reply.
    EXPECT_EQ(heard(r, "FTERRENV") || (c.refuseAfter != SIZE_MAX && heard(r, "FTCOMCAI")),
              !c.completed)
        << c.endReply;
    if (c.refuseAfter != SIZE_MAX) {
      EXPECT_FALSE(r.server.hasFile("carta.txt"));
      EXPECT_LT(r.st.transferBytes, static_cast<int64_t>(size));
    }
  }
}

TEST(Send, AServerThatStopsReadingNeverBlocksTheKeysOrOutlastsTheDeadline) {
  for (bool escape : {true, false}) {
    Rig r;
    r.ui.settings["PRAZO"] = "1";
    r.server.stallStor = true;
    ASSERT_TRUE(r.connect());
    writeFile(r.path("grande.bin"), pattern(64 << 20));
    r.dialogs.localFile = r.path("grande.bin");
    r.ui.lines = {""};
    r.keys(escape ? "s\x1b" : "s");
    r.ui.gate = whenStalled(r);
    const auto start = std::chrono::steady_clock::now();
    r.commands.SendFile();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8)) << escape;
    EXPECT_FALSE(heard(r, "FTFIMENV")) << escape;
    EXPECT_TRUE(heard(r, escape ? "FTINTERR" : "FTCOMCAI")) << escape;
    EXPECT_EQ(r.server.received("ABOR"), escape);
    EXPECT_FALSE(r.server.hasFile("grande.bin")) << escape;
    if (escape) {
      // Said at once, before the server is asked to stop.
      const auto& e = r.ui.events;
      const auto said = std::find(e.begin(), e.end(), "say " + TransferText("interrompendo"));
      const auto abor = std::find(e.begin(), e.end(), "send ABOR");
      EXPECT_LT(said, abor);
      EXPECT_LT(abor, std::find(e.begin(), e.end(), "announce FTINTERR"));
      EXPECT_NE(r.ui.screen.find(qr::W("Interrompendo…")), std::string::npos);
    }
  }
}

TEST(Send, AnUploadGivenUpTellsWhatTheServerKeptOfIt) {
  Rig r;
  r.server.storStallAfter = 1 << 20;
  r.server.keepPartial = true;
  ASSERT_TRUE(r.connect());
  writeFile(r.path("grande.bin"), pattern(64 << 20));
  r.dialogs.localFile = r.path("grande.bin");
  r.ui.lines = {""};
  r.keys("s\x1b");
  r.ui.gate = whenStalled(r);
  r.commands.SendFile();
  EXPECT_TRUE(heard(r, "FTINTERR"));
  const size_t kept = r.server.stored("grande.bin").size();
  ASSERT_GE(kept, size_t{1} << 20);
  EXPECT_TRUE(r.ui.has("speak " + ServerKeptText(static_cast<int64_t>(kept), 64 << 20)));
}

TEST(Send, ActiveModeServesOnlyTheServerNotAStrangerOnTheDataPort) {
  Rig r;
  r.server.strangerFrom = "127.0.0.2";
  ASSERT_TRUE(r.connect());
  r.st.passive = false;
  const std::string bytes = pattern(1 << 20);
  writeFile(r.path("carta.txt"), bytes);
  r.dialogs.localFile = r.path("carta.txt");
  r.ui.lines = {""};
  r.keys("s");
  r.commands.SendFile();
  EXPECT_EQ(r.server.stored("carta.txt"), bytes);
  EXPECT_TRUE(heard(r, "FTFIMENV"));
  EXPECT_EQ(r.server.strangerGot(), 0u);
  const auto cmds = r.server.commands();
  ASSERT_EQ(cmds.size(), 5u);
  EXPECT_EQ(cmds[3].rfind("PORT 127,0,0,1,", 0), 0u);
}

namespace {

// The outcome line: written whole, said short (the name the user gave is
// not said again).
bool toldOutcome(const Rig& r, const std::string& name, const std::string& size,
                 const std::string& said) {
  return r.ui.has("speak " + said) &&
         r.ui.screen.find(name + ", " + size + " em ") != std::string::npos;
}

void markPart(const std::string& path, const std::string& size) {
  ASSERT_EQ(::setxattr(path.c_str(), kPartSizeAttribute, size.data(), size.size(), 0), 0);
}

}  // namespace

TEST(Resume, AReceiveGoesOnFromThePartOnlyWhenTheServerFileIsTheOneBegun) {
  const std::string source = pattern(300000);
  struct Case {
    const char* what;
    const char* answer;           // to the resume question
    const char* mark;             // size marked on the .part; "" none
    const char* restReply;        // "" accepts REST
    bool rest;                    // REST 120000 is sent
    const char* told;             // what the user hears about starting over
    const char* markTime = "";    // time marked on the .part
    const char* serverTime = "";  // MDTM's; "" not told
    bool mlst = false;            // told by MLST, the server having no MDTM
  } cases[] = {
      {"goes on", "s", "300000", "", true, ""},
      {"user says no", "n", "300000", "", false, ""},
      {"server file changed", "s", "250000", "", false, "mudou"},
      {"no mark", "s", "", "", false, "semtamanho"},
      {"REST refused", "s", "300000", "502 Nao\r\n", true, "semrest"},
      {"same size and time", "s", "300000", "", true, "", "20260103140509", "20260103140509"},
      {"changed in place, same size", "s", "300000", "", false, "mudou", "20260103140509",
       "20260104090000"},
      {"same time by MLST", "s", "300000", "", true, "", "20260103140509", "20260103140509", true},
      {"changed, by MLST", "s", "300000", "", false, "mudou", "20260103140509", "20260104090000",
       true},
  };
  for (const auto& c : cases) {
    Rig r;
    r.server.files["dados.bin"] = source;
    r.server.restReply = c.restReply;
    if (*c.serverTime) r.server.times["dados.bin"] = c.serverTime;
    r.server.mlstOnly = c.mlst;
    ASSERT_TRUE(r.connect());
    writeFile(r.path("dados.bin.part"), source.substr(0, 120000));
    if (*c.mark) markPart(r.path("dados.bin.part"), c.mark);
    if (*c.markTime) {
      ASSERT_EQ(::setxattr(r.path("dados.bin.part").c_str(), kPartTimeAttribute, c.markTime,
                           std::strlen(c.markTime), 0),
                0);
    }
    r.ui.lines = {"dados.bin", r.path("dados.bin")};
    r.keys(std::string("s") + c.answer);
    r.commands.ReceiveFile();
    EXPECT_EQ(readFile(r.path("dados.bin")), source) << c.what;
    EXPECT_EQ(r.localNames(), std::vector<std::string>{"dados.bin"}) << c.what;
    EXPECT_NE(r.ui.screen.find(ResumeText("receber")), std::string::npos) << c.what;
    const auto cmds = r.server.commands();
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "REST 120000"), c.rest ? 1 : 0) << c.what;
    if (*c.told) {
      EXPECT_TRUE(r.ui.has("speak " + ResumeText(c.told))) << c.what;
    }
    EXPECT_TRUE(toldOutcome(r, "dados.bin", "293 quilobaites", "293 K")) << c.what;
    EXPECT_EQ(::getxattr(r.path("dados.bin").c_str(), kPartSizeAttribute, nullptr, 0), -1)
        << c.what;
  }
}

// In text mode a .part cannot be gone on with: the user is asked before it
// is thrown away; a no keeps it and asks the server for nothing.
TEST(Resume, TextModeAsksBeforeAnEarlierPartIsThrownAway) {
  const std::string source = "linha um\r\nlinha dois\r\n";
  for (const char* answer : {"s", "n"}) {
    Rig r;
    r.server.files["texto.txt"] = source;
    ASSERT_TRUE(r.connect());
    writeFile(r.path("texto.txt.part"), "linha um\r\n");
    markPart(r.path("texto.txt.part"), "21");
    r.ui.lines = {"texto.txt", r.path("texto.txt")};
    r.keys(std::string("n") + answer);
    r.commands.ReceiveFile();
    EXPECT_TRUE(r.ui.has("speak " + ResumeText("textonao"))) << answer;
    EXPECT_NE(r.ui.screen.find(ResumeText("textorecomeca")), std::string::npos) << answer;
    EXPECT_EQ(r.ui.screen.find(ResumeText("receber")), std::string::npos) << answer;
    const auto cmds = r.server.commands();
    EXPECT_EQ(std::count_if(cmds.begin(), cmds.end(),
                            [](const std::string& c) { return c.rfind("REST", 0) == 0; }),
              0);
    if (*answer == 's') {
      EXPECT_EQ(r.localNames(), std::vector<std::string>{"texto.txt"});
      EXPECT_TRUE(toldOutcome(r, "texto.txt", "22 baites", "1 K"));
    } else {
      EXPECT_EQ(r.localNames(), std::vector<std::string>{"texto.txt.part"});
      EXPECT_EQ(readFile(r.path("texto.txt.part")), "linha um\r\n");
      EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "RETR texto.txt"), 0);
      EXPECT_TRUE(r.ui.has("announce FTDESIS"));
    }
  }
}

TEST(Resume, AnInterruptedReceiveLeavesAPartMarkedWithTheServerSizeAndTime) {
  Rig r;
  r.server.files["a.bin"] = pattern(200000);
  r.server.times["a.bin"] = "20260103140509.5";
  r.server.closeEarlyAfter = 70000;
  ASSERT_TRUE(r.connect());
  r.ui.lines = {"a.bin", r.path("a.bin")};
  r.keys("s");
  r.commands.ReceiveFile();
  char mark[32] = {};
  ASSERT_GT(::getxattr(r.path("a.bin.part").c_str(), kPartSizeAttribute, mark, sizeof mark), 0);
  EXPECT_STREQ(mark, "200000");
  char time[32] = {};
  ASSERT_GT(::getxattr(r.path("a.bin.part").c_str(), kPartTimeAttribute, time, sizeof time), 0);
  EXPECT_STREQ(time, "20260103140509.5");
  // Never an outcome after a failure.
  EXPECT_EQ(r.ui.screen.find("a.bin, "), std::string::npos);
}

TEST(Resume, ASendGoesOnWithRestOrAppendWhenTheRemoteFileIsShorter) {
  const std::string bytes = pattern(200000);
  for (const char* restReply : {"", "502 Nao\r\n"}) {
    Rig r;
    r.server.files["carta.txt"] = bytes.substr(0, 50000);
    r.server.restReply = restReply;
    ASSERT_TRUE(r.connect());
    writeFile(r.path("carta.txt"), bytes);
    r.dialogs.localFile = r.path("carta.txt");
    r.ui.lines = {""};
    r.keys("ss");
    r.commands.SendFile();
    EXPECT_EQ(r.server.stored("carta.txt"), bytes) << restReply;
    EXPECT_NE(r.ui.screen.find(ResumeText("enviar")), std::string::npos) << restReply;
    EXPECT_EQ(r.server.commands().back(), *restReply ? "APPE carta.txt" : "STOR carta.txt");
    // APPE goes on from the remote file's end just as REST would have.
    EXPECT_TRUE(r.ui.has("speak " + ResumeText("continuando") + SizeWords(50000))) << restReply;
    EXPECT_FALSE(r.ui.has("speak " + ResumeText("semrest"))) << restReply;
    EXPECT_EQ(r.st.transferBytes, 150000);
    EXPECT_TRUE(toldOutcome(r, "carta.txt", "196 quilobaites", "196 K")) << restReply;
  }
}

// The server's word is not enough: a file is complete when all the bytes
// announced came. Text mode changes line ends, so its sizes are only said.
TEST(Receive, AFileShorterThanAnnouncedIsKeptAsPartNeverCalledComplete) {
  struct Case {
    const char* what;
    char type;
    size_t size, shortAfter;
    const char* opening;
    bool completes;
    std::string told;
  } cases[] = {
      {"SIZE 300000, 200000 came, 226", 's', 300000, 200000, "150 Abrindo\r\n", false,
       "Recebidos 200000 de 300000 baites"},
      {"text mode, the 150 announced other bytes", 'n', 5000, SIZE_MAX,
       "150 Abrindo texto.bin (5100 bytes)\r\n", true,
       "Em modo texto, 5000 baites aqui, 5100 no servidor"},
  };
  for (const auto& c : cases) {
    Rig r;
    const std::string bytes = pattern(c.size);
    r.server.files["a.bin"] = bytes;
    r.server.shortAfter = c.shortAfter;
    r.server.opening = c.opening;
    ASSERT_TRUE(r.connect());
    r.ui.lines = {"a.bin", r.path("a.bin")};
    r.keys(std::string(1, c.type));
    r.commands.ReceiveFile();
    EXPECT_EQ(heard(r, "FTFIMREC"), c.completes) << c.what;
    EXPECT_TRUE(r.ui.has("speak " + c.told)) << c.what;
    if (c.completes) {
      EXPECT_EQ(readFile(r.path("a.bin")), bytes) << c.what;
    } else {
      EXPECT_TRUE(r.ui.has("beep")) << c.what;
      EXPECT_TRUE(heard(r, "FTPARTE")) << c.what;
      EXPECT_EQ(r.localNames(), std::vector<std::string>{"a.bin.part"}) << c.what;
      EXPECT_EQ(readFile(r.path("a.bin.part")), bytes.substr(0, c.shortAfter)) << c.what;
    }
  }
}

// The data came, the final reply does not: keys are answered meanwhile, ESC
// gives the wait up with the file kept, and the connection lives on.
TEST(Receive, AFinalReplyThatNeverComesLeavesTheKeysAnsweredAndTheConnectionOpen) {
  Rig r;
  const std::string bytes = pattern(100000);
  r.server.files["a.bin"] = bytes;
  r.server.endReply = "";
  ASSERT_TRUE(r.connect());
  r.ui.lines = {"a.bin", r.path("a.bin")};
  r.keys("sx\x1b");
  r.ui.gate = [&r] { return r.st.transferBytes == 100000 && !r.st.dataOpen; };
  const auto start = std::chrono::steady_clock::now();
  r.commands.ReceiveFile();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_TRUE(r.ui.has("say " + TransferText("recebidos")));
  EXPECT_TRUE(heard(r, "FTINTERR"));
  EXPECT_TRUE(heard(r, "FTPARTE"));
  EXPECT_FALSE(heard(r, "FTCOMCAI"));
  EXPECT_FALSE(heard(r, "FTFIMREC"));
  EXPECT_EQ(readFile(r.path("a.bin.part")), bytes);
  EXPECT_FALSE(r.dlg.closed());
  r.ui.events.clear();
  EXPECT_TRUE(r.dir.changeTo(RemoteName::typed("pub")));
}

// Progress asked during a transfer is said while the data goes on: never by
// the speech that holds the program until it is said.
TEST(Receive, AskingForProgressNeverHoldsTheData) {
  // The share needs the whole size: SIZE's in binary mode, else the count
  // the 150 announces as the data begins.
  for (const char* type : {"s", "n"}) {
    Rig r;
    r.server.files["lento.bin"] = pattern(400000);
    r.server.chunk = 8192;
    r.server.chunkPauseMs = 5;
    r.server.opening = "150 Abrindo lento.bin (400000 bytes)\r\n";
    ASSERT_TRUE(r.connect());
    r.ui.lines = {"lento.bin", r.path("lento.bin")};
    r.keys(std::string(type) + "x");
    r.ui.gate = [&r] { return r.st.transferBytes > 100000; };
    r.commands.ReceiveFile();
    ASSERT_TRUE(heard(r, "FTFIMREC")) << type;
    const auto& e = r.ui.events;
    const auto from = std::find(e.begin(), e.end(), "send RETR lento.bin");
    const auto to = std::find(e.begin(), e.end(), "announce FTFIMREC");
    ASSERT_LT(from, to);
    bool progress = false;
    for (auto it = from; it != to; ++it) {
      EXPECT_NE(it->rfind("speak ", 0), 0u) << *it;
      progress = progress || it->rfind("say ", 0) == 0;
    }
    EXPECT_TRUE(progress) << type;
    EXPECT_TRUE(std::any_of(e.begin(), e.end(), [](const std::string& x) {
      return x.rfind("say ", 0) == 0 && x.find(" por cento, falta") != std::string::npos;
    })) << type;
  }
}

// A .part the user wants to go on with is never thrown away for a file the
// server does not have: with MLST the answer is certain; without it, SIZE's
// 550 is taken as it, rather than the .part.
TEST(Resume, APartIsKeptWhenTheServerNoLongerHasTheFile) {
  for (bool mlst : {true, false}) {
    Rig r;
    r.server.mlstOnly = mlst;
    ASSERT_TRUE(r.connect());
    writeFile(r.path("sumiu.bin.part"), "metade");
    markPart(r.path("sumiu.bin.part"), "12");
    r.ui.lines = {"sumiu.bin", r.path("sumiu.bin")};
    r.keys("ss");
    r.commands.ReceiveFile();
    EXPECT_TRUE(heard(r, "FTARQNAO")) << mlst;
    EXPECT_TRUE(heard(r, "FTTRAREC")) << mlst;
    EXPECT_EQ(readFile(r.path("sumiu.bin.part")), "metade") << mlst;
    const auto cmds = r.server.commands();
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "RETR sumiu.bin"), 0) << mlst;
  }
}

// An existing local file is never lost without a word: S replaces it, N
// asks another name (an empty one gives up), Enter or ESC gives up.
TEST(Receive, AnExistingLocalFileIsReplacedOnlyWhenTheUserSaysSo) {
  struct Case {
    const char* what;
    std::string keys;
    std::vector<std::string> lines;  // after the remote and local names
    const char* old;                 // what a.bin holds after
    bool other;                      // outro.bin received
  } cases[] = {
      {"S replaces", "ss", {}, "novo", false},
      {"N, another name", "ns", {"outro.bin"}, "velho", true},
      {"N, no name: gives up", "n", {""}, "velho", false},
      {"Enter gives up", "\r", {}, "velho", false},
      {"ESC gives up", "\x1b", {}, "velho", false},
  };
  for (const auto& c : cases) {
    Rig r;
    r.server.files["a.bin"] = "novo";
    ASSERT_TRUE(r.connect());
    writeFile(r.path("a.bin"), "velho");
    r.ui.lines = {"a.bin", r.path("a.bin")};
    for (const auto& l : c.lines) r.ui.lines.push_back(l.empty() ? l : r.path(l));
    r.keys(c.keys);
    r.commands.ReceiveFile();
    EXPECT_NE(r.ui.screen.find(ReplaceQuestion(r.path("a.bin"))), std::string::npos) << c.what;
    EXPECT_EQ(readFile(r.path("a.bin")), c.old) << c.what;
    EXPECT_EQ(std::filesystem::exists(r.path("outro.bin")), c.other) << c.what;
    const bool received = std::string(c.old) == "novo" || c.other;
    EXPECT_EQ(heard(r, "FTFIMREC"), received) << c.what;
    EXPECT_EQ(heard(r, "FTDESIS"), !received) << c.what;
    if (!received) {
      EXPECT_TRUE(r.server.commands().empty()) << c.what;
    }
  }
}

// The data path fails in ways that are not the file's: each said for what
// it is, nothing left on disk, the connection still usable.
TEST(Receive, ARefusedTypeOrADataConnectionThatNeverComesEndsTheTransferSaidAsSuch) {
  struct Case {
    const char* what;
    void (*setup)(Rig&);
    std::vector<std::string> commands;  // the transcript, from TYPE on
    const char* heard;                  // in the catalogue, or a transfer text
  } cases[] = {
      {"TYPE I refused",
       [](Rig& r) { r.server.typeReply = "504 Tipo nao suportado\r\n"; },
       {"TYPE I"},
       "announce FTERRMOD"},
      {"the server never opens the data connection (active mode)",
       [](Rig& r) {
         r.st.passive = false;
         r.server.neverConnect = true;
       },
       {"TYPE I", "SIZE a.bin", "MDTM a.bin", "PORT", "RETR a.bin", "ABOR"},
       "semconexao"},
  };
  for (const auto& c : cases) {
    Rig r;
    r.ui.settings["PRAZO"] = "1";
    r.server.files["a.bin"] = pattern(100000);
    ASSERT_TRUE(r.connect());
    c.setup(r);
    r.ui.lines = {"a.bin", r.path("a.bin")};
    r.keys("s");
    const auto start = std::chrono::steady_clock::now();
    r.commands.ReceiveFile();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << c.what;
    const std::string told = std::string(c.heard).rfind("announce ", 0) == 0
                                 ? std::string(c.heard)
                                 : "speak " + TransferText(c.heard);
    EXPECT_TRUE(r.ui.has(told)) << c.what;
    EXPECT_FALSE(heard(r, "FTFIMREC")) << c.what;
    EXPECT_FALSE(heard(r, "FTCOMCAI")) << c.what;
    EXPECT_TRUE(r.localNames().empty()) << c.what;
    auto cmds = r.server.commands();
    for (auto& cmd : cmds)
      if (cmd.rfind("PORT ", 0) == 0) cmd = "PORT";
    EXPECT_EQ(cmds, c.commands) << c.what;
    // The connection goes on: the next command gets its own reply.
    r.ui.events.clear();
    EXPECT_TRUE(r.dir.changeTo(RemoteName::typed("pub"))) << c.what;
  }
  {
    Rig r;  // the server's line is said after the refusal
    r.server.typeReply = "504 Tipo nao suportado\r\n";
    ASSERT_TRUE(r.connect());
    r.ui.lines = {"a.bin", r.path("a.bin")};
    r.keys("s");
    r.commands.ReceiveFile();
    EXPECT_TRUE(r.ui.has("speak 504 Tipo nao suportado"));
  }
}

TEST(Passive, AnEpsvPortThatNothingAnswersIsSaidAndPasvTriedOnce) {
  // A port where nothing listens.
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  socklen_t len = sizeof sa;
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&sa), &len);
  const std::string dead = std::to_string(ntohs(sa.sin_port));
  ::close(probe);
  Rig r;
  r.server.files["a.bin"] = "abc";
  r.server.epsvReply = "229 Modo passivo estendido (|||" + dead + "|)\r\n";
  ASSERT_TRUE(r.connect());
  r.ui.lines = {"a.bin", r.path("a.bin")};
  r.keys("s");
  r.commands.ReceiveFile();
  EXPECT_TRUE(r.ui.has("speak " + TransferText("epsvmudo")));
  EXPECT_FALSE(heard(r, "FTTRAREC"));
  EXPECT_TRUE(heard(r, "FTFIMREC"));
  EXPECT_EQ(readFile(r.path("a.bin")), "abc");
  EXPECT_EQ(r.server.commands(), (std::vector<std::string>{"TYPE I", "SIZE a.bin", "MDTM a.bin",
                                                           "EPSV", "PASV", "RETR a.bin"}));
}

TEST(Passive, EpsvRefusedFallsBackToPasvOnceForTheConnection) {
  Rig r;
  r.server.files["a.bin"] = "abc";
  r.server.epsvReply = "502 Nao conheco\r\n";
  ASSERT_TRUE(r.connect());
  for (int i = 0; i < 2; ++i) {
    r.ui.lines = {"a.bin", r.path("a.bin")};
    r.keys(i == 0 ? "s" : "ss");  // the second replaces the first
    r.commands.ReceiveFile();
  }
  EXPECT_EQ(readFile(r.path("a.bin")), "abc");
  EXPECT_EQ(
      r.server.commands(),
      (std::vector<std::string>{"TYPE I", "SIZE a.bin", "MDTM a.bin", "EPSV", "PASV", "RETR a.bin",
                                "TYPE I", "SIZE a.bin", "MDTM a.bin", "PASV", "RETR a.bin"}));
}
