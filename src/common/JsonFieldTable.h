// Reading a record from a JSON object: each record has one table naming the
// members it takes and how each value is converted, and every reader of that
// record walks the object through it.
//
// The walk goes through the members in document order and sets the field of
// each member whose name is in the table, so a later duplicate overwrites an
// earlier one; other members are ignored. A table is built once (a
// function-local static) and is read-only afterwards, so any thread may use it.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "JsonReader.h"

template <typename Record>
class JsonFieldTable {
 public:
  // Any conversion the two kinds below do not cover. It may throw; the
  // exception ends the walk and the fields set before it keep their values.
  typedef void (*Setter)(Record* record, const JsonValue& value);

  // One member of the table: its key and the field it sets.
  class Field {
   public:
    // A 32-bit integer: json_as_int, cut to 32 bits.
    Field(const char* key, int32_t Record::*field) : key_(key), int_field_(field) {}
    // A text: json_as_text (an object or array gives its compact JSON text).
    Field(const char* key, std::string Record::*field) : key_(key), text_field_(field) {}
    Field(const char* key, Setter set) : key_(key), set_(set) {}

    bool named(const JsonValue& name) const {
      size_t length = strlen(key_);
      return name.GetStringLength() == length && memcmp(name.GetString(), key_, length) == 0;
    }

    void set(Record* record, const JsonValue& value) const {
      if (int_field_ != nullptr) {
        record->*int_field_ = static_cast<int32_t>(json_as_int(value));
      } else if (text_field_ != nullptr) {
        record->*text_field_ = json_as_text(value);
      } else {
        set_(record, value);
      }
    }

   private:
    const char* key_;
    int32_t Record::*int_field_ = nullptr;
    std::string Record::*text_field_ = nullptr;
    Setter set_ = nullptr;
  };

  JsonFieldTable(std::initializer_list<Field> fields) : fields_(fields) {}

  // Sets the fields named by the object's members (above). A value that is
  // not an object sets nothing: an array has no named members.
  void apply(const JsonValue& object, Record* record) const {
    if (!object.IsObject()) return;
    for (auto m = object.MemberBegin(); m != object.MemberEnd(); ++m) {
      const Field* field = find(m->name);
      if (field != nullptr) field->set(record, m->value);
    }
  }

  // Parses the text with parse_json, whose exceptions pass through (nothing
  // is set then), and applies the table to its root.
  void read(const std::string& text, Record* record) const {
    JsonDocument doc;
    parse_json(text, &doc);
    apply(doc, record);
  }

 private:
  const Field* find(const JsonValue& name) const {
    for (const Field& field : fields_) {
      if (field.named(name)) return &field;
    }
    return nullptr;
  }

  std::vector<Field> fields_;
};
