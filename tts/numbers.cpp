// Cardinal and ordinal words, number tokens and character names of the
// engine. Tables are UTF-8 source text converted to Windows-1252 where a
// result is made.
#include "tts/numbers.h"

#include <cstdio>

#include "base/cp1252.h"

namespace tts {
namespace {

// The built-in engine's words.
constexpr CardinalTables kEngineTables{
    {"zero", "um", "dois", "três", "quatro", "cinco", "seis", "sete", "oito", "nove"},
    {"dez", "onze", "doze", "treze", "quatorze", "quinze", "dezesseis", "dezessete", "dezoito",
     "dezenove"},
    {"", "", "vinte", "trinta", "quarenta", "cinqüenta", "sessenta", "setenta", "oitenta",
     "noventa"},
    {"", "cento", "duzentos", "trezentos", "quatrocentos", "quinhentos", "seiscentos", "setecentos",
     "oitocentos", "novecentos"},
};

struct ScaleWord {
  std::string_view singular;
  std::string_view plural;
};
constexpr std::array<ScaleWord, 5> kScales{{
    {"trilhão ", "trilhões "},
    {"bilhão ", "bilhões "},
    {"milhão ", "milhões "},
    {"mil ", "mil "},
    {"", ""},
}};

constexpr std::array<std::string_view, 10> kOrdinalUnits{
    "", "primeiro", "segundo", "terceiro", "quarto", "quinto", "sexto", "sétimo", "oitavo", "nono"};
constexpr std::array<std::string_view, 10> kOrdinalTens{
    "",           "décimo",       "vigésimo",   "trigésimo", "quadragésimo", "quinquagésimo",
    "sexagésimo", "septuagésimo", "octagésimo", "nonagésimo"};
constexpr std::array<std::string_view, 10> kOrdinalHundreds{"",
                                                            "centésimo",
                                                            "ducentésimo",
                                                            "tricentésimo",
                                                            "quadrigentésimo",
                                                            "quingentésimo",
                                                            "seiscentésimo",
                                                            "septigentésimo",
                                                            "octigentésimo",
                                                            "nongentésimo"};
constexpr std::string_view kOrdinalThousand = "milésimo";

// Names of the codes 32 to 126, in code order.
constexpr std::array<std::string_view, 95> kAsciiNames{
    "espaço", "exclamação", "aspas", "sustenido", "cifrão", "porcento", "é comercial", "apóstrofo",
    "abre parênteses", "fecha parênteses", "asterisco", "mais", "vírgula", "traço", "ponto",
    "barra",
    // 0-9
    "zéro", "um", "dois", "três", "quatro", "cinco", "seis", "séte", "oito", "nóve", "dois pontos",
    "ponto e vírgula", "menor que", "igual", "maior que", "interrogação", "arrôba",
    // A-Z
    "a", "bê", " sê", " dê", "é", "éfe", "jê", "agá", "i", "jóta", "cá", "éle", "ême", "êne", "ó",
    "pê", "quê", "érre", "ésse", "tê", "u", "vê", "dábliu", "xis", "ípsilon", "zê", "abre colchete",
    "barra invertida", "fecha colchete", "circunflexo", "sublinhado", "crase",
    // a-z
    "a", "bê", " sê", " dê", "é", "éfe", "jê", "agá", "i", "jota", "cá", "éle", "ême", "ene", "ó",
    "pê", "quê", "érre", "ésse", "tê", "u", "vê", "dábliu", "xis", "ípsilon", "zê", "abre chave",
    "barra vertical", "fecha chave", "til"};

// Names of the codes 161 to 220, in code order.
constexpr std::array<std::string_view, 60> kLatinNames{
    "exclamação reversa", "centavos de dólar", "libras", "símbolo de moeda", "iene",
    "barra interrompida", "parágrafo", "trema", "copyright", "ordinal feminino", "Aspas esquerdas",
    "negação", "hífen", "Marca registrada", "mácron", "grau", "mais ou menos",
    "elevado ao quadrado", "elevado ao cubo", "acento agudo", "mi", "pi", "ponto no meio",
    "cedilha", "expoente um", "ordinal masculino", "aspas direitas", "um quarto", "um meio",
    "três quartos", "interrogação reversa",
    // 192-220
    "A grave", "A agudo", "A circunflexo", "A com til", "A com trema", "A bola", "A É",
    "Cê cedilha", "É grave", "É agudo", "É circunflexo", "É com trema", "I grave", "I agudo",
    "I circunflexo", "I com trema", "Dê cortado", "N com til", "Ó grave", "Ó agudo",
    "Ó circunflexo", "Ó com til", "Ó tremado", "vezes", "Ó cortado", "U grave", "U agudo",
    "U circunflexo", "U com trema"};

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string spellCardinal(uint64_t n, const CardinalTables& t) {
  if (n == 0) return std::string(t.units[0]);
  char digits[32];
  std::snprintf(digits, sizeof digits, "%015llu",
                static_cast<unsigned long long>(n % 1000000000000000ULL));
  std::array<std::string, 5> group;
  for (int g = 0; g < 5; ++g) {
    const int h = digits[g * 3] - '0', te = digits[g * 3 + 1] - '0', u = digits[g * 3 + 2] - '0';
    std::string& s = group[g];
    if (h == 0 && te == 0 && u == 0) continue;
    if (h == 1 && te == 0 && u == 0) {
      s = "cem";
    } else {
      bool done = false;
      if (h != 0) {
        s += t.hundreds[h];
        if (te == 0 && u == 0)
          done = true;
        else
          s += " e ";
      }
      if (!done && te == 1) {
        s += t.teens[u];
        done = true;
      }
      if (!done && te != 0) {
        s += t.tens[te];
        if (u == 0)
          done = true;
        else
          s += " e ";
      }
      if (!done && u > 0) s += t.units[u];
    }
    if (g < 4) {
      s += ' ';
      s += (h == 0 && te == 0 && u == 1) ? kScales[g].singular : kScales[g].plural;
    }
  }
  int last = -1;
  for (int g = 0; g < 5; ++g)
    if (!group[g].empty()) last = g;
  std::string out;
  bool earlier = false;
  for (int g = 0; g <= last; ++g) {
    if (g == last && earlier) out += "e ";
    out += group[g];
    if (!group[g].empty()) earlier = true;
  }
  if (out.starts_with("um mil") && !out.starts_with("um milh")) out.erase(0, 3);
  return out;
}

std::string cardinalWords(uint64_t n) {
  return qr::W(spellCardinal(n, kEngineTables));
}

std::string ordinalWords(char gender, uint64_t n) {
  if (n >= 2000) return cardinalWords(n);
  if (n == 0) return "zero";
  const std::array<std::string_view, 4> words{
      (n / 1000) % 10 ? kOrdinalThousand : std::string_view{}, kOrdinalHundreds[(n / 100) % 10],
      kOrdinalTens[(n / 10) % 10], kOrdinalUnits[n % 10]};
  std::string out;
  for (auto w : words) {
    if (w.empty()) continue;
    std::string word = qr::W(w);
    if (gender == 'f') word.back() = 'a';
    if (!out.empty()) out += ' ';
    out += word;
  }
  return out;
}

std::string readNumberToken(std::string_view text, size_t& pos) {
  size_t runEnd = pos;
  bool dash = false;
  while (runEnd < text.size() && (isDigit(text[runEnd]) || text[runEnd] == '-')) {
    dash = dash || text[runEnd] == '-';
    ++runEnd;
  }
  if (dash) {
    std::string out;
    for (size_t i = pos; i < runEnd; ++i) {
      out += ' ';
      out += text[i] == '-' ? qr::W("traço") : qr::W(kEngineTables.units[text[i] - '0']);
    }
    pos = runEnd;
    return out;
  }
  std::string zeros;
  while (pos + 1 < text.size() && text[pos] == '0' && isDigit(text[pos + 1])) {
    zeros += "zero ";
    ++pos;
  }
  uint64_t value = 0;
  int count = 0;
  while (pos < text.size()) {
    const char c = text[pos];
    if (isDigit(c) && count < 15) {
      value = value * 10 + static_cast<uint64_t>(c - '0');
      ++count;
      ++pos;
    } else if (c == '.' && count > 0 && count + 3 <= 15 && pos + 3 < text.size() &&
               isDigit(text[pos + 1]) && isDigit(text[pos + 2]) && isDigit(text[pos + 3]) &&
               (pos + 4 >= text.size() || !isDigit(text[pos + 4]))) {
      ++pos;
    } else {
      break;
    }
  }
  const std::string_view rest = text.substr(pos);
  auto ordinal = [&](char g, size_t consumed, bool plural) {
    pos += consumed;
    std::string out = ordinalWords(g, value);
    if (plural) out += 's';
    return out;
  };
  if (rest.starts_with("\xBA")) return ordinal('m', 1, false);
  if (rest.starts_with("\xAA")) return ordinal('f', 1, false);
  if (rest.starts_with("o.")) return ordinal('m', 2, false);
  if (rest.starts_with("a.")) return ordinal('f', 2, false);
  if (rest.starts_with("os.")) return ordinal('m', 3, true);
  if (rest.starts_with("as.")) return ordinal('f', 3, true);
  return zeros + cardinalWords(value);
}

std::string characterName(uint8_t c) {
  if (c >= 225) c = qr::upperCase(c);  // accented letters take their capital's name
  if (c >= 32 && c <= 126) return qr::W(kAsciiNames[c - 32]);
  if (c >= 161 && c <= 220) return qr::W(kLatinNames[c - 161]);
  return {};
}

namespace {

bool isNameChar(unsigned char c) {
  return isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (c >= 0xC0 && c != 0xD7 && c != 0xF7);
}

unsigned char byteAt(std::string_view text, size_t i) {
  return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
}

}  // namespace

bool minusSignAt(std::string_view text, size_t pos) {
  if (byteAt(text, pos) != '-' || !isDigit(byteAt(text, pos + 1))) return false;
  return pos == 0 || !isNameChar(byteAt(text, pos - 1));
}

bool nameHyphenAt(std::string_view text, size_t pos) {
  if (byteAt(text, pos) != '-' || pos == 0) return false;
  const unsigned char before = byteAt(text, pos - 1), after = byteAt(text, pos + 1);
  if (!isNameChar(before) || !isNameChar(after)) return false;
  return isDigit(before) || isDigit(after);
}

size_t ipv4LengthAt(std::string_view text, size_t pos) {
  // Inside a longer number or a run of dotted numbers is not the start.
  if (pos > 0 && (isDigit(byteAt(text, pos - 1)) ||
                  (byteAt(text, pos - 1) == '.' && pos > 1 && isDigit(byteAt(text, pos - 2)))))
    return 0;
  size_t p = pos;
  for (int group = 0; group < 4; ++group) {
    if (group > 0) {
      if (byteAt(text, p) != '.') return 0;
      ++p;
    }
    const size_t start = p;
    unsigned value = 0;
    while (isDigit(byteAt(text, p)) && p - start < 4) value = value * 10 + (text[p++] - '0');
    const size_t digits = p - start;
    if (digits == 0 || digits > 3 || value > 255) return 0;
    if (digits > 1 && text[start] == '0') return 0;
  }
  // A fifth group, or more digits, make it something else.
  if (isDigit(byteAt(text, p)) || (byteAt(text, p) == '.' && isDigit(byteAt(text, p + 1))))
    return 0;
  return p - pos;
}

}  // namespace tts
