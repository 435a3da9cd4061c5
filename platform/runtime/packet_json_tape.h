// The rows of a packet of a parsed text read straight off simdjson's tape, once the
// packet's field definitions are known: each value's kind is the tape word's tag, its
// content the word after it or a string of the parser's buffer, so nothing is asked of
// the document twice and no getter checks a kind already known.
//
// This is a shortcut, never a judge: it takes a row only when every value plainly fits
// its field (what the checked reader of packet_json_reader.h would accept, built the same
// way), and on the first thing it does not take it gives up and leaves the rows to the
// checked reader, which reads them again and names what is wrong. A delta packet's rows
// (objects) are always left to it.
#pragma once

#include <simdjson.h>

#include <vector>

#include "platform/runtime/packet.h"

namespace rt::packet_json {

class TapeRows {
 public:
  // `document`: the parser's document of the whole text, valid while Read is called.
  explicit TapeRows(const simdjson::dom::document& document) : doc_(document) {}

  // Fills `rows` (empty on entry) with the rows of the list `list`, an element of the
  // document, whose packet body lies `depth` containers deep (rows and dates must stay
  // within the nesting limit): true when it took them all, false (rows left empty) when
  // the checked reader must read them.
  bool Read(simdjson::dom::element list, int depth, const std::vector<FieldDef>& fields, std::vector<Row>& rows) const;

 private:
  const simdjson::dom::document& doc_;
};

}  // namespace rt::packet_json
