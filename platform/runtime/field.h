// A field of a client dataset: one column's definition plus typed access to its value
// in the dataset's current record (or the record a view is reading, see
// TReadRecordScope in client_dataset.h).
//
// Values are stored in the field's type: a string field keeps strings cut to its size in
// characters (UTF-8 aware), a float field doubles, an integer field 64-bit integers.
// Reading a null gives "" as text and 0 as a number. Writing needs the dataset in edit
// or insert state; a calculated field is written only while its dataset computes
// calculated fields (dsCalcFields) and a data field never then.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include "platform/runtime/exception.h"

#include "platform/runtime/packet.h"
#include "platform/runtime/variant.h"

namespace rt {

class TClientDataSet;

// A refused dataset or field operation; the message says what and which field.
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

class TField {
 public:
  // text by reference; display_text true for showing, false for the cell editor.
  using TFieldGetTextEvent = std::function<void(TField& sender, std::string& text, bool display_text)>;
  using TFieldSetTextEvent = std::function<void(TField& sender, const std::string& text)>;

  TField(TClientDataSet& dataset, int index, FieldDef def);
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  TClientDataSet& DataSet() const { return *dataset_; }
  int Index() const { return index_; }  // position in the dataset's Fields()
  const FieldDef& Def() const { return def_; }

  // Definition.
  const std::string& FieldName() const { return def_.name; }
  FieldType DataType() const { return def_.type; }
  int Size() const { return def_.size; }
  bool Calculated() const { return def_.calculated; }
  bool Required() const { return def_.required; }
  std::string DisplayLabel() const;  // the name when no label was set
  void SetDisplayLabel(std::string label) { def_.display_label = std::move(label); }
  int DisplayWidth() const;  // the size (strings) or 10 (others) when not set
  void SetDisplayWidth(int width) { def_.display_width = width; }
  bool Visible() const { return def_.visible; }
  void SetVisible(bool visible) { def_.visible = visible; }
  bool ReadOnly() const { return def_.read_only; }
  void SetReadOnly(bool read_only) { def_.read_only = read_only; }
  const std::string& EditMask() const { return def_.edit_mask; }
  void SetEditMask(std::string mask) { def_.edit_mask = std::move(mask); }
  rt::ProviderFlags ProviderFlags() const { return def_.provider_flags; }
  void SetProviderFlags(rt::ProviderFlags flags) { def_.provider_flags = flags; }

  // Value in the current record (the edit buffer while editing).
  Variant Value() const;
  void ReadValue(Variant& out) const;   // Value() into `out`, reusing its string (loops over records)
  void SetValue(const Variant& value);  // converted to the field's type; throws if it cannot be
  bool IsNull() const;
  void Clear();  // sets null

  std::string AsString() const;
  void SetAsString(const std::string& text);  // "" sets null on non-string fields
  double AsFloat() const;
  void SetAsFloat(double value);
  std::int64_t AsInteger() const;
  void SetAsInteger(std::int64_t value);
  bool AsBoolean() const;
  void SetAsBoolean(bool value);
  DateTime AsDateTime() const;
  void SetAsDateTime(const DateTime& value);

  // As at the last merge of the change log: null for an inserted record, the stored
  // copy for a changed one, the current stored value for an unchanged one.
  Variant OldValue() const;
  // The value being written: the edit buffer while editing, else the stored value.
  Variant NewValue() const;

  // Text through OnGetText when set (display_text true / false), else AsString.
  std::string DisplayText() const;
  std::string Text() const { return DisplayText(); }
  std::string EditText() const;
  // Through OnSetText when set, else SetAsString.
  void SetText(const std::string& text);

  // Asks the controls attached to the dataset to focus the one that shows this field.
  void FocusControl();

  TFieldGetTextEvent OnGetText;
  TFieldSetTextEvent OnSetText;

 private:
  friend class TClientDataSet;
  std::string DefaultText() const;

  TClientDataSet* dataset_;
  int index_;
  FieldDef def_;
  bool from_packet_ = false;  // made by a load for a column the definitions lack
};

// Converts a value to the type of a field with this definition: numbers between integer
// and float, text to numbers (the user's decimal separator), strings cut to the size.
// Throws EDatabaseError naming the field when the value does not fit.
Variant CoerceToField(const FieldDef& def, const Variant& value);

// Text of a stored value as a field shows it by default (AsString).
std::string ValueText(const Variant& value);

// The first `size` characters of a UTF-8 string (never splits a character).
std::string CutToChars(const std::string& text, int size);

}  // namespace rt
