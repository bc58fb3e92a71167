#include <gtest/gtest.h>

#include <string>

#include "base/cp1252.h"
#include "base/ini.h"
#include "base/registry.h"
#include "base/told.h"
#include "base/wav.h"

namespace {

// The one upper-casing of Windows-1252: letters only; the division sign is
// no letter and ÿ's capital is Ÿ (0x9F), not ß.
TEST(Cp1252, UpperCaseOfEveryKindOfByte) {
  const struct {
    int byte;
    int upper;
  } cases[] = {
      {'a', 'A'},   {'z', 'Z'},   {'A', 'A'},   {'1', '1'},   {'{', '{'},
      {0xE0, 0xC0}, {0xE7, 0xC7}, {0xF6, 0xD6}, {0xF7, 0xF7}, {0xF8, 0xD8},
      {0xFE, 0xDE}, {0xFF, 0x9F}, {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E},
      {0xDF, 0xDF}, {0xD7, 0xD7}, {0xB5, 0xB5}, {0x80, 0x80},
  };
  for (const auto& c : cases)
    EXPECT_EQ(qr::upperCase(static_cast<uint8_t>(c.byte)), c.upper) << c.byte;
  EXPECT_EQ(qr::toUtf8(qr::upperCase(qr::W("ação ÷ ÿ www"))), "AÇÃO ÷ Ÿ WWW");
}

TEST(Cp1252, RoundTripAndBytesThatAreNotUtf8) {
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(qr::fromUtf8(qr::toUtf8(one)), one) << b;
  }
  EXPECT_EQ(qr::fromUtf8("\xE9t\xE9"), "\xE9t\xE9");               // Windows-1252 taken as it is
  EXPECT_EQ(qr::fromUtf8("\xE2\x82\xAC \xE2\x98\x83"), "\x80 ?");  // euro; a snowman has no byte
}

TEST(Ini, LookupInTextWithByteOrderMarkAndCrLf) {
  const std::string text = "\xEF\xBB\xBF[Video]\r\nFonte = \"Mono\" \r\n[Outra]\r\nFONTE=x\r\n";
  EXPECT_EQ(qr::iniLookup(text, "VIDEO", "fonte"), "Mono");
  EXPECT_EQ(qr::iniLookup(text, "outra", "Fonte"), "x");
  EXPECT_EQ(qr::iniLookup(text, "VIDEO", "TAMANHO"), std::nullopt);
  EXPECT_EQ(qr::iniLookup("", "VIDEO", "FONTE"), std::nullopt);
}

