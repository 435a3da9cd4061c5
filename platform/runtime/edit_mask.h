// Edit masks of the kind the screens' framework uses, and the formatting of a stored
// value through one.
//
// A mask is up to three parts separated by ';': the picture, then "0" (the picture's
// literals are not part of the stored value) or "1" (they are; the default), then the
// character an editor shows in empty positions (default '_'). In the picture:
//   0 digit          9 digit, optional      # digit or sign, optional
//   L letter         l letter, optional     A letter or digit   a same, optional
//   C any character  c same, optional
//   :  the user's time separator            /  the user's date separator
//   _  a blank       \x  x as a literal     >  upper case from here   <  lower case
//   <> no case change from here             !  (editor trimming; not shown)
//   anything else is a literal.
// "99:99;0" shows the stored 0830 as 08:30; "999.999.999-99;0" shows a registration.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/locale_format.h"

namespace rt {

struct EditMask {
  enum class Case { AsTyped, Upper, Lower };
  struct Position {
    bool input = false;  // a position the value fills; otherwise a literal
    char mask_char = 0;  // input: the picture character ('9', 'L', ...)
    char literal = 0;    // literal: the character shown
    Case letter_case = Case::AsTyped;
  };

  std::vector<Position> positions;
  bool saves_literals = true;
  char blank = '_';
};

// Splits a mask into its picture positions and options, with the separators of
// `settings` in place of ':' and '/'.
EditMask ParseEditMask(std::string_view mask, const FormatSettings& settings);

// The stored `value` shown through `mask`: the value's characters fill the input
// positions from the left (with "1", a value character equal to the literal at a literal
// position is taken as that literal), literals are shown where they stand, input
// positions the value does not reach are shown as spaces, and characters beyond the
// picture follow at the end. An empty mask shows the value unchanged.
std::string FormatMaskText(std::string_view mask, std::string_view value, const FormatSettings& settings);
std::string FormatMaskText(std::string_view mask, std::string_view value);

}  // namespace rt
