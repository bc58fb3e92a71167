// Reply-line parsing, the splitter and the small pure helpers of the FTP
// client: the faults here are silent ones (a reply taken as finished too
// early, a hang on a line that never ends, a wrong port).
#include <gtest/gtest.h>

#include <cstring>

#include "base/cp1252.h"
#include "ftp/ftpBrowse.h"
#include "ftp/ftpDir.h"
#include "ftp/ftpDlg.h"
#include "ftp/ftpFiles.h"
#include "ftp/ftpHost.h"
#include "ftp/ftpLogin.h"
#include "ftp/ftpOutcome.h"
#include "ftp/ftpPlan.h"
#include "ftp/ftpPort.h"
#include "ftp/ftpRede.h"
#include "ftp/ftpTls.h"
#include "ftp/ftpTlsCanal.h"
#include "ftp/ftpmsg.h"
#include "ftp/naviro.h"
#include "speech/recordedVoice.h"

using namespace ftp;

TEST(ReplyCode, DigitsAfterBlanksAndTheCharacterAfterThemDecide) {
  struct Case {
    const char* line;
    int code;
    bool continuation;
  } cases[] = {
      {"220-Bem-vindo", 220, true},
      {"220 pronto", 220, false},
      {"   550 nao existe", 550, false},
      {"palavras apenas", 0, true},
      {"", 0, true},
      {"257", 257, false},
      {"123 texto dentro", 123, false},
      {"331-", 331, true},
      {"99999999999999999999 x", 2147483647, false},
      {"\t220 tab is no blank", 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const ReplyCode r = ParseReplyCode(c.line);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.continuation, c.continuation);
  }
}

TEST(ReplySplitter, JoinsLinesAcrossReceivesAndTakesEveryLineEnd) {
  ReplySplitter s;
  s.feed("22");
  EXPECT_FALSE(s.hasLines());
  s.feed("0 ok\r\n220-a\r\n220 b\r");
  s.feed("\nbare\nlf\n\r\n");
  // A CR without its LF (a name holding a CR) does not cut a reply in two.
  s.feed("257 \"/a\rb\" criado\r");
  EXPECT_EQ(s.size(), 6u);
  s.feed("\n");
  std::vector<std::string> got;
  while (s.hasLines()) got.push_back(s.take());
  EXPECT_EQ(got, (std::vector<std::string>{"220 ok", "220-a", "220 b", "bare", "lf", "",
                                           "257 \"/a b\" criado"}));
}

TEST(ReplySplitter, AWholeReplyIsQueuedOnlyOnceItsLastLineIs) {
  ReplySplitter s;
  s.feed("15");
  EXPECT_FALSE(s.hasWholeReply());
  s.feed("0-Abrindo\r\n150 ");
  EXPECT_FALSE(s.hasWholeReply());  // a continuation and half a line
  s.feed("ok\r\n22");
  EXPECT_TRUE(s.hasWholeReply());
  (void)s.take();
  (void)s.take();
  EXPECT_FALSE(s.hasWholeReply());  // "22" is no reply yet
  s.feed("6 fim\r\n");
  EXPECT_TRUE(s.hasWholeReply());
  EXPECT_EQ(s.take(), "226 fim");
  EXPECT_FALSE(s.hasWholeReply());
}

TEST(ReplySplitter, DecodesUtf8AndNeutralisesControlBytes) {
  ReplySplitter s;
  s.feed(std::string("257 \"/m\xC3\xBAsica\"\r\n", 16));
  s.feed(
      std::string("550 a\0b\x07\x08"
                  "c\r\n",
                  12));
  s.feed("250 \xE9t\xE9\r\n");  // not UTF-8: taken as Windows-1252
  EXPECT_EQ(s.take(), qr::W("257 \"/música\""));
  EXPECT_EQ(s.take(), "550 a b  c");
  EXPECT_EQ(s.take(), "250 \xE9t\xE9");
}

