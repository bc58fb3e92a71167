// The message catalogue: every sentence the FTP client says, by key, in the
// order of its table, plus the console labels that are written but never
// spoken. Texts are UTF-8 here; convert with qr::W before use. Trailing blanks
// belong to the text (prompts after which the cursor waits on the line).
#pragma once

#include <array>
#include <string_view>

namespace ftp {

struct MessageEntry {
  std::string_view key;
  std::string_view text;
};

inline constexpr std::array<MessageEntry, 95> kMessages{{
    {"FTERRBIB", "Não consegui conexão com a rotina de comunicações"},
    {"FTERRSOQ", "Não consegui criar soquete"},
    {"FTERBIND", "Não consegui alocar porta (bind)"},
    {"FTERCOMP", "Não consegui achar este computador pelo nome"},
    {"FTCONEC", "Conectando "},
    {"FTNAOCON", "Não consegui realizar a conexao"},
    {"FTERBNDD", "Não consegui alocar porta para dados (bind)"},
    {"FTERLSTN", "Não consegui executar listen"},
    {"FTACECON", "Não consegui aceitar conexao: erro "},
    {"FTCOMCAI", "Comunicacao Caiu"},
    {"FTTRANS", "Transmitidos "},
    {"FTMODIMG", "Devo usar o modo imagem (sugiro que sim) ? "},
    {"FTERRMOD", "Problemas ao selecionar modo de transmissão"},
    {"FTTRANSM", "Transmitir"},
    {"FTNOMLOC", "Qual o nome do arquivo local ? "},
    {"FTARQNAO", "Arquivo não existe..."},
    {"FTNOMREM", "Qual o nome do arquivo remoto ? "},
    {"FTCNFAPA", "Confirme apagamento de "},
    {"FTSIMNAO", "Sim ou nao?"},
    {"FTTAMBYT", "Tamanho em bytes"},
    {"FTTRAREC", "Transferência de arquivo foi recusada"},
    {"FTERRENV", "Erro no envio dos dados, código"},
    {"FTFIMENV", "Envio completado"},
    {"FTRECEBE", "Receber"},
    {"FTNAOCRI", "Não consegui criar o arquivo local"},
    {"FTFIMREC", "Recepção completada"},
    {"FTAPAGA", "Apagar"},
    {"FTNOMAPA", "Qual o nome do arquivo remoto a apagar ? "},
    {"FTOKAPAG", "Ok, apagado"},
    {"FTNAOAPA", "Não consegui apagar este arquivo"},
    {"FTERTEMP", "Problemas com o arquivo temporário, não posso ler o diretório"},
    {"FTUSESET",
     "Use as setas para ler, F9 para informações , D para tamanho, A para apagar, T para trocar e "
     "ESC para terminar"},
    {"FTERRCRI", "Não consegui criar o arquivo para receber o diretorio"},
    {"FTULTARQ", "Ultimo arquivo..."},
    {"FTDIRPED", "Diretorio pedido, aguarde"},
    {"FTPEDREC", "Pedido de informações de diretório foi recusado"},
    {"FTERRDIR", "Erro na transferencia do diretorio"},
    {"FTVERDIR", "Verificando diretório atual"},
    {"FTQUEDIR", "Qual o nome do diretorio remoto desejado ? "},
    {"FTNAODIR", "Não consegui obter o diretório atual"},
    {"FTDESIS", "Desistiu"},
    {"FTOK", "OK"},
    {"FTNAOTRO", "Não consegui trocar"},
    {"FTINIC", "NAVIRO - TORVEL - v."},
    {"FTCOMPUT", "Nome do computador: "},
    {"FTAJUD00", "As opçoes são"},
    {"FTAJUD01", "  L  login conta e senha"},
    {"FTAJUD02", "  D  diretorio remoto"},
    {"FTAJUD03", "  R  receber arquivo remoto"},
    {"FTAJUD04", "  T  transmitir"},
    {"FTAJUD05", "  A  apagar"},
    {"FTAJUD06", "  S  trocar subdiretorio"},
    {"FTAJUD07", "  Q  Informa quantidade transmitida"},
    {"FTAJUD08", "  V  modo verborágico"},
    {"FTAJUD8A", "  P  modo passivo"},
    {"FTAJUD8B", "  /  comandos do ftp"},
    {"FTAJUD8C", "  I  identificação do diretório atual"},
    {"FTAJUD8D", "  C  Cria subdiretório"},
    {"FTQUESBD", "Qual o nome do subdiretório?"},
    {"FTNCRIA", "Não consegui criar"},
    {"FTAJUD09", "  ?  ajuda"},
    {"FTAJUD10", "ESC  fim do programa"},
    {"FTVERBO", "Modo verborrágico ligado"},
    {"FTNAOVRB", "Modo verborrágico desligado"},
    {"FTCMDFTP", "Entre o comando em codigo FTP"},
    {"FTERRCMD", "Comando inexistente"},
    {"FTFIMPRG", "Programa terminado"},
    {"FTERRSRV", "Servidor não está disponível, codigo"},
    {"FTCMD", "Comando ? "},
    {"FTDESCON", "Desconectando"},
    {"FTERPORT", "Problemas na escolha da porta de dados, código "},
    {"FTCONTA", "Qual a conta   "},
    {"FTERCONT", "Problemas com a conta, código"},
    {"FTSENHA", "Qual a senha   "},
    {"FTERSENH", "Senha não foi aceita, código"},
    {"FTCHAVE", "Qual a sua chave de acesso   "},
    {"FTERCHAV", "Chave de acesso não foi aceita, código"},
    {"FTACLIBE", "Acesso liberado"},
    {"FTCOMINT", "Comunicação foi interrompida"},
    {"FTINTERR", "Transferência interrompida"},
    {"FTPARTE", "O que chegou foi guardado em "},
    {"FTNOMINV", "Este nome tem caracteres de controle, não posso usá-lo"},
    {"FTPPASSI", "Modo passivo ativado"},
    {"FTPNPASS", "Modo passivo desativado"},
    {"FTNAOPSV", "Servidor remoto não aceitou o modo passivo"},
    {"FTUSSETA", "Use as setas para selecionar arquivos ou subdiretórios, F9 - menu, ESC termina."},
    {"FTPAJA01", "As opções são"},
    {"FTPAJA02", "R - recebe o arquivo que foi falado"},
    {"FTPAJA03", "A - apaga o arquivo"},
    {"FTPAJA04", "D - dados sobre o arquivo"},
    {"FTPAJA05", "V - vai para o diretório pai"},
    {"FTPAJA06", "T - troca para o diretório falado"},
    {"FTPAJA10", "ESQ, DIR - soletra nome com as setas"},
    {"FTPAJA11", "CTRL INS - joga o nome na área de transferência"},
    {"FTPAJA12", "ESC - volta ao menu principal do ftp"},
}};

inline constexpr std::array<MessageEntry, 4> kLabels{{
    {"FTNOMELO", "Nome local: "},
    {"FTPOLOC", "Porta local: "},
    {"FTENDRED", "Endereço de rede: "},
    {"FTSELPOR", "Selecionando a porta "},
}};

}  // namespace ftp
