// The client against a scripted server on loopback: the exact commands it
// sends, what the user hears, and that it ends (never hangs) when the server
// misbehaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>

#include "base/keyCodes.h"
#include "ftp/naviro.h"
#include "ftpFakes.h"

using namespace ftp;
using namespace ftp_test;

namespace {

using Setup = void (*)(RecordingTela&);

struct Outcome {
  std::vector<std::string> commands;
  std::vector<std::string> announced;
  std::vector<std::string> events;
  std::string screen;
  uint8_t secretColour = 15;
  int exit = -1;
};

Outcome runClient(const std::vector<Step>& steps, const std::vector<std::string>& lines,
                  const std::string& keys, std::vector<std::string> secrets = {},
                  std::optional<std::string> host = std::nullopt,
                  std::map<std::string, std::string> settings = {}) {
  ScriptedServer server(steps);
  RecordingTela ui;
  for (auto& [key, value] : settings) ui.settings[key] = value;
  ui.lines.assign(lines.begin(), lines.end());
  ui.secrets.assign(secrets.begin(), secrets.end());
  for (char k : keys) ui.keys.push_back(static_cast<uint8_t>(k));
  Outcome o;
  {
    Client client(ui, host ? *host : "127.0.0.1:" + std::to_string(server.port()));
    try {
      client.Run();
    } catch (const Ended& e) {
      o.exit = e.code;
    }
  }
  o.commands = server.commands();
  o.announced = ui.announced();
  o.events = ui.events;
  o.screen = ui.screen;
  o.secretColour = ui.foregroundWhileSecret;
  return o;
}

bool contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

Step greet(std::string text = "220 Servidor pronto\r\n") {
  return {false, {std::move(text)}, false};
}
Step reply(std::string text) {
  return {true, {std::move(text)}, false};
}

}  // namespace

TEST(Login, PasswordAndAccessKeyAreAskedAsTheCodesDemandAndNeverShown) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::string> secrets;
    std::vector<std::string> expected;
    bool granted;
  };
  const Case cases[] = {
      {"230 at once", {greet(), reply("230 Entre\r\n")}, {}, {"USER ana", "QUIT"}, true},
      {"331 then 230",
       {greet(), reply("331 Senha\r\n"), reply("230 Ok\r\n")},
       {"segredo"},
       {"USER ana", "PASS segredo", "QUIT"},
       true},
      {"331, 332, 230",
       {greet(), reply("331 Senha\r\n"), reply("332 Conta\r\n"), reply("230 Ok\r\n")},
       {"segredo", "k3y"},
       {"USER ana", "PASS segredo", "ACCT k3y", "QUIT"},
       true},
      {"multi-line 331 judged once",
       {greet(), reply("331-um\r\n331-dois\r\n331 tres\r\n"), reply("230 Ok\r\n")},
       {"segredo"},
       {"USER ana", "PASS segredo", "QUIT"},
       true},
      {"331 split after two digits",
       {greet(), {true, {"33", "1 Senha\r\n"}, false}, reply("230 Ok\r\n")},
       {"segredo"},
       {"USER ana", "PASS segredo", "QUIT"},
       true},
      {"530 refuses", {greet(), reply("530 Nao\r\n")}, {}, {"USER ana", "QUIT"}, false},
      {"PASS refused",
       {greet(), reply("331 Senha\r\n"), reply("530 Errada\r\n")},
       {"segredo"},
       {"USER ana", "PASS segredo", "QUIT"},
       false},
      {"Esc at the account question", {greet()}, {}, {"QUIT"}, false},
      // Codes outside the step's own: never "Acesso liberado".
      {"USER 314", {greet(), reply("314 Hmm\r\n")}, {}, {"USER ana", "QUIT"}, false},
      {"PASS 314",
       {greet(), reply("331 Senha\r\n"), reply("314 Hmm\r\n")},
       {"segredo"},
       {"USER ana", "PASS segredo", "QUIT"},
       false},
      {"PASS 430",
       {greet(), reply("331 Senha\r\n"), reply("430 Invalido\r\n")},
       {"segredo"},
       {"USER ana", "PASS segredo", "QUIT"},
       false},
      {"ACCT 532",
       {greet(), reply("331 Senha\r\n"), reply("332 Conta\r\n"), reply("532 Nao\r\n")},
       {"segredo", "k3y"},
       {"USER ana", "PASS segredo", "ACCT k3y", "QUIT"},
       false},
      {"ACCT 530",
       {greet(), reply("332 Conta\r\n"), reply("530 Nao\r\n")},
       {"k3y"},
       {"USER ana", "ACCT k3y", "QUIT"},
       false},
      {"a preliminary reply, then 230",
       {greet(), {true, {"120 Um momento\r\n", "230 Ok\r\n"}, false}},
       {},
       {"USER ana", "QUIT"},
       true},
      {"a preliminary reply, then 530: the step's own reply decides",
       {greet(), {true, {"120 Um momento\r\n", "530 Nao\r\n"}, false}},
       {},
       {"USER ana", "QUIT"},
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool esc = c.expected.size() == 1;
    // Not let in, D, R and I are answered here, and nothing goes to the server.
    const Outcome o = runClient(c.steps, {esc ? "" : "ana"}, c.granted ? "\x1b" : "dri\x1b",
                                c.secrets);
    EXPECT_EQ(o.commands, c.expected);
    EXPECT_EQ(std::count(o.announced.begin(), o.announced.end(), "FTNAOENT"), c.granted ? 0 : 3);
    EXPECT_EQ(contains(o.announced, "FTACLIBE"), c.granted);
    // Not let in, and still connected: the user hears that L tries again.
    EXPECT_EQ(contains(o.announced, "FTLOGINL"), !c.granted);
    EXPECT_EQ(o.announced.back(), "FTFIMPRG");
    EXPECT_EQ(o.exit, c.granted ? ftp::kExitNormal : ftp::kExitNoLogin);
    for (const auto& s : c.secrets) {
      EXPECT_EQ(o.screen.find(s), std::string::npos) << "secret on screen";
      for (const auto& e : o.events) EXPECT_EQ(e.find(s), std::string::npos) << e;
    }
    if (!c.secrets.empty()) {
      EXPECT_EQ(o.secretColour, 0);
    }
  }
}