TEST(ReplySplitter, OverlongLinesAreCutAndFloodsAreKeptWhole) {
  ReplySplitter s;
  s.feed("200 " + std::string(100 * 1024, 'x') + "\r\n");
  EXPECT_EQ(s.take().size(), kMaxReplyLine);
  std::string flood;
  for (int i = 0; i < 10000; ++i) flood += "220-linha\r\n";
  s.feed(flood);
  EXPECT_EQ(s.size(), 10000u);
}

TEST(TakeNumber, SkipsToTheNextRunOfDigitsAndRemovesIt) {
  std::string t = "Entering Passive Mode (10,0,0,1,195,80).";
  const int expected[] = {10, 0, 0, 1, 195, 80, 0};
  for (int e : expected) EXPECT_EQ(TakeNumber(t), e);
  EXPECT_TRUE(t.empty());
  std::string big = "x99999999999999999999";
  EXPECT_EQ(TakeNumber(big), 2147483647);
}

TEST(PassiveNumbers, RefusesRepliesThatWouldGiveAWrongPort) {
  EXPECT_EQ(PassiveNumbers("227 Entering (10,0,0,1,195,80)"),
            (std::array<int, 6>{10, 0, 0, 1, 195, 80}));
  // RFC 1123 section 4.1.2.6: the numbers wherever they stand.
  EXPECT_EQ(PassiveNumbers("227 Entering 10,0,0,1,195,80"),
            (std::array<int, 6>{10, 0, 0, 1, 195, 80}));
  EXPECT_EQ(PassiveNumbers("227 Modo 2 (10,0,0,1,195,81)."),
            (std::array<int, 6>{10, 0, 0, 1, 195, 81}));
  EXPECT_FALSE(PassiveNumbers("227 Entering 10,0,0,1,195"));
  EXPECT_FALSE(PassiveNumbers("227 Entering (10,0,0,1,195)"));
  EXPECT_FALSE(PassiveNumbers("227 Entering (10,0,0,1,300,80)"));
}

TEST(PortCommand, AddressBytesInNetworkOrderThenThePort) {
  uint32_t address = 0;
  const uint8_t bytes[4] = {192, 168, 0, 10};
  std::memcpy(&address, bytes, 4);
  EXPECT_EQ(PortCommand(address, 1045), "PORT 192,168,0,10,4,21");
  EXPECT_EQ(PortCommand(address, 0), "PORT 192,168,0,10,0,0");
}

