#include "platform/clientlib/net/client_texts.h"

#include <array>
#include <cstddef>

namespace clib {

namespace {

// In TClientText order; the client text test fails on an entry left without English.
constexpr std::array<rt::TTranslatedText, static_cast<std::size_t>(TClientText::kCount)> kTexts = {{
    {"Falha no servidor de aplicação.", "The application server failed."},
    {"A resposta do servidor de aplicação tem %1 MiB, acima do limite de %2 MiB: grande demais para ser carregada",
     "The application server's answer is %1 MiB, over the limit of %2 MiB: too large to be loaded"},
    {"certificado do servidor não reconhecido", "the server's certificate is not recognised"},
    {"falha na negociação da conexão segura (TLS)", "the secure connection (TLS) could not be negotiated"},
    {"não foi possível ler os certificados de autoridade", "the certificate authorities could not be read"},
    {"não foi possível ler os certificados de autoridade de %1",
     "the certificate authorities could not be read from %1"},
    {"O servidor de aplicação %1 não respondeu em %2 s. Tente de novo; se persistir, avise o suporte.",
     "The application server %1 did not answer within %2 s. Try again; if it persists, tell support."},
    {"A conexão com o servidor de aplicação %1 caiu antes do fim da resposta.",
     "The connection to the application server %1 dropped before the end of the answer."},
    {"Não foi possível conectar ao servidor de aplicação %1 (%2)",
     "Could not connect to the application server %1 (%2)"},
    {"o servidor aceitou a conexão mas não respondeu", "the server accepted the connection but did not answer"},
    {"Resposta inválida do servidor de aplicação à identificação (HTTP %1)",
     "Invalid answer of the application server to the sign-in (HTTP %1)"},
    {"Argumento inválido para %1: %2", "Invalid argument for %1: %2"},
    {"Aguardando o servidor (%1)…", "Waiting for the server (%1)…"},
    {"Resposta inválida do servidor de aplicação (HTTP %1)", "Invalid answer of the application server (HTTP %1)"},
    {"Resposta inválida do servidor de aplicação: %1", "Invalid answer of the application server: %1"},
    {"Resposta inválida do servidor de aplicação em %1: %2", "Invalid answer of the application server to %1: %2"},
    {"era esperado um pacote de dados.", "a data packet was expected."},
    {"eram esperados quatro pacotes de dados.", "four data packets were expected."},
    {"era esperada uma lista de %1 pacotes de dados ou mais.", "a list of %1 data packets or more was expected."},
    {"era esperado um valor lógico.", "a boolean value was expected."},
    {"sem lista de relatórios", "no list of reports"},
    {"sem relatório", "no report"},
    {"com relatório incompleto", "an incomplete report"},
    {"sem nome", "no name"},
    {"sem título", "no title"},
    {"sem parâmetros", "no parameters"},
    {"sem parâmetro", "no parameter"},
    {"sem resultado", "no result"},
    {"sem as linhas do relatório", "no rows of the report"},
    {"sem leiaute", "no layout"},
    {"%1 de %2", "%1 of %2"},
    {"todas", "all"},
    {"%1 a %2", "%1 to %2"},
    {"a partir de %1", "from %1 on"},
    {"até %1", "up to %1"},
    {"(não informado)", "(not given)"},
    {"Emitido em %1 por %2", "Printed on %1 by %2"},
}};

}  // namespace

std::string ClientText(TClientText text, rt::TUiLanguage language, std::initializer_list<std::string_view> arguments) {
  return rt::FillArguments(kTexts[static_cast<std::size_t>(text)].In(language), arguments);
}

}  // namespace clib