TEST(Login, AProposedAccountIsSaidAndTakenByEnterOrReplaced) {
  for (const char* typed : {"", "ana"}) {
    const Outcome o =
        runClient({greet(), reply("331 Senha\r\n"), reply("230 Ok\r\n")}, {typed}, "\x1b",
                  {"x@y"}, std::nullopt, {{"CONTA", "anonymous"}});
    const std::string user = *typed ? typed : "anonymous";
    EXPECT_EQ(o.commands, (std::vector<std::string>{"USER " + user, "PASS x@y", "QUIT"}));
    EXPECT_TRUE(contains(o.events, "speak sugiro anonymous"));
    EXPECT_TRUE(contains(o.events, "proposed anonymous"));
  }
}

TEST(Login, RefusalIsAnnouncedThenTheServerLineSpoken) {
  const Outcome o = runClient({greet(), reply("530 Conta desconhecida\r\n")}, {"ana"}, "\x1b");
  const auto it = std::find(o.events.begin(), o.events.end(), "announce FTERCONT");
  ASSERT_NE(it, o.events.end()) << ::testing::PrintToString(o.events)
                                << ::testing::PrintToString(o.commands);
  // The code's meaning first, then the server's words.
  const auto meaning = std::find(it, o.events.end(), "speak Conta ou senha recusada");
  EXPECT_TRUE(std::find(meaning, o.events.end(), "speak 530 Conta desconhecida") != o.events.end());
  EXPECT_FALSE(contains(o.announced, "FTSENHA"));
}

