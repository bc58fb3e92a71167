// The message catalogue table: size, key form, uniqueness, exact texts with
// their trailing blanks, and texts that survive the Windows-1252 conversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "base/cp1252.h"
#include "ftp/ftpmsgCatalogue.h"

namespace {

std::string_view textOf(std::string_view key) {
  for (const auto& e : ftp::kMessages)
    if (e.key == key) return e.text;
  for (const auto& e : ftp::kLabels)
    if (e.key == key) return e.text;
  return "<absent>";
}

TEST(Catalogue, KeysAreWellFormedAndUnique) {
  std::set<std::string_view> keys;
  auto check = [&](const ftp::MessageEntry& e) {
    EXPECT_TRUE(e.key.size() >= 4 && e.key.size() <= 8) << e.key;
    EXPECT_TRUE(e.key.starts_with("FT")) << e.key;
    EXPECT_TRUE(std::all_of(e.key.begin(), e.key.end(), [](char c) {
      return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    })) << e.key;
    EXPECT_FALSE(e.text.empty()) << e.key;
    EXPECT_TRUE(keys.insert(e.key).second) << "duplicate " << e.key;
  };
  for (const auto& e : ftp::kMessages) check(e);
  for (const auto& e : ftp::kLabels) check(e);
  EXPECT_EQ(keys.size(), 111u);
  EXPECT_EQ(ftp::kMessages.front().key, "FTERRBIB");
  EXPECT_EQ(ftp::kMessages.back().key, "FTPAJA12");
}

TEST(Catalogue, ExactTextsKeepTheirTrailingBlanks) {
  struct Case {
    std::string_view key, text;
  } cases[] = {
      {"FTCMD", "Comando ? "},
      {"FTCONTA", "Qual a conta   "},
      {"FTSENHA", "Qual a senha   "},
      {"FTCHAVE", "Qual a sua chave de acesso   "},
      {"FTTRANS", "Transmitidos "},
      {"FTERPORT", "Problemas na escolha da porta de dados, código "},
      {"FTERRSRV", "Servidor não está disponível, codigo"},
      {"FTINIC", "NAVIRO - TORVEL - v."},
      {"FTAJUD01", "  L  login conta e senha"},
      {"FTAJUD00", "As opçoes são"},
      {"FTPAJA01", "As opções são"},
      {"FTUSESET",
       "Use as setas para ler, F9 para informações , D para tamanho, A para apagar, "
       "T para trocar e ESC para terminar"},
      {"FTNOMELO", "Nome local: "},
      {"FTENDRED", "Endereço de rede: "},
      {"FTSELPOR", "Selecionando a porta "},
  };
  for (const auto& c : cases) EXPECT_EQ(textOf(c.key), c.text) << c.key;
}

TEST(Catalogue, EveryTextHasAWindows1252Form) {
  for (const auto& e : ftp::kMessages) {
    const std::string bytes = qr::W(e.text);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '?'),
              std::count(e.text.begin(), e.text.end(), '?'))
        << e.key;
    EXPECT_EQ(qr::toUtf8(bytes), e.text) << e.key;
  }
}

}  // namespace
