// Text and number routines shared by every screen: blank test, zero padding of keys,
// registration prefix and mask, decimal rounding.
#pragma once

#include <string>

namespace clib {

// True when s is empty or holds only blanks (spaces, tabs, line breaks).
bool EmptyString(const std::string& s);

// Brings a key to width n. Surrounding blanks are removed; text made only of digits is
// padded on the left with zeros ("12", 10 -> "0000000012"). Blank text gives "" (so that
// "must be informed" checks still see it); any other text, and digits already wider
// than n, come back unchanged apart from the trimming: a key is never cut short.
std::string Ajusta(const std::string& s, int n);

// Normalises a registration in place (surrounding blanks removed) and returns the prefix
// that, followed by the registration, makes the server key: "F" for 11 digits (a
// person), "J" for 14 digits (a company), "" for anything else (the server then matches
// the bare text).
std::string Ajusta_Inscricao(std::string& inscricao);

// Display mask of a registration type: "F" person, "J" company, "" for any other type.
std::string PictPess(const std::string& tipo);

// x rounded to n decimals (0..15), half away from zero, on the shortest decimal form of
// x: 2.345 -> 2.35 although its binary value is slightly below 2.345.
double RoundDec(double x, int n);

// Decimal hours as "hh:mm", rounded to 2 decimals first (5.5 -> "05:30", 1.999 ->
// "02:00"); minutes that are not whole go to the nearest minute (10.1 -> "10:06"),
// hours of 100 or more keep their digits ("123:30"); zero, negative or non-finite ->
// "00:00". The allocation grid's hours column and the report use it.
std::string HoursText(double hours);

}  // namespace clib
