// Configuration: the private-profile reader on good and bad files, the
// number conversion, configValue's file location and "@" expansion, and the
// console's keys.
#include "console/qrwinConfig.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/cp1252.h"
#include "console/qrCrt.h"

namespace fs = std::filesystem;

namespace {

struct TempDirs : ::testing::Test {
  fs::path root;
  fs::path sys;
  fs::path start;

  void SetUp() override {
    root = fs::temp_directory_path() /
           ("naviro-cfg-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    sys = root / "sys";
    start = root / "start";
    fs::create_directories(sys);
    fs::create_directories(start);
  }
  void TearDown() override { fs::remove_all(root); }
  static void write(const fs::path& p, std::string_view text) {
    std::ofstream f(p, std::ios::binary);
    f.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  std::string sysIni() const { return (sys / "QUIRAL.INI").string(); }
  qr::Config config() const { return qr::Config(sys.string(), start.string()); }
};

TEST(ConvertNumber, RunTimeLibraryRule) {
  const struct {
    const char* text;
    long value;
    bool valid;
  } cases[] = {
      {"15", 15, true},   {"  42", 42, true},  {"-7", -7, true},
      {"+3", 3, true},    {"$1F", 31, true},   {"0x10", 16, true},
      {"0X1a", 26, true}, {"-$10", -16, true}, {"12ab", 12, false},
      {"3 ", 3, false},   {"", 0, false},      {"   ", 0, false},
      {"-", 0, false},    {"$", 0, false},     {"0x", 0, false},
      {"abc", 0, false},  {"007", 7, true},    {"99999999999", 2147483647, false},
  };
  for (const auto& c : cases) {
    const qr::NumberValue n = qr::convertNumber(c.text);
    EXPECT_EQ(n.value, c.value) << '"' << c.text << '"';
    EXPECT_EQ(n.valid, c.valid) << '"' << c.text << '"';
  }
}

TEST_F(TempDirs, PrivateProfileSemantics) {
  write(sysIni(),
        "; comment line\r\n"
        "[Video]\r\n"
        "  CorLetra =  14  \r\n"
        "corletra=9\r\n"
        "FONTE=\"  Mono Face  \"\r\n"
        "QUOTED=\"\"twice\"\"\r\n"
        "HALF=\"open\r\n"
        ";TABCORES=1,2\r\n"
        "EMPTY=\r\n"
        "novalue\r\n"
        "[ BRAILLE ]\n"
        "MODO=2\n"
        "[VIDEO]\n"
        "LENTO=S\n"
        "[NAVIRO]\n"
        "DIRNAVIRO=/s\xC3\xA3o\n"
        "LAST=no newline");
  const struct {
    const char* section;
    const char* key;
    std::optional<std::string> want;
  } cases[] = {
      {"VIDEO", "CORLETRA", "14"},          // case-insensitive, first match, trimmed
      {"video", "fonte", "  Mono Face  "},  // one pair of quotes removed
      {"VIDEO", "QUOTED", "\"twice\""},
      {"VIDEO", "HALF", "\"open"},
      {"VIDEO", "TABCORES", std::nullopt},  // commented out
      {"VIDEO", "EMPTY", ""},
      {"VIDEO", "NOVALUE", std::nullopt},
      {"VIDEO", "LENTO", std::nullopt},  // only the first [VIDEO] is searched
      {"BRAILLE", "MODO", "2"},
      {"NAVIRO", "DIRNAVIRO", qr::W("/são")},  // UTF-8 in the file, Windows-1252 inside
      {"NAVIRO", "LAST", "no newline"},
      {"QUIRAL", "PGMQUIRAL", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(qr::iniRead(sysIni(), c.section, c.key), c.want) << c.section << "/" << c.key;
  EXPECT_EQ(qr::iniRead(sysIni(), "VIDEO", "FONTE", 4), "  Mo");
  EXPECT_EQ(qr::iniRead((root / "absent.ini").string(), "VIDEO", "FONTE"), std::nullopt);
}

TEST_F(TempDirs, MalformedFilesGiveDefaults) {
  std::string junk;
  for (int i = 0; i < 5000; ++i) junk += static_cast<char>((i * 7919) & 0xFF);
  const std::string huge = "[VIDEO]\nX=" + std::string(3 << 20, 'a') + "\nCORLETRA=3\n";
  const struct {
    const char* name;
    std::string text;
    std::string want;
  } cases[] = {
      {"binary junk", junk, "15"},
      {"huge line", huge, "3"},
      {"section without bracket", "[VIDEO\nCORLETRA=4", "4"},
      {"lone bracket", "[\nCORLETRA=4\n", "15"},
      {"only equals", "[VIDEO]\n=\n==\nCORLETRA==5\n", "=5"},
      {"empty file", "", "15"},
      {"byte order mark", "\xEF\xBB\xBF[VIDEO]\nCORLETRA=7\n", "7"},
      {"nul bytes", std::string("[VIDEO]\n\0\0\nCORLETRA=6\n", 22), "6"},
      {"nul in the value", std::string("[VIDEO]\nCORLETRA=1\0 2\n", 22), "15"},
  };
  for (const auto& c : cases) {
    write(sysIni(), c.text);
    EXPECT_EQ(config().bareRead("VIDEO", "CORLETRA", "15"), c.want) << c.name;
  }
  fs::remove(sysIni());
  fs::create_directory(sysIni());  // unreadable as a file
  EXPECT_EQ(config().bareRead("VIDEO", "CORLETRA", "15"), "15");
  EXPECT_EQ(config().configValue("NAVIRO", "DIRNAVIRO"), "");
}

TEST_F(TempDirs, AValueWithANulByteIsIgnoredAndReportedOnceWithItsKey) {
  write(sysIni(), std::string("[TRADUTOR]\nDIRDIFONES=/tmp\0/x\nVELOCIDADE=2\n", 43));
  const qr::Config c = config();
  EXPECT_EQ(c.configValue("TRADUTOR", "DIRDIFONES"), "");  // as if absent
  EXPECT_EQ(c.configValue("TRADUTOR", "DIRDIFONES"), "");
  EXPECT_EQ(c.configValue("TRADUTOR", "VELOCIDADE"), "2");
  const std::vector<std::string> want{sysIni() + ": [TRADUTOR] DIRDIFONES" +
                                      qr::W(": o valor tem um caractere nulo; foi ignorado")};
  EXPECT_EQ(c.problems(), want);
  const std::vector<std::string> said{
      qr::W("Na configuração, a chave DIRDIFONES da seção TRADUTOR tem um caractere nulo e foi "
            "ignorada.")};
  EXPECT_EQ(c.takeProblems(), said);
  EXPECT_TRUE(c.takeProblems().empty());
}

TEST_F(TempDirs, ConfigValueFallsBackToStartDirectoryButBareReadsDoNot) {
  write(start / "QUIRAL.INI", "[NAVIRO]\nDIRNAVIRO=/snd\n[VIDEO]\nCORLETRA=2\n");
  EXPECT_EQ(config().configValue("NAVIRO", "DIRNAVIRO"), "/snd");
  EXPECT_EQ(config().bareRead("VIDEO", "CORLETRA", "15"), "15");
  write(sysIni(), "[NAVIRO]\nPASSIVO=N\n");
  EXPECT_EQ(config().configValue("NAVIRO", "DIRNAVIRO"), "");  // the system copy wins whole
  EXPECT_EQ(config().configValue("naviro", "passivo"), "N");
  fs::rename(sysIni(), sys / "quiral.ini");  // the file name's case does not matter
  EXPECT_EQ(config().configValue("NAVIRO", "PASSIVO"), "N");
}

TEST_F(TempDirs, InstalledDefaultsStandInOnlyWhileTheUserHasNoFile) {
  const fs::path defaults = root / "quiral" / "QUIRAL.INI";
  fs::create_directories(defaults.parent_path());
  write(defaults,
        "[QUIRAL]\nPGMQUIRAL=/usr/share/quiral\n[NAVIRO]\nDIRNAVIRO=@/som/naviro\n"
        "[VIDEO]\nFONTE=DejaVu Sans Mono\n");
  const qr::Config withDefaults(sys.string(), start.string(), defaults.string());
  EXPECT_TRUE(withDefaults.usingDefaults());
  EXPECT_EQ(withDefaults.configValue("NAVIRO", "DIRNAVIRO"), "/usr/share/quiral/som/naviro");
  EXPECT_EQ(withDefaults.bareRead("VIDEO", "FONTE", "Lucida Console"), "DejaVu Sans Mono");
  EXPECT_FALSE(config().usingDefaults());  // none configured
  EXPECT_EQ(config().bareRead("VIDEO", "FONTE", "Lucida Console"), "Lucida Console");
  // A start-directory copy still comes before the defaults for configValue.
  write(start / "QUIRAL.INI", "[NAVIRO]\nDIRNAVIRO=/snd\n");
  EXPECT_EQ(withDefaults.configValue("NAVIRO", "DIRNAVIRO"), "/snd");
  // The user's own file wins whole, for both kinds of read.
  write(sysIni(), "[NAVIRO]\nPASSIVO=N\n");
  EXPECT_FALSE(withDefaults.usingDefaults());
  EXPECT_EQ(withDefaults.configValue("NAVIRO", "DIRNAVIRO"), "");
  EXPECT_EQ(withDefaults.bareRead("VIDEO", "FONTE", "Lucida Console"), "Lucida Console");
}

TEST_F(TempDirs, DefaultsNoticeNamesBothFilesAndIsSaidOnce) {
  const fs::path defaults = root / "quiral" / "QUIRAL.INI";
  fs::create_directories(defaults.parent_path());
  write(defaults, "[NAVIRO]\nPASSIVO=S\n");
  const qr::Config withDefaults(sys.string(), start.string(), defaults.string());
  const std::string state = (root / "state" / "naviro").string();
  const std::vector<qr::Told> lines = qr::defaultsNotice(withDefaults, state);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].written.find(qr::W("A configuração fica em ")), std::string::npos)
      << lines[0].written;
  EXPECT_NE(lines[0].written.find("QUIRAL.INI"), std::string::npos) << lines[0].written;
  EXPECT_NE(lines[1].written.find(defaults.string()), std::string::npos) << lines[1].written;
  // The paths are written, not said: the file's name is enough to hear.
  for (const auto& line : lines) EXPECT_EQ(line.said.find('/'), std::string::npos) << line.said;
  EXPECT_EQ(lines[0].said + lines[1].said,
            qr::W("Usando a configuração padrão; veja o manual para mudá-la."));
  EXPECT_TRUE(qr::defaultsNotice(withDefaults, state).empty()) << "said twice";
  // Without a place for the note it is said at every start.
  EXPECT_EQ(qr::defaultsNotice(withDefaults, "").size(), 2u);
  EXPECT_EQ(qr::defaultsNotice(withDefaults, "").size(), 2u);
  // Nothing to say once the user has a file, or when no defaults are installed.
  EXPECT_TRUE(qr::defaultsNotice(config(), (root / "other").string()).empty());
  write(sysIni(), "[NAVIRO]\n");
  EXPECT_TRUE(qr::defaultsNotice(withDefaults, (root / "other").string()).empty());
}

TEST_F(TempDirs, AtExpansion) {
  const struct {
    const char* pgm;  // nullptr: no PGMQUIRAL key
    const char* value;
    std::string want;
  } cases[] = {
      {"/opt/lunbar", "@/som/", "/opt/lunbar/som/"},
      {"/opt/lunbar", "@\\som\\", "/opt/lunbar/som\\"},
      {"/opt/lunbar", "x@/y", "x/opt/lunbar/y"},
      {"/opt/lunbar", "x@\\y", "x/opt/lunbar/y"},
      {"/opt/lunbar", "@a@/b@/c", "/opt/lunbara/opt/lunbar/b/opt/lunbar/c"},
      {"/opt/lunbar", "a@b", "a@b"},
      {"/opt/lunbar", "@", "/opt/lunbar"},
      {"/opt/lunbar", "@@/x", "/opt/lunbar/opt/lunbar/x"},
      {"/p@/q", "@/a", "/p@/q/a"},  // inserted text is not expanded again
      {"", "@/som", "START/som"},
      {"@/x", "@/som", "START/som"},
      {nullptr, "@/som", "START/som"},
  };
  for (const auto& c : cases) {
    std::string ini = "[TRADUTOR]\nDIRLETRAS=" + std::string(c.value) + "\n";
    if (c.pgm) ini += "[QUIRAL]\nPGMQUIRAL=" + std::string(c.pgm) + "\n";
    write(sysIni(), ini);
    std::string want = c.want;
    if (want.rfind("START", 0) == 0) want.replace(0, 5, start.string());
    EXPECT_EQ(config().configValue("TRADUTOR", "DIRLETRAS"), want) << c.value;
  }
  write(sysIni(), "[QUIRAL]\nPGMQUIRAL=/opt/q\nPROG.HTM=@/bin/browser\n");
  EXPECT_EQ(config().configValue("", "PROG.HTM"), "/opt/q/bin/browser");
}

TEST_F(TempDirs, ConsoleKeys) {
  EXPECT_EQ(qr::readConsoleSettings(config()), qr::ConsoleSettings{});

  write(sysIni(),
        "[VIDEO]\nTABCORES=4,1,x,9\nCORESFIXAS=sim\nLENTO=Sim\nCORFUNDO=1\nCORLETRA=14abc\n"
        "AMPLIF=3\nFONTE=DejaVu Sans Mono\nLARGURALETRA=12\nALTURALETRA=\nPESOLETRA=400\n"
        "CANTOTELA=Nao\n[BRAILLE]\nMODO=3\n");
  qr::ConsoleSettings s = qr::readConsoleSettings(config());
  EXPECT_EQ(s.colourMap[0], 4);
  EXPECT_EQ(s.colourMap[1], 1);
  EXPECT_EQ(s.colourMap[2], 0);  // the bad entry takes its partial value and ends the list
  EXPECT_EQ(s.colourMap[3], 3);
  EXPECT_FALSE(s.coloursChangeable);
  EXPECT_TRUE(s.slowScroll);
  EXPECT_EQ(s.background, 1);
  EXPECT_EQ(s.foreground, 14);
  EXPECT_EQ(s.zoom, 3);
  EXPECT_EQ(s.fontFace, "DejaVu Sans Mono");
  EXPECT_EQ(s.fontWidth, 12);
  EXPECT_EQ(s.fontHeight, 0);
  EXPECT_EQ(s.fontWeight, 0);
  EXPECT_TRUE(s.maximised);
  EXPECT_EQ(s.brailleMode, 1);
  EXPECT_EQ(qr::readConsoleSettings(config(), 300).fontWeight, 400);

  const struct {
    const char* amplif;
    int zoom;
    const char* modo;
    int mode;
  } firstChar[] = {{"0", 1, "0", 0}, {"8", 1, "2", 2},  {"9", 1, "1", 1},
                   {"", 1, "", 0},   {"25", 2, "7", 1}, {"7", 7, "S", 1}};
  for (const auto& c : firstChar) {
    write(sysIni(),
          std::string("[VIDEO]\nAMPLIF=") + c.amplif + "\n[BRAILLE]\nMODO=" + c.modo + "\n");
    s = qr::readConsoleSettings(config());
    EXPECT_EQ(s.zoom, c.zoom) << c.amplif;
    EXPECT_EQ(s.brailleMode, c.mode) << c.modo;
  }
}

TEST(ConfigLocations, SystemDirectoryAndRootFromEnvironment) {
  const char* oldSys = std::getenv("QUIRAL_SYSDIR");
  const char* oldRoot = std::getenv("QUIRAL_ROOT");
  const std::string savedSys = oldSys ? oldSys : "", savedRoot = oldRoot ? oldRoot : "";
  ::setenv("QUIRAL_SYSDIR", "/etc/q", 1);
  ::setenv("QUIRAL_ROOT", "/data/q", 1);
  EXPECT_EQ(qr::Config().windowsDir(), "/etc/q");
  EXPECT_EQ(qr::Config::quiralRoot(), "/data/q");
  ::unsetenv("QUIRAL_SYSDIR");
  ::setenv("XDG_CONFIG_HOME", "/home/u/.cfg", 1);
  EXPECT_EQ(qr::Config().windowsDir(), "/home/u/.cfg/quiral");
  ::unsetenv("XDG_CONFIG_HOME");
  ::unsetenv("QUIRAL_ROOT");
  EXPECT_FALSE(qr::Config::quiralRoot().empty());
  EXPECT_EQ(qr::Config().startDir(), fs::current_path().string());
  if (oldSys) ::setenv("QUIRAL_SYSDIR", savedSys.c_str(), 1);
  if (oldRoot) ::setenv("QUIRAL_ROOT", savedRoot.c_str(), 1);
}

}  // namespace
