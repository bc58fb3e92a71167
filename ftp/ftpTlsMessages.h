// The sentences of the encrypted connection (explicit TLS), looked up by
// Announce as those of the main catalogue are. UTF-8 here.
#pragma once

#include <array>

#include "ftp/ftpmsgCatalogue.h"

namespace ftp {

inline constexpr std::array<MessageEntry, 19> kTlsMessages{{
    {"FTTLSINI", "Pedindo conexão segura (TLS)"},
    {"FTTLSOK", "Conexão segura estabelecida"},
    {"FTTLSNAO",
     "Atenção: o servidor não aceita conexão segura; a conta, a senha e os arquivos vão passar "
     "sem criptografia."},
    {"FTTLSEXI", "O servidor não aceita conexão segura, que é exigida. Não vou fazer o login."},
    {"FTTLSERR", "Falha na conexão segura: "},
    {"FTTLSBIB", "Não consegui iniciar a biblioteca de criptografia"},
    {"FTCERDES", "O certificado do servidor não pôde ser verificado: "},
    {"FTCERSUJ", "Certificado de: "},
    {"FTCEREMI", "Emitido por: "},
    {"FTCERIMP", "Impressão digital SHA-256: "},
    {"FTCERACE", "Aceita este certificado e o guarda para as próximas vezes? S ou N "},
    {"FTCERMEM", "Certificado aceito e guardado"},
    {"FTCERTMP", "Certificado aceito só para esta conexão; não consegui guardá-lo: "},
    {"FTCERREC", "Certificado recusado, conexão encerrada"},
    {"FTCERMUD",
     "Perigo: o certificado deste servidor mudou desde que foi aceito. Pode ser um impostor. "
     "Conexão recusada."},
    {"FTTLSANT", "Este servidor já usou conexão segura; agora recusou. Pode ser um ataque."},
    {"FTTLSINJ",
     "O servidor mandou respostas antes da conexão segura. Pode ser um ataque. Conexão encerrada."},
    {"FTDADCER",
     "A conexão de dados não veio do servidor aceito. Pode ser um ataque. Transferência "
     "cancelada."},
    {"FTDADNAO", "Os arquivos vão passar sem criptografia"},
}};

}  // namespace ftp