TEST(Greeting, AcceptedOrRefusedByItsLastLine) {
  struct Case {
    const char* name;
    Step greeting;
    bool accepted;
  };
  const Case cases[] = {
      {"continuations then 220", greet("220-Bem-vindo\r\n220-ao teste\r\n220 pronto\r\n"), true},
      {"split across receives", {false, {"22", "0-a\r\n2", "20 b\r\n"}, false}, true},
      {"lone 220", greet("220\r\n"), true},
      {"LF line ends", greet("220-a\n220 b\n"), true},
      {"421", greet("421 Ocupado\r\n"), false},
      {"120 final", greet("120 Daqui a pouco\r\n"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome o = runClient({c.greeting, reply("230 Ok\r\n")}, {"ana"}, "\x1b");
    EXPECT_EQ(contains(o.commands, "USER ana"), c.accepted);
    EXPECT_EQ(contains(o.announced, "FTERRSRV"), !c.accepted);
    EXPECT_EQ(o.announced.back(), "FTFIMPRG");
    EXPECT_EQ(o.exit, c.accepted ? ftp::kExitNormal : ftp::kExitNoConnection);
  }
}

TEST(Greeting, EscWhileTheServerIsSilentEndsTheProgram) {
  ScriptedServer server({});
  RecordingTela ui;
  ui.escapeInterrupts = true;
  ui.keys = {27};
  Client client(ui, "127.0.0.1:" + std::to_string(server.port()));
  EXPECT_THROW(client.Run(), Ended);
  EXPECT_TRUE(contains(ui.announced(), "FTDESIS"));
  EXPECT_EQ(ui.announced().back(), "FTFIMPRG");
  EXPECT_TRUE(server.commands().empty());
}

TEST(Connection, UnknownHostAndRefusedPortEndWithTheirMessages) {
  {
    ScriptedServer unused({});
    RecordingTela ui;
    Client client(ui, std::string("nao-existe.invalid"));
    int code = -1;
    try {
      client.Run();
    } catch (const Ended& e) {
      code = e.code;
    }
    EXPECT_EQ(code, ftp::kExitNoConnection);
    EXPECT_TRUE(contains(ui.announced(), "FTERCOMP"));
  }
  {
    RecordingTela ui;
    Client client(ui, std::string("127.0.0.1:1"));
    int code = -1;
    try {
      client.Run();
    } catch (const Ended& e) {
      code = e.code;
    }
    EXPECT_EQ(code, ftp::kExitNoConnection);
    EXPECT_TRUE(contains(ui.announced(), "FTNAOCON"));
  }
}

TEST(Connection, ClosedInTheMiddleOfAReplyEndsWithoutGrantingAccess) {
  const Outcome o = runClient({greet(), {true, {"331-metade\r\n"}, true}}, {"ana"}, "");
  EXPECT_EQ(o.commands, std::vector<std::string>{"USER ana"});
  EXPECT_FALSE(contains(o.announced, "FTACLIBE"));
  EXPECT_EQ(o.announced.back(), "FTFIMPRG");
  EXPECT_EQ(o.exit, ftp::kExitNoLogin);
}

TEST(Commands, DirectoryAndFileCommandsSendTheRightLinesAndTellTheOutcome) {
  struct Case {
    const char* name;
    std::string keys;
    std::vector<std::string> lines;
    std::vector<Step> replies;
    std::vector<std::string> commands;
    std::vector<std::string> heard;  // announcements and speech, in order
  };
  const Case cases[] = {
      {"S with ..",
       "s",
       {".."},
       {reply("257 \"/home/ana\" atual\r\n"), reply("250 Ok\r\n")},
       {"PWD", "CDUP"},
       {"announce FTVERDIR", "speak /home/ana", "announce FTQUEDIR", "announce FTOK"}},
      {"S refused",
       "S",
       {"nada"},
       {reply("550 Falhou\r\n"), reply("550 Nao\r\n")},
       {"PWD", "CWD nada"},
       {"announce FTNAODIR", "announce FTNAOTRO"}},
      {"S no quote",
       "S",
       {""},
       {reply("257 sem aspas\r\n")},
       {"PWD"},
       {"speak 257 sem aspas", "announce FTDESIS"}},
      {"C with ..", "c", {".."}, {reply("257 \"/x\" criado\r\n")}, {"MKD"}, {"announce FTOK"}},
      {"C refused: the server's words after ours",
       "C",
       {"nova"},
       {reply("550 Nao\r\n")},
       {"MKD nova"},
       {"announce FTNCRIA", "speak 550 Nao"}},
      {"A with 150",
       "a",
       {"velho.txt"},
       {reply("150 Apagando\r\n")},
       {"DELE velho.txt"},
       {"announce FTAPAGA", "announce FTNOMAPA", "announce FTOKAPAG"}},
      {"A refused", "A", {"x"}, {reply("550 Nao\r\n")}, {"DELE x"}, {"announce FTNAOAPA"}},
      {"A cancelled", "A", {""}, {}, {}, {"announce FTDESIS"}},
      {"I", "i", {}, {reply("257 \"/pub\" atual\r\n")}, {"PWD"}, {"speak \"/pub\" atual"}},
      {"I refused", "i", {}, {reply("550 Sem\r\n")}, {"PWD"}, {"announce FTNAODIR", "speak 550 Sem"}},
      {"raw empty", "/", {""}, {reply("500 Vazio\r\n")}, {""}, {"speak 500 Vazio"}},
      {"raw multi-line",
       "/",
       {"HELP"},
       {reply("214-Ajuda\r\n214 Fim\r\n")},
       {"HELP"},
       {"speak 214-Ajuda", "speak 214 Fim"}},
      {"V twice", "vV", {}, {}, {}, {"announce FTVERBO", "announce FTNAOVRB"}},
      {"P twice", "pp", {}, {}, {}, {"announce FTPNPASS", "announce FTPPASSI"}},
      {"Q", "q", {}, {}, {}, {"announce FTTRANS", "speak 0 K"}},
      {"M renames with RNFR then RNTO",
       "m",
       {"velho.txt", "novo nome.txt"},
       {reply("350 Pronto\r\n"), reply("250 Ok\r\n")},
       {"RNFR velho.txt", "RNTO novo nome.txt"},
       {"announce FTNOMATU", "announce FTNOVNOM", "announce FTOK"}},
      {"M refused at RNFR sends no RNTO",
       "M",
       {"nada", "x"},
       {reply("550 Nao existe\r\n")},
       {"RNFR nada"},
       {"announce FTNAOREN", "speak 550 Nao existe"}},
      {"M refused at RNTO",
       "m",
       {"a", "b"},
       {reply("350 Pronto\r\n"), reply("553 Nome ruim\r\n")},
       {"RNFR a", "RNTO b"},
       {"announce FTNAOREN", "speak 553 Nome ruim"}},
      {"M cancelled", "m", {""}, {}, {}, {"announce FTDESIS"}},
      {"M with a line break in a name sends nothing",
       "m",
       {"a\rRMD x"},
       {},
       {},
       {"announce FTNOMATU", "announce FTNOMINV"}},
      {"X removes a directory", "x", {"vazio"}, {reply("250 Ok\r\n")}, {"RMD vazio"},
       {"announce FTQUERMD", "announce FTOK"}},
      {"X refused",
       "X",
       {"cheio"},
       {reply("550 Nao vazio\r\n")},
       {"RMD cheio"},
       {"announce FTNAORMD", "speak 550 Nao vazio"}},
      {"unknown keys",
       "wjkz",
       {},
       {},
       {},
       {"announce FTERRCMD", "announce FTERRCMD", "announce FTERRCMD", "announce FTERRCMD"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Step> steps{greet(), reply("230 Ok\r\n")};
    steps.insert(steps.end(), c.replies.begin(), c.replies.end());
    std::vector<std::string> lines{"ana"};
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    const Outcome o = runClient(steps, lines, c.keys + "\x1b");
    std::vector<std::string> expected{"USER ana"};
    expected.insert(expected.end(), c.commands.begin(), c.commands.end());
    expected.push_back("QUIT");
    EXPECT_EQ(o.commands, expected);
    auto from = std::find(o.events.begin(), o.events.end(), "announce FTACLIBE");
    for (const auto& h : c.heard) {
      auto at = std::find(from, o.events.end(), h);
      EXPECT_NE(at, o.events.end()) << "not heard in order: " << h;
      if (at != o.events.end()) from = at;
    }
    EXPECT_EQ(o.announced.back(), "FTFIMPRG");
  }
}

TEST(Commands, ALeftover226AtThePromptCompletesNothingAnd221SaysGoodbye) {
  const Outcome o =
      runClient({greet(), {true, {"230 Ok\r\n", "226 Transferencia\r\n", "221 Adeus\r\n"}, true}},
                {"ana"}, "");
  EXPECT_FALSE(contains(o.announced, "FTFIMENV"));
  EXPECT_FALSE(contains(o.announced, "FTFIMREC"));
  EXPECT_TRUE(contains(o.events, "speak 226 Transferencia"));
  EXPECT_TRUE(contains(o.announced, "FTDESCON"));
  EXPECT_FALSE(contains(o.announced, "FTCOMCAI"));  // a goodbye is no lost connection
}

TEST(Commands, RepliesThatNeverComeOrNeverEndDoNotHoldTheUserForever) {
  struct Case {
    const char* name;
    std::vector<Step> after;  // what follows the login
    std::string keys;
    std::vector<std::string> lines;
    std::vector<std::string> commands;
    const char* heard;
    int seconds;  // the most it may take
  };
  const Step silent{true, {}, false};  // takes a command, answers nothing
  const Case cases[] = {
      {"QUIT unanswered", {silent, silent}, "\x1b", {}, {"USER ana", "QUIT"}, "FTFIMPRG", 5},
      {"MKD unanswered: the deadline",
       {silent, silent},
       "c",
       {"nova"},
       {"USER ana", "MKD nova"},
       "FTCOMCAI",
       4},
      {"257 holding a bare CR",
       {reply("257 \"/a\rb\" atual\r\n")},
       "i\x1b",
       {},
       {"USER ana", "PWD", "QUIT"},
       "FTFIMPRG",
       4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Step> steps{greet(), reply("230 Ok\r\n")};
    steps.insert(steps.end(), c.after.begin(), c.after.end());
    std::vector<std::string> lines{"ana"};
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    const auto start = std::chrono::steady_clock::now();
    const Outcome o = runClient(steps, lines, c.keys, {}, std::nullopt, {{"PRAZO", "1"}});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(c.seconds));
    EXPECT_EQ(o.exit, 0);
    EXPECT_EQ(o.commands, c.commands);
    EXPECT_TRUE(contains(o.announced, c.heard));
    EXPECT_EQ(o.announced.back(), "FTFIMPRG");
  }
}

TEST(Commands, ALateReplyAfterEscIsTheGivenUpCommandsAndDecidesWhatTheUserHears) {
  // ESC interrupts only the wait for CWD's slow reply (the last command
  // sent); the server's answer comes later.
  struct EscAfterCwd : RecordingTela {
    bool takeEscape() override {
      for (auto e = events.rbegin(); e != events.rend(); ++e)
        if (e->rfind("send ", 0) == 0) return *e == "send CWD pub" && RecordingTela::takeEscape();
      return false;
    }
  };
  struct Case {
    const char* name;
    std::string keys;
    std::vector<Step> after;
    std::vector<std::string> commands;
    std::vector<std::string> heard;
    const char* notHeard;
  };
  const Case cases[] = {
      {"late 250, then ESC",
       "s\x1b\x1b",
       {reply("257 \"/\" atual\r\n"), {true, {"250 Ok\r\n"}, false, 300}},
       {"USER ana", "PWD", "CWD pub", "QUIT"},
       {"announce FTDESIS", "announce FTTROCOU"},
       "announce FTNAOTRO"},
      {"late 550",
       "s\x1b\x1b",
       {reply("257 \"/\" atual\r\n"), {true, {"550 Nao\r\n"}, false, 300}},
       {"USER ana", "PWD", "CWD pub", "QUIT"},
       {"announce FTDESIS", "announce FTNAOTRO"},
       "announce FTTROCOU"},
      {"the next command gets its own reply",
       "s\x1bi\x1b",
       {reply("257 \"/\" atual\r\n"),
        {true, {"250 Ok\r\n"}, false, 300},
        reply("257 \"/pub\" atual\r\n")},
       {"USER ana", "PWD", "CWD pub", "PWD", "QUIT"},
       {"announce FTDESIS", "announce FTTROCOU", "speak \"/pub\" atual"},
       "speak Ok"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Step> steps{greet(), reply("230 Ok\r\n")};
    steps.insert(steps.end(), c.after.begin(), c.after.end());
    ScriptedServer server(steps);
    EscAfterCwd ui;
    ui.escapeInterrupts = true;
    ui.lines = {"ana", "pub"};
    for (char k : c.keys) ui.keys.push_back(static_cast<uint8_t>(k));
    {
      Client client(ui, "127.0.0.1:" + std::to_string(server.port()));
      EXPECT_THROW(client.Run(), Ended);
    }
    EXPECT_EQ(server.commands(), c.commands);
    auto from = std::find(ui.events.begin(), ui.events.end(), "send CWD pub");
    for (const auto& h : c.heard) {
      const auto at = std::find(from, ui.events.end(), h);
      EXPECT_NE(at, ui.events.end()) << "not heard in order: " << h;
      if (at != ui.events.end()) from = at;
    }
    EXPECT_FALSE(ui.has(c.notHeard));
  }
}

// A key typed while a reply is awaited is the next command: the wait goes
// on for the reply without looking at that key again and again.
TEST(Commands, AKeyTypedDuringAWaitWaitsForItsCommandWithoutSpinning) {
  ScriptedServer server({greet(), reply("230 Ok\r\n"), reply("257 \"/\" atual\r\n"),
                         {true, {"250 Ok\r\n"}, false, 400}, reply("257 \"/pub\" atual\r\n")});
  RecordingTela ui;
  // Esc is the prompt's, to end the run: it interrupts no wait, so it
  // cannot race the replies.
  ui.escapeInterrupts = false;
  ui.lines = {"ana", "pub"};
  for (char k : std::string("si\x1b")) ui.keys.push_back(static_cast<uint8_t>(k));
  {
    Client client(ui, "127.0.0.1:" + std::to_string(server.port()));
    EXPECT_THROW(client.Run(), Ended);
  }
  EXPECT_EQ(server.commands(),
            (std::vector<std::string>{"USER ana", "PWD", "CWD pub", "PWD", "QUIT"}));
  const auto cwd = std::find(ui.events.begin(), ui.events.end(), "send CWD pub");
  EXPECT_NE(std::find(cwd, ui.events.end(), "announce FTOK"), ui.events.end());
  EXPECT_LT(ui.keyLooks, 200) << "the wait looked at the keys in a loop";
}

TEST(Commands, HelpListMenuAndAltReachEveryCommand) {
  using namespace qr;
  const std::vector<std::string> menu{"FTAJUD01", "FTAJUD03", "FTAJUD04", "FTAJUD07", "FTAJUD02",
                                      "FTAJUD05", "FTAJUD8C", "FTAJUD06", "FTAJUD8D", "FTAJUD8E",
                                      "FTAJUD8F", "FTAJUD8G", "FTAJUD08", "FTAJUD8A", "FTAJUD8B",
                                      "FTAJUD09", "FTAJUD10"};
  auto join = [](std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  const std::vector<std::string> list = join({{"FTAJUD00"}, menu});
  const std::vector<std::string> bye{"FTCMD", "FTFIMPRG"};
  struct Case {
    const char* name;
    std::vector<uint8_t> keys;
    int menuChoice;  // -1: no menu may open
    std::vector<std::string> lines;
    std::vector<std::string> heard;  // every announcement after the login
    std::string echoed;              // the command characters written
  };
  const Case cases[] = {
      {"F1: the list, nothing echoed",
       {0, ext::kF1, key::kEsc},
       -1,
       {},
       join({{"FTCMD"}, list, bye}),
       ""},
      {"?: the list", {'?', key::kEsc}, -1, {}, join({{"FTCMD"}, list, bye}), "?"},
      {"Up, last entry: ends as ESC does", {0, ext::kUp}, 17, {}, {"FTCMD", "FTFIMPRG"}, ""},
      {"Down, third entry: send",
       {0, ext::kDown, key::kEsc},
       3,
       {""},
       join({{"FTCMD", "FTTRANSM", "FTNOMLOC"}, bye}),
       "t"},
      {"Up, nothing chosen: Enter", {0, ext::kUp, key::kEsc}, 0, {}, join({{"FTCMD"}, bye}), ""},
      {"Alt+Q, then the command",
       {0, ext::kAltQ, 'v', key::kEsc},
       -1,
       {},
       join({{"FTCMD", "FTVERBO"}, bye}),
       "v"},
      {"Alt+E, then Down",
       {0, ext::kAltE, 0, ext::kDown, key::kEsc},
       16,
       {},
       join({{"FTCMD"}, list, bye}),
       "?"},
      {"other special key",
       {0, ext::kF2, key::kEsc},
       -1,
       {},
       join({{"FTCMD", "FTERRCMD"}, bye}),
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer server({greet(), reply("230 Ok\r\n"), reply("221 Adeus\r\n")});
    RecordingTela ui;
    ui.lines = {"ana"};
    ui.lines.insert(ui.lines.end(), c.lines.begin(), c.lines.end());
    ui.menuChoice = c.menuChoice;
    ui.keys.assign(c.keys.begin(), c.keys.end());
    Client client(ui, "127.0.0.1:" + std::to_string(server.port()));
    EXPECT_THROW(client.Run(), Ended);
    auto from = std::find(ui.events.begin(), ui.events.end(), "announce FTACLIBE");
    ASSERT_NE(from, ui.events.end());
    std::vector<std::string> heard;
    std::string echoed;
    for (auto e = from + 1; e != ui.events.end(); ++e) {
      if (e->rfind("announce ", 0) == 0) heard.push_back(e->substr(9));
      if (e->rfind("write ", 0) == 0 && e->size() == 7) echoed += e->back();
    }
    EXPECT_EQ(heard, c.heard);
    EXPECT_EQ(echoed, c.echoed);
    EXPECT_EQ(ui.has("menu 17"), c.menuChoice >= 0);
    if (c.menuChoice >= 0) {
      EXPECT_EQ(ui.menuKeys, menu);
    }
    EXPECT_EQ(server.commands(), (std::vector<std::string>{"USER ana", "QUIT"}));
  }
}

TEST(Commands, KeyPressedDuringTheHelpListIsTheNextCommand) {
  // F1 alone ends with the end-of-list tone; F1 with Down already typed
  // keeps Down, which opens the menu, and sounds no tone.
  for (const bool downTyped : {false, true}) {
    SCOPED_TRACE(downTyped ? "Down typed" : "F1 alone");
    // Without Down the server hangs up after the login, which ends the run
    // once the keys are used up.
    ScriptedServer server({greet(), {true, {"230 Ok\r\n"}, !downTyped}});
    RecordingTela ui;
    ui.lines = {"ana"};
    ui.menuChoice = 17;
    ui.keys = {0, 59};
    if (downTyped) ui.keys.insert(ui.keys.end(), {0, 80});  // the menu's last entry ends
    Client client(ui, "127.0.0.1:" + std::to_string(server.port()));
    EXPECT_THROW(client.Run(), Ended);
    // What happens between the end of the list and the next prompt.
    const auto list = std::find(ui.events.begin(), ui.events.end(), "announce FTAJUD10");
    ASSERT_NE(list, ui.events.end());
    const std::vector<std::string> between(list,
                                           std::find(list, ui.events.end(), "announce FTCMD"));
    EXPECT_EQ(contains(between, "flush"), false);
    EXPECT_EQ(contains(between, "beep"), !downTyped);
    EXPECT_EQ(ui.has("menu 17"), downTyped);
  }
}

namespace {

// A client connected to a server that greeted and logged in: for the data
// port steps, which no command key reaches yet.
struct Connected {
  explicit Connected(std::vector<Step> steps) : server(std::move(steps)) {
    client.emplace(ui, "127.0.0.1:" + std::to_string(server.port()));
    ui.settings["PASSIVO"] = "";
    EXPECT_TRUE(client->InitializeClient());
    EXPECT_TRUE(client->connect());
    (void)client->dlg().ReadReply();
  }
  ScriptedServer server;
  RecordingTela ui;
  std::optional<Client> client;
};

}  // namespace

TEST(DataPort, PassiveReplyGivesThePortOrAClearRefusal) {
  struct Case {
    const char* name;
    std::vector<std::string> pieces;
    bool ok;
    uint16_t port;
  };
  const Case cases[] = {
      {"plain", {"227 Entering Passive Mode (10,0,0,1,195,80)\r\n"}, true, 50000},
      {"split digits", {"22", "7 Modo (127,0,0,1,4,1)\r\n"}, true, 1025},
      {"no parentheses", {"227 Entering 127,0,0,1,4,1\r\n"}, true, 1025},
      {"words around", {"227 =127,0,0,1,4,2 ok\r\n"}, true, 1026},
      {"number above 255", {"227 (127,0,0,1,400,1)\r\n"}, false, 9999},
      {"missing numbers", {"227 (127,0,0)\r\n"}, false, 9999},
      {"refused", {"500 Nao\r\n"}, false, 9999},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // A server without EPSV: PASV follows.
    Connected k({greet(), reply("502 Nao\r\n"), {true, c.pieces, false}});
    // The port given is tried (nothing listens there): not a refusal.
    EXPECT_EQ(k.client->transfer().openDataPath(true) != DataPathOpen::Refused, c.ok);
    EXPECT_EQ(k.client->state().passiveDataPort, c.port);
    EXPECT_EQ(contains(k.ui.announced(), "FTNAOPSV"), !c.ok);
  }
}

TEST(DataPort, PortAnnouncesTheSystemChosenPortAndReportsRefusal) {
  Connected k({greet(), reply("200 Ok\r\n"), {true, {"50", "0 Nao\r\n"}, false}});
  ClientState& st = k.client->state();
  st.passive = false;
  uint16_t ports[2] = {};
  for (uint16_t& p : ports) {
    // A transfer goes on after a refused PORT.
    EXPECT_EQ(k.client->transfer().openDataPath(false), DataPathOpen::Open);
    p = k.client->rede().listeningPort();
    EXPECT_NE(p, 0);
    k.client->rede().CloseDataConnection();
  }
  EXPECT_TRUE(contains(k.ui.announced(), "FTERPORT"));
  k.client.reset();
  const auto cmds = k.server.commands();
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0], "PORT 127,0,0,1," + std::to_string(ports[0] / 256) + "," +
                         std::to_string(ports[0] % 256));
  EXPECT_EQ(cmds[1], "PORT 127,0,0,1," + std::to_string(ports[1] / 256) + "," +
                         std::to_string(ports[1] % 256));
}

namespace {

// Connects to the client's data port from the given loopback address and
// sends bytes; whether the connection was accepted and read.
int connectFrom(const char* from, uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in me{};
  me.sin_family = AF_INET;
  ::inet_pton(AF_INET, from, &me.sin_addr);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&me), sizeof me) != 0) {
    ::close(fd);
    return -1;
  }
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = htons(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

TEST(DataPort, ActiveModeAcceptsOnlyTheServersAddressAndKeepsListeningPastOthers) {
  Connected k({greet()});
  ClientState& st = k.client->state();
  Rede& rede = k.client->rede();
  st.passive = false;
  ASSERT_TRUE(rede.OpenDataConnection().ok());
  EXPECT_TRUE(st.listening);
  // A stranger on another address comes first; then the server.
  const int stranger = connectFrom("127.0.0.2", rede.listeningPort());
  ASSERT_GE(stranger, 0);
  auto acceptNext = [&] {
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
      const Ready r = rede.wait({.accept = true}, 100);
      if (r.listen) {
        EXPECT_TRUE(rede.AcceptDataConnection().ok());
        return;
      }
    }
  };
  acceptNext();
  EXPECT_FALSE(st.dataOpen);
  EXPECT_TRUE(st.listening);
  const int server = connectFrom("127.0.0.1", rede.listeningPort());
  ASSERT_GE(server, 0);
  acceptNext();
  EXPECT_TRUE(st.dataOpen);
  EXPECT_FALSE(st.listening);  // nobody else can come in now
  const std::string data(20000, 'd');
  ASSERT_EQ(::send(server, data.data(), data.size(), 0), 20000);
  ::close(server);
  std::string block, got;
  for (int i = 0; i < 200 && got.size() < data.size(); ++i) {
    (void)rede.wait({.dataRead = true}, 100);
    if (rede.ReceiveDataBlock(block) == DataIo::Moved) got += block;
  }
  EXPECT_EQ(got, data);
  EXPECT_EQ(st.transferBytes, 20000);
  // The stranger was shut out, never served.
  char c;
  EXPECT_LE(::recv(stranger, &c, 1, 0), 0);
  ::close(stranger);
  Client::findCommand('Q')->run(*k.client);
  EXPECT_TRUE(k.ui.has("speak 20 K"));
}
