// Conversions of the allocation grid between what is stored and what is typed or shown:
// crew start times and registrations. Pure text functions; the
// field handlers of the screen call them.
#pragma once

#include <string>
#include <vector>

namespace alloc {

// A typed crew time normalised to four characters, hours then minutes ("08:30" ->
// "0830", "8" -> "0800"); a blank text gives "". Only the shapes hhmm and hh?mm give
// minutes; no range is checked (the labour item's list of times settles validity).
std::string Ajusta_Hora(const std::string& typed);

// The registration without its mask characters: every "-" and "." removed; everything
// else, "/" and blanks included, kept in order.
std::string LimpaMascara(std::string registration);

// A stored crew time ("0830") as shown through the mask "99:99;0" with the user's time
// separator ("08:30"); unfilled positions show as blanks.
std::string MascaraHora(const std::string& stored);

// A message text with its "%s" replaced by the arguments, in order; a "%s" beyond the
// arguments stays, an argument beyond the "%s" is dropped.
std::string ComArgumentos(std::string text, const std::vector<std::string>& args);

// A budget as the screen names it: "15/01" for number "0000000015", sequence "01".
std::string NomeOrcamento(const std::string& numero, const std::string& sequencia);

}  // namespace alloc
