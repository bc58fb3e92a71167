// The sentences of file transfer over SSH (SFTP), looked up by Announce as
// those of the main catalogue are: the connection, the server's host key,
// the authentication and what only SFTP has to say. UTF-8 here.
#pragma once

#include <array>

#include "ftp/ftpmsgCatalogue.h"

namespace ftp {

inline constexpr std::array<MessageEntry, 25> kSshMessages{{
    {"FTSSHINI", "Negociando a conexão segura (SSH)"},
    {"FTSSHOK", "Conexão SSH estabelecida"},
    {"FTSSHNAO", "Este servidor não fala SSH: "},
    {"FTSSHMUD", "O servidor não se identificou como servidor SSH"},
    {"FTSSHERR", "Falha na conexão SSH: "},
    {"FTSSHBIB", "Não consegui iniciar a biblioteca SSH"},
    {"FTHKDES", "Este servidor é desconhecido: a chave dele ainda não foi guardada"},
    {"FTHKTIP", "Tipo da chave: "},
    {"FTHKIMP", "Impressão digital: "},
    {"FTHKFIM", "Termina em: "},
    {"FTHKACE", "Aceita esta chave e a guarda para as próximas vezes? S ou N "},
    {"FTHKMEM", "Chave aceita e guardada"},
    {"FTHKNGU", "Chave aceita, mas não consegui guardá-la: "},
    {"FTHKREC", "Chave recusada, conexão encerrada"},
    {"FTHKMUD",
     "Perigo: a chave deste servidor mudou desde que foi aceita. Alguém pode estar se passando "
     "pelo servidor. Conexão recusada, nenhuma senha foi enviada."},
    {"FTHKERR", "Não consegui ler o arquivo dos servidores conhecidos: "},
    {"FTCHVNAO", "A chave não foi aceita"},
    {"FTSENREC", "Senha recusada"},
    {"FTFRASE", "Qual a frase secreta da chave "},
    {"FTFRAERR", "Frase secreta errada"},
    {"FTSEMAUT", "O servidor não aceitou nenhuma forma de entrar"},
    {"FTSFTPNA", "O servidor não oferece transferência de arquivos (SFTP)"},
    {"FTSPASV", "O modo passivo não tem sentido no SFTP"},
    {"FTSCMD", "Comandos diretos são só para FTP"},
    {"FTSPERM", "Permissão negada"},
}};

}  // namespace ftp