// The writer's image is what the reader understands, for every format the
// output plays; a data chunk that claims more than is there is cut.
// The registry file: the database entry the built-in voice looks up, and the
// ways an export may write, repeat, continue or remove a value.
TEST(Registry, StringValuesOfAnExport) {
  const std::string reg =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "; the voice database\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TCTS\\Mbrola\\databases\\BR4]\r\n"
      "@=\"/usr/share/quiral/coraltts/br4\"\r\n"
      "\"Nome\"=\"voz \\\"brasileira\\\" c:\\\\voz\"\r\n"
      "\"Numero\"=dword:0000002a\r\n"
      "\"Lista\"=hex(7):61,00,\\\r\n  62,00\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Outra]\r\n"
      "@=\"primeira\"\r\n"
      "@=\"ação\"\r\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Removida]\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Removida\\Filha]\r\n"
      "@=\"antes\"\r\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Removida]\r\n";
  const struct {
    const char* path;
    bool ok;
    const char* value;
  } cases[] = {
      {"SOFTWARE\\TCTS\\Mbrola\\databases\\BR4\\", true, "/usr/share/quiral/coraltts/br4"},
      {"software\\tcts\\MBROLA\\databases\\br4\\", true, "/usr/share/quiral/coraltts/br4"},
      {"SOFTWARE\\TCTS\\Mbrola\\databases\\BR4\\nome", true, "voz \"brasileira\" c:\\voz"},
      {"SOFTWARE\\TCTS\\Mbrola\\databases\\BR4\\Numero", false, ""},  // a double word
      {"SOFTWARE\\TCTS\\Mbrola\\databases\\BR4\\Lista", false, ""},   // a list of strings
      {"SOFTWARE\\TCTS\\Mbrola\\databases\\BR4\\Falta", false, ""},
      {"SOFTWARE\\Outra\\", true, "ação"},  // the last one wins
      {"SOFTWARE\\Removida\\Filha\\", false, ""},
      {"SOFTWARE\\TCTS\\Mbrola\\databases\\BR5\\", false, ""},
      {"semBarra", false, ""},
  };
  for (const auto& c : cases) {
    std::string got = "inalterado";
    EXPECT_EQ(qr::ReadRegistryString(reg, "HKEY_LOCAL_MACHINE", c.path, got), c.ok) << c.path;
    EXPECT_EQ(qr::toUtf8(got), c.ok ? c.value : "inalterado") << c.path;
  }
  const auto number = qr::registryLookup(
      reg, "HKEY_LOCAL_MACHINE\\SOFTWARE\\TCTS\\Mbrola\\databases\\BR4", "Numero");
  ASSERT_TRUE(number);
  EXPECT_EQ(number->type, 4u);
  EXPECT_EQ(number->data, std::string("\x2a\0\0\0", 4));
  const auto list = qr::registryLookup(
      reg, "HKEY_LOCAL_MACHINE\\SOFTWARE\\TCTS\\Mbrola\\databases\\BR4", "Lista");
  ASSERT_TRUE(list);
  EXPECT_EQ(list->type, 7u);
  EXPECT_EQ(list->data, std::string("a\0b\0", 4));
  std::string none;
  EXPECT_FALSE(qr::ReadRegistryString("", "HKEY_LOCAL_MACHINE", "SOFTWARE\\X\\", none));
}

TEST(Wav, WrittenImagesReadBackAndLengthsAreCut) {
  const uint8_t samples[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (uint16_t channels : {1, 2})
    for (uint16_t bits : {8, 16}) {
      auto image = qr::makeWavImage(samples, sizeof samples, 22050, channels, bits);
      const auto info = qr::parseWavImage(image.data(), image.size());
      ASSERT_TRUE(info) << channels << "/" << bits;
      EXPECT_EQ(info->format, (qr::WavFormat{22050, channels, bits}));
      EXPECT_EQ(info->dataOffset, qr::kWavHeaderSize);
      EXPECT_EQ(info->dataLength, sizeof samples);
      image.resize(image.size() - 3);
      EXPECT_EQ(qr::parseWavImage(image.data(), image.size())->dataLength, sizeof samples - 3);
    }
  auto odd = qr::makeWavImage(samples, sizeof samples, 8000, 3, 8);
  EXPECT_FALSE(qr::parseWavImage(odd.data(), odd.size()));  // three channels: not playable
}

}  // namespace

// A notice written with its details is said without the marks a voice names.
TEST(Told, SaidFormDropsPathsBracketsAndJoiningColons) {
  const struct {
    const char* written;
    const char* said;
  } rows[] = {
      {"/home/ana/.config/quiral/QUIRAL.INI: [NAVIRO] PRAZO: o valor tem um caractere nulo; "
       "foi ignorado",
       "QUIRAL.INI, NAVIRO PRAZO, o valor tem um caractere nulo, foi ignorado"},
      {"Pedindo conexão segura (TLS)", "Pedindo conexão segura TLS"},
      {"Sem som: o dispositivo de áudio não pôde ser aberto.",
       "Sem som, o dispositivo de áudio não pôde ser aberto."},
      {"Guardado em ~/baixados/", "Guardado em baixados"},
      {"Hora 12:30, porta 21", "Hora 12:30, porta 21"},
      {"Nome:", "Nome"},
      {"a / b", "a / b"},
  };
  for (const auto& row : rows) EXPECT_EQ(qr::saidForm(row.written), row.said) << row.written;
}