TEST(SmallRules, PathsCodesPortsAndCounts) {
  EXPECT_EQ(QuotedPath("257 \"/home/ana\" is current"), "/home/ana");
  EXPECT_EQ(QuotedPath("257 \"/a\"\"b\" x"), "/a\"b");
  EXPECT_EQ(QuotedPath("257 \"/\"\"hello\"\"\" created"), "/\"hello\"");
  EXPECT_EQ(QuotedPath("257 \"\"\"\" x"), "\"");
  EXPECT_EQ(QuotedPath("257 no quote"), "");
  EXPECT_EQ(QuotedPath("257 \"/open"), "/open");

  std::string host;
  uint16_t port = 0;
  SplitHostPort("ftp.exemplo.br", host, port);
  EXPECT_EQ(host, "ftp.exemplo.br");
  EXPECT_EQ(port, 21);
  SplitHostPort("127.0.0.1:2121", host, port);
  EXPECT_EQ(host, "127.0.0.1");
  EXPECT_EQ(port, 2121);
  SplitHostPort("nome:99999", host, port);
  EXPECT_EQ(host, "nome:99999");
  EXPECT_EQ(port, 21);

  EXPECT_EQ(KilobytesRoundedUp(0), 0);
  EXPECT_EQ(KilobytesRoundedUp(1), 1);
  EXPECT_EQ(KilobytesRoundedUp(1024), 1);
  EXPECT_EQ(KilobytesRoundedUp(1025), 2);
  EXPECT_EQ(KilobytesRoundedUp(5'000'000'000LL), 4882813);

  EXPECT_EQ(LoggedCommand("PASS segredo"), "PASS ****");
  EXPECT_EQ(LoggedCommand("acct chave"), "acct ****");
  EXPECT_EQ(LoggedCommand("USER ana"), "USER ana");
}

TEST(TlsRules, ModesKeptCertificatesAndFingerprints) {
  EXPECT_EQ(TlsModeFromSetting(""), TlsMode::Auto);
  EXPECT_EQ(TlsModeFromSetting("AUTO"), TlsMode::Auto);
  EXPECT_EQ(TlsModeFromSetting("s"), TlsMode::Required);
  EXPECT_EQ(TlsModeFromSetting("Nunca"), TlsMode::Never);

  // A host's line is found by its whole key: port 21 is not port 2121.
  const std::string kept = "127.0.0.1:2121 AAAA\r\nftp.br:21 BBBB\n127.0.0.1:21 CCCC\n";
  EXPECT_EQ(RememberedFingerprint(kept, "127.0.0.1:21"), "CCCC");
  EXPECT_EQ(RememberedFingerprint(kept, "127.0.0.1:2121"), "AAAA");
  EXPECT_EQ(RememberedFingerprint(kept, "ftp.br:21"), "BBBB");
  EXPECT_EQ(RememberedFingerprint(kept, "ftp.br:2"), std::nullopt);
  // Host names are found whatever the case of their letters.
  EXPECT_EQ(RememberedFingerprint("FTP.Exemplo.BR:21 DDDD\n", "ftp.exemplo.br:21"), "DDDD");
  EXPECT_TRUE(SameAsciiText("ab12cd", "AB12CD"));
  EXPECT_FALSE(SameAsciiText("AB12CD", "AB12CE"));
  EXPECT_EQ(RememberedFingerprint("", "ftp.br:21"), std::nullopt);

  const std::string hex = "0123456789ABCDEF";
  EXPECT_EQ(FingerprintGroups(hex), "0123 4567 89AB CDEF");
  EXPECT_EQ(FingerprintTail(hex), "89ABCDEF");
  EXPECT_EQ(CommonName("CN=ftp.exemplo.br,O=Firma"), "ftp.exemplo.br");
  EXPECT_EQ(CommonName("O=Firma\\, Ltda,CN=servidor"), "servidor");
  EXPECT_EQ(CommonName("O=Firma"), "Firma");
  EXPECT_EQ(SpokenFingerprint(hex), "0 1 2 3, 4 5 6 7, 8 9 A B, C D E F");
}

TEST(SmallRules, TypedHostsGiveNameAndPortWhateverTheirForm) {
  struct Case {
    const char* typed;
    HostSpec want;
  } cases[] = {
      {"ftp.exemplo.br", {"", "ftp.exemplo.br", 21, false}},
      {"127.0.0.1:2121", {"", "127.0.0.1", 2121, true}},
      {"nome:99999", {"", "nome:99999", 21, false}},
      {"nome:", {"", "nome:", 21, false}},
      {"::1", {"", "::1", 21, false}},  // an IPv6 address is not name ":" port 1
      {"fe80::1:21", {"", "fe80::1:21", 21, false}},
      {"[::1]:2121", {"", "::1", 2121, true}},
      {"[::1]", {"", "::1", 21, false}},
      {"[::1]:0", {"", "[::1]:0", 21, false}},
      {"[::1", {"", "[::1", 21, false}},
      {"ftp://srv.br:2121/pub/", {"ftp", "srv.br", 2121, true}},
      {"FTPS://[2001:db8::5]", {"ftps", "2001:db8::5", 21, false}},
      {"sftp://srv.br", {"sftp", "srv.br", 22, false}},
      {"SFTP://ana@[::1]:2222/home/", {"sftp", "::1", 2222, true}},
      {"sftp://joao@empresa.br@10.0.0.1:2200", {"sftp", "10.0.0.1", 2200, true}},
      {"sftp://srv.br:x", {"sftp", "srv.br:x", 22, false}},
      {"ana@srv.br", {"", "ana@srv.br", 21, false}},  // an account only after sftp://
  };
  for (const auto& c : cases) EXPECT_EQ(ParseHost(c.typed), c.want) << c.typed;
  EXPECT_EQ(TypedAccount("SFTP://ana@[::1]:2222/home/"), "ana");
  EXPECT_EQ(TypedAccount("sftp://joao@empresa.br@10.0.0.1:2200"), "joao@empresa.br");
  EXPECT_EQ(TypedAccount("sftp://srv.br/a@b"), "");
  EXPECT_EQ(TypedAccount("ana@srv.br"), "");
  EXPECT_EQ(HostForDisplay("::1", 2121), "[::1]:2121");
  EXPECT_EQ(HostForDisplay("srv", 21), "srv:21");
}

TEST(SmallRules, FeatureRepliesListTheirLinesAndOnly211Counts) {
  const Features f = ParseFeatures({"211-Extensions supported:", " MLST type*;size*;modify*;",
                                    " UTF8", " AUTH TLS;SSL", " REST STREAM", " EPSV", "211 End"});
  EXPECT_TRUE(f.has("mlst") && f.has("UTF8") && f.has("EPSV"));
  EXPECT_FALSE(f.has("MLSD"));
  EXPECT_TRUE(f.hasParam("AUTH", "tls"));
  EXPECT_TRUE(f.hasParam("REST", "STREAM"));
  EXPECT_FALSE(f.hasParam("AUTH", "TL"));
  EXPECT_EQ(f.list[0].params, "type*;size*;modify*;");
  EXPECT_TRUE(ParseFeatures({"500 FEAT nao"}).list.empty());
  EXPECT_TRUE(ParseFeatures({"211 Sem extensoes"}).list.empty());
  EXPECT_TRUE(ParseFeatures({"211 Sem extensoes"}).asked);
}

TEST(SmallRules, ExtendedPassiveRepliesAndExtendedPortCommands) {
  struct Case {
    const char* line;
    int port;  // -1: refused
  } cases[] = {
      {"229 Entering Extended Passive Mode (|||6446|)", 6446},
      {"229 ok (!!!65535!)", 65535},
      {"229 ok (|||1|)", 1},
      {"229 ok (|||0|)", -1},
      {"229 ok (|||65536|)", -1},
      {"229 ok (||1|6446|)", -1},
      {"229 ok (|||64a6|)", -1},
      {"229 ok |||6446|", -1},
      {"229 ok (|||6446", -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ExtendedPassivePort(c.line) ? int{*ExtendedPassivePort(c.line)} : -1, c.port)
        << c.line;
  EXPECT_EQ(ExtendedPortCommand("::1", 5282), "EPRT |2|::1|5282|");
}

TEST(SmallRules, RepliesThatTellAFilesSizeAndTime) {
  struct Case {
    int code;
    const char* line;
    int64_t size;      // SizeFromReply; -1: none
    const char* time;  // TimeFromReply
  } cases[] = {
      {213, "213 300000", 300000, ""},
      {213, "213  42 ", 42, ""},
      {213, "213 12a", -1, ""},
      {213, "213 ", -1, ""},
      {550, "550 300000", -1, ""},
      {213, "213 20260103140509", 20260103140509, "20260103140509"},
      {213, "213 20260103140509.123", -1, "20260103140509.123"},
      {213, "213 20260103140509.", -1, ""},
      {213, "213 2026010314050", 2026010314050, ""},
      {213, "213 2026010314050x", -1, ""},
      {500, "500 20260103140509", -1, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SizeFromReply(c.code, c.line).value_or(-1), c.size) << c.line;
    EXPECT_EQ(TimeFromReply(c.code, c.line), c.time) << c.line;
  }
  // RFC 3659 section 7.2: the entry line starts with a blank; facts in any
  // case, the name (which may hold "modify=") after the facts' blank.
  const std::vector<std::string> mlst[] = {
      {"250-Listing a", " type=file;size=5;modify=20260103140509; a", "250 End"},
      {"250-Listing a", " Type=file;Modify=20260103140509.5;Size=5; a", "250 End"},
      {"250-Listing a", " type=file;size=5; modify=20260103140509;", "250 End"},
      {"250-Listing a", " type=file;modify=2026010314; a", "250 End"},
  };
  EXPECT_EQ(TimeFromMlst(250, mlst[0]), "20260103140509");
  EXPECT_EQ(TimeFromMlst(250, mlst[1]), "20260103140509.5");
  EXPECT_EQ(TimeFromMlst(250, mlst[2]), "");
  EXPECT_EQ(TimeFromMlst(250, mlst[3]), "");
  EXPECT_EQ(TimeFromMlst(550, mlst[0]), "");
  struct Announced {
    const char* line;
    int64_t size;  // -1: none
  } announced[] = {
      {"150 Opening BINARY mode data connection for a.bin (12345 bytes).", 12345},
      {"150 Opening BINARY mode data connection for (x) (7 Bytes)", 7},
      {"150 Opening data connection for f(1).txt (1 byte)", 1},
      {"150 Opening data connection for a.bin", -1},
      {"150 Abrindo (muitos bytes)", -1},
      {"150 (12 kB)", -1},
  };
  for (const auto& c : announced) EXPECT_EQ(AnnouncedSize(c.line).value_or(-1), c.size) << c.line;
}

TEST(SmallRules, RefusalsReadAsMissingDeniedOrRefused) {
  // FTP has one code for a missing file and one the user may not touch;
  // only the words tell them apart.
  struct Case {
    int code;
    const char* line;
    RemoteStatus status;
  } cases[] = {
      {550, "550 No such file or directory.", RemoteStatus::NotFound},
      {550, "550 a.txt: not a plain file", RemoteStatus::NotFound},
      {550, "550 Not enough privileges.", RemoteStatus::Denied},
      {550, "550 Permission denied.", RemoteStatus::Denied},
      {550, "550 PERMISSION DENIED", RemoteStatus::Denied},
      {550, "550 Operation not allowed", RemoteStatus::Denied},
      {530, "530 Not logged in.", RemoteStatus::Denied},
      {553, "553 Could not create file.", RemoteStatus::Refused},
      {450, "450 Permission denied for now", RemoteStatus::Refused},
      {452, "452 Insufficient storage space", RemoteStatus::Refused},
  };
  for (const auto& c : cases) EXPECT_EQ(StatusOfRefusal(c.code, c.line), c.status) << c.line;
}

TEST(SmallRules, ProgressSaysTheShareAndTheTimeLeftWhenTheSizeIsKnown) {
  using std::chrono::milliseconds;
  struct Case {
    int64_t moved, offset;
    std::optional<int64_t> total;
    int elapsedMs;
    const char* text;
  } cases[] = {
      {0, 0, std::nullopt, 0, "0 K"},
      {1025, 0, std::nullopt, 500, "2 K"},
      {400000, 0, 1000000, 8000, "391 K, 40 por cento, faltam 12 segundos"},
      {500000, 0, 1000000, 1000, "489 K, 50 por cento, falta 1 segundo"},
      {999000, 0, 1000000, 1000, "976 K, 99 por cento, falta menos de um segundo"},
      {100000, 0, 1000000, 10000, "98 K, 10 por cento, falta 1 minuto e 30 segundos"},
      {100000, 500000, 1000000, 1000, "98 K, 60 por cento, faltam 4 segundos"},
      {0, 500000, 1000000, 1000, "0 K, 50 por cento"},
      {1000000, 0, 1000000, 1000, "977 K, 100 por cento"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ProgressText(c.moved, c.offset, c.total, milliseconds(c.elapsedMs)), qr::W(c.text))
        << c.text;
}

TEST(SmallRules, SizesDurationsAndMilestonesInWords) {
  EXPECT_EQ(SizeWords(1), "1 baite");
  EXPECT_EQ(SizeWords(1000), "1000 baites");
  EXPECT_EQ(SizeWords(1025), "2 quilobaites");
  EXPECT_EQ(SizeWords(12 * 1024 * 1024 + 5), "12 megabaites");
  EXPECT_EQ(SizeWords(1024 * 1024), "1 megabaite");
  EXPECT_EQ(SizeWords(3LL * 1024 * 1024 * 1024 / 2), "1,5 gigabaites");
  EXPECT_EQ(SizeWords(2LL * 1024 * 1024 * 1024), "2 gigabaites");
  using std::chrono::milliseconds;
  EXPECT_EQ(DurationWords(milliseconds(300)), "menos de um segundo");
  EXPECT_EQ(DurationWords(milliseconds(2600)), "3 segundos");
  EXPECT_EQ(DurationWords(milliseconds(1000)), "1 segundo");
  EXPECT_EQ(DurationWords(milliseconds(65000)), "1 minuto e 5 segundos");
  EXPECT_EQ(DurationWords(milliseconds(120000)), "2 minutos");
  EXPECT_EQ(DurationWords(milliseconds(7260000)), "2 horas e 1 minuto");
  EXPECT_EQ(OutcomeText(qr::W("relatório.pdf"), 12 * 1024 * 1024, milliseconds(3000)),
            qr::W("relatório.pdf, 12 megabaites em 3 segundos"));
  // Said of it: the name only when it is not the one the user gave, the
  // size short, the time only when it is long enough to matter.
  struct Said {
    const char* name;
    const char* heard;
    int64_t bytes;
    int ms;
    const char* text;
  } said[] = {
      {"leia.txt", "leia.txt", 20000, 300, "20 K"},
      {"leia.txt", "docs/leia.txt", 20000, 300, "leia.txt 20 K"},
      {"vazio.txt", "vazio.txt", 0, 10, "0 K"},
      {"a.bin", "a.bin", 1024 * 1024 - 1, 9400, "1024 K"},
      {"a.iso", "a.iso", 12 * 1024 * 1024 + 5, 10000, "12 mega em 10 segundos"},
      {"a.iso", "a.iso", 3LL * 1024 * 1024 * 1024 / 2, 65000, "1,5 giga em 1 minuto e 5 segundos"},
      {"a.iso", "a.iso", 2LL * 1024 * 1024 * 1024, 9000, "2 giga"},
  };
  for (const auto& c : said)
    EXPECT_EQ(SpokenOutcome(c.name, c.heard, c.bytes, milliseconds(c.ms)), c.text) << c.text;

  // 1000 bytes: 25 % after 3 s is a 12 s transfer (said); a fast one is not.
  Milestones slow(1000, 0, true);
  EXPECT_EQ(slow.update(100, milliseconds(1000)), 0);
  EXPECT_EQ(slow.update(250, milliseconds(3000)), 25);
  EXPECT_EQ(slow.update(260, milliseconds(3100)), 0);
  EXPECT_EQ(slow.update(800, milliseconds(9000)), 75);  // 50 passed unsaid
  EXPECT_EQ(slow.update(1000, milliseconds(11000)), 0);
  Milestones fast(1000, 0, true);
  EXPECT_EQ(fast.update(500, milliseconds(1000)), 0);
  Milestones off(1000, 0, false);
  EXPECT_EQ(off.update(500, milliseconds(9000)), 0);
  // A resumed transfer: the milestones behind it are not said, its pace is
  // that of what moved since.
  Milestones resumed(1000, 600, true);
  EXPECT_EQ(resumed.update(750, milliseconds(5000)), 75);
  // A bursty server: 30 % at once looks fast, then the pace drops. The 25
  // held back is said when the transfer shows itself long, then the next
  // ones; none twice, and none at the end.
  Milestones burst(1000, 0, true);
  EXPECT_EQ(burst.update(300, milliseconds(100)), 0);
  EXPECT_EQ(burst.update(400, milliseconds(5000)), 25);
  EXPECT_EQ(burst.update(450, milliseconds(5500)), 0);
  EXPECT_EQ(burst.update(560, milliseconds(7000)), 50);
  EXPECT_EQ(burst.update(1000, milliseconds(12000)), 0);  // 75 passed at the end
  Milestones jump(1000, 0, true);
  EXPECT_EQ(jump.update(600, milliseconds(200)), 0);
  EXPECT_EQ(jump.update(700, milliseconds(8000)), 50);  // 25 and 50 held: the highest
  EXPECT_EQ(jump.update(800, milliseconds(9000)), 75);
  Milestones unknown(0, 0, true);
  EXPECT_EQ(unknown.update(500, milliseconds(60000)), 0);
}

// What this program says beyond the catalogue is worded for the ear: the
// default voice names every bracket, colon, semicolon and slash it meets
// ("abre parênteses", "dois pontos", "barra"), so none is said.
TEST(SmallRules, OurOwnSentencesMakeNoVoiceNameALayoutCharacter) {
  using std::chrono::milliseconds;
  std::vector<std::string> said = {SpokenOutcome("carta.pdf", "", 5 << 20, milliseconds(40000)),
                                   ResumeText("continuando") + SizeWords(300000),
                                   "25" + ResumeText("porcento"),
                                   MessageText("FTINTERR"),
                                   MessageText("FTPARTE"),
                                   MessageText("FTNOMINV"),
                                   MessageText("FTLOGINL"),
                                   ShortText(false, 100, 200),
                                   TextSizesText(100, 104),
                                   ServerKeptText(100, 2000)};
  for (const char* key : {"recebidos", "enviados", "interrompendo", "semconexao", "epsvmudo"})
    said.push_back(TransferText(key));
  for (const char* key : {"textonao", "mudou", "semtamanho", "semrest"})
    said.push_back(ResumeText(key));
  // Questions are said without their mark.
  for (const char* key : {"receber", "enviar", "textorecomeca"}) {
    const std::string q = ResumeText(key);
    said.push_back(q.substr(0, q.find('?')));
  }
  const auto mlsd = MachineListingTable("type=file;size=1234; nota-1.txt\r\ntype=dir; pub\r\n");
  for (const auto& entry : mlsd) said.push_back(entry.line);
  for (const std::string& text : said)
    for (const auto& step : speech::planSpeech(text)) {
      const bool named = step.kind == speech::SpeechStep::Kind::Char ||
                         step.kind == speech::SpeechStep::Kind::Punctuation;
      EXPECT_FALSE(named && std::string_view("():;/[]").find(step.text[0]) != std::string::npos)
          << qr::toUtf8(text);
    }
}

TEST(HelpMenu, PositionsGiveTheirCommandCharacters) {
  const std::string chars = "lrtqdaiscmxevp/?";
  for (int i = 1; i <= 16; ++i) EXPECT_EQ(HelpMenuCharacter(i), chars[static_cast<size_t>(i - 1)]);
  EXPECT_EQ(HelpMenuCharacter(17), 27);  // ends the program as ESC does
  EXPECT_EQ(HelpMenuCharacter(0), 13);
}

TEST(LoginCodes, OnlyAccessCodesLetInAndOnlyTheNextStepsCodeAsksForMore) {
  using E = LoginEffect;
  const struct {
    int code;
    E user, pass, acct;
  } rows[] = {
      {230, E::None, E::None, E::None},
      {202, E::None, E::None, E::None},
      {331, E::NeedPassword, E::Refused, E::Refused},
      {332, E::NeedAccount, E::NeedAccount, E::Refused},
      {314, E::Refused, E::Refused, E::Refused},
      {350, E::Refused, E::Refused, E::Refused},
      {200, E::Refused, E::Refused, E::Refused},
      {250, E::Refused, E::Refused, E::Refused},
      {421, E::Refused, E::Refused, E::Refused},
      {430, E::Refused, E::Refused, E::Refused},
      {500, E::Refused, E::Refused, E::Refused},
      {501, E::Refused, E::Refused, E::Refused},
      {530, E::Refused, E::Refused, E::Refused},
      {532, E::Refused, E::Refused, E::Refused},
      {999, E::Refused, E::Refused, E::Refused},
      {120, E::Preliminary, E::Preliminary, E::Preliminary},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(JudgeLoginCode(LoginStep::User, r.code), r.user) << "USER " << r.code;
    EXPECT_EQ(JudgeLoginCode(LoginStep::Pass, r.code), r.pass) << "PASS " << r.code;
    EXPECT_EQ(JudgeLoginCode(LoginStep::Acct, r.code), r.acct) << "ACCT " << r.code;
  }
}

TEST(Messages, UnknownKeysAreNamedAsInvalid) {
  EXPECT_EQ(MessageText("FTCMD"), "Comando ? ");
  EXPECT_EQ(MessageText("FTNADA"), qr::W("--> Mensagem inválida: FTNADA"));
  std::string label;
  EXPECT_TRUE(LabelText("FTPOLOC", label));
  EXPECT_EQ(label, "Porta local: ");
  EXPECT_FALSE(LabelText("FTCMD", label));
}
