// The client's sentences beyond the catalogue, looked up by Announce as
// those of the catalogue are: written for the ear, short, without the
// punctuation the voice names aloud. UTF-8 here.
#pragma once

#include <array>

#include "ftp/ftpmsgCatalogue.h"

namespace ftp {

inline constexpr std::array<MessageEntry, 6> kOwnMessages{{
    {"FTNAOENT", "Você não entrou no servidor. Tecle L para entrar."},
    {"FTPROCUR", "Procurar "},
    {"FTNENHUM", "Nada encontrado"},
    {"FTORDNOM", "Por nome"},
    {"FTORDTAM", "Por tamanho maiores primeiro"},
    {"FTORDDAT", "Por data mais novos primeiro"},
}};

}  // namespace ftp
