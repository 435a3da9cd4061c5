#include "platform/runtime/field.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/runtime/client_dataset.h"
#include "platform/runtime/locale_format.h"

namespace rt {

namespace {

[[noreturn]] void Refuse(const FieldDef& def, const Variant& value) {
  const std::string shown = value.type() == Variant::Type::String ? value.AsString() : value.Describe();
  throw EDatabaseError("'" + shown + "' is not a valid value for field '" + def.name + "'");
}

std::string DateTimeText(const DateTime& d) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", d.day, d.month, d.year, d.hour, d.minute, d.second);
  return buf;
}

// Numbers as text follow the user's settings (decimal separator) in both directions.
bool ParseFloat(const std::string& text, double& out) { return TryStrToFloat(text, out); }

bool ParseDateTime(const std::string& text, DateTime& out) {
  if (DateTime::FromIso(text, out)) return true;
  DateTime d;
  char tail = 0;
  const int n = std::sscanf(text.c_str(), "%2d/%2d/%4d %2d:%2d:%2d%c", &d.day, &d.month, &d.year, &d.hour, &d.minute,
                            &d.second, &tail);
  if (n == 3) d.hour = d.minute = d.second = 0;
  if ((n != 3 && n != 6) || !d.IsValid()) return false;
  out = d;
  return true;
}

}  // namespace

std::string ValueText(const Variant& value) {
  switch (value.type()) {
    case Variant::Type::Null:
      return "";
    case Variant::Type::Boolean:
      return value.AsBool() ? "True" : "False";
    case Variant::Type::Integer:
      return std::to_string(value.AsInt());
    case Variant::Type::Float:
      return FloatToStr(value.AsFloat());
    case Variant::Type::String:
      return value.AsString();
    case Variant::Type::DateTime:
      return DateTimeText(value.AsDateTime());
    default:
      return value.Describe();
  }
}

std::string CutToChars(const std::string& text, int size) {
  if (size < 0 || text.size() <= static_cast<std::size_t>(size)) return text;  // fast path: bytes >= chars
  std::size_t pos = 0;
  for (int chars = 0; pos < text.size() && chars < size; ++chars) {
    ++pos;  // past the lead byte, then past its continuation bytes
    while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) ++pos;
  }
  return text.substr(0, pos);
}

Variant CoerceToField(const FieldDef& def, const Variant& value) {
  using T = Variant::Type;
  if (value.IsNull()) return value;
  switch (def.type) {
    case FieldType::String:
      if (value.type() == T::String) return CutToChars(value.AsString(), def.size);
      if (value.type() == T::Array || value.type() == T::Packet) Refuse(def, value);
      return CutToChars(ValueText(value), def.size);
    case FieldType::Float:
      if (value.IsNumber()) return value.AsFloat();
      if (value.type() == T::String) {
        if (value.AsString().empty()) return Variant();
        double d = 0;
        if (ParseFloat(value.AsString(), d)) return d;
      }
      Refuse(def, value);
    case FieldType::Integer:
      if (value.type() == T::Integer) return value;
      if (value.type() == T::Float && std::isfinite(value.AsFloat())) {
        return static_cast<std::int64_t>(std::nearbyint(value.AsFloat()));
      }
      if (value.type() == T::Boolean) return std::int64_t{value.AsBool() ? 1 : 0};
      if (value.type() == T::String) {
        const std::string& s = value.AsString();
        if (s.empty()) return Variant();
        std::int64_t i = 0;
        const auto result = std::from_chars(s.data(), s.data() + s.size(), i);
        if (result.ec == std::errc() && result.ptr == s.data() + s.size()) return i;
      }
      Refuse(def, value);
    case FieldType::Boolean:
      if (value.type() == T::Boolean) return value;
      if (value.type() == T::Integer) return value.AsInt() != 0;
      if (value.type() == T::String) {
        const std::string& s = value.AsString();
        if (s.empty()) return Variant();
        if (s == "True" || s == "true" || s == "TRUE" || s == "1") return true;
        if (s == "False" || s == "false" || s == "FALSE" || s == "0") return false;
      }
      Refuse(def, value);
    case FieldType::DateTime:
      if (value.type() == T::DateTime) return value;
      if (value.type() == T::String) {
        if (value.AsString().empty()) return Variant();
        DateTime d;
        if (ParseDateTime(value.AsString(), d)) return d;
      }
      Refuse(def, value);
  }
  Refuse(def, value);
}

TField::TField(TClientDataSet& dataset, int index, FieldDef def)
    : dataset_(&dataset), index_(index), def_(std::move(def)) {}

std::string TField::DisplayLabel() const { return def_.display_label.empty() ? def_.name : def_.display_label; }

int TField::DisplayWidth() const {
  if (def_.display_width > 0) return def_.display_width;
  return def_.type == FieldType::String ? def_.size : 10;
}

Variant TField::Value() const { return dataset_->GetFieldValue(index_); }
void TField::ReadValue(Variant& out) const { dataset_->GetFieldValue(index_, out); }
void TField::SetValue(const Variant& value) { dataset_->SetFieldValue(index_, value); }
bool TField::IsNull() const { return Value().IsNull(); }
void TField::Clear() { SetValue(Variant()); }

std::string TField::AsString() const { return ValueText(Value()); }
void TField::SetAsString(const std::string& text) { SetValue(Variant(text)); }

double TField::AsFloat() const {
  const Variant v = Value();
  if (v.IsNull()) return 0;
  if (v.IsNumber()) return v.AsFloat();
  if (v.type() == Variant::Type::Boolean) return v.AsBool() ? 1 : 0;
  double d = 0;
  if (v.type() == Variant::Type::String && ParseFloat(v.AsString(), d)) return d;
  throw EDatabaseError("'" + AsString() + "' is not a valid floating point value for field '" + def_.name + "'");
}
void TField::SetAsFloat(double value) { SetValue(Variant(value)); }

std::int64_t TField::AsInteger() const {
  const Variant v = Value();
  if (v.IsNull()) return 0;
  if (v.type() == Variant::Type::Integer) return v.AsInt();
  const double d = AsFloat();
  if (!std::isfinite(d)) throw EDatabaseError("Field '" + def_.name + "' does not hold an integer value");
  return static_cast<std::int64_t>(std::nearbyint(d));
}
void TField::SetAsInteger(std::int64_t value) { SetValue(Variant(value)); }

// The value read as another type, with the conversions of a field of that type.
static Variant ReadAs(const FieldDef& def, FieldType type, const Variant& value) {
  FieldDef as = def;
  as.type = type;
  return CoerceToField(as, value);
}

bool TField::AsBoolean() const {
  const Variant v = ReadAs(def_, FieldType::Boolean, Value());
  return !v.IsNull() && v.AsBool();
}
void TField::SetAsBoolean(bool value) { SetValue(Variant(value)); }

DateTime TField::AsDateTime() const {
  const Variant v = ReadAs(def_, FieldType::DateTime, Value());
  return v.IsNull() ? DateTime{} : v.AsDateTime();
}
void TField::SetAsDateTime(const DateTime& value) { SetValue(Variant(value)); }

Variant TField::OldValue() const { return dataset_->GetOldFieldValue(index_); }
Variant TField::NewValue() const { return Value(); }

std::string TField::DefaultText() const { return AsString(); }

// A text handler starts from an empty text and decides the whole of it, as the framework's do.
std::string TField::DisplayText() const {
  if (!OnGetText) return DefaultText();
  std::string text;
  OnGetText(const_cast<TField&>(*this), text, true);
  return text;
}

std::string TField::EditText() const {
  if (!OnGetText) return DefaultText();
  std::string text;
  OnGetText(const_cast<TField&>(*this), text, false);
  return text;
}

void TField::SetText(const std::string& text) {
  if (OnSetText) {
    OnSetText(*this, text);
  } else {
    SetAsString(text);
  }
}

void TField::FocusControl() { dataset_->DataEvent(deFocusControl, this); }

}  // namespace rt
