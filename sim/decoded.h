#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// What a decoder makes of a file's bytes: named fields in order, each a text, a number, a
// flag, a list or fields again, with notes on content that decoded only in part. The same
// value renders as JSON (the "decoded" of --format jsonl) and as indented lines of text
// (the tree of --explore and the window).
class Decoded {
 public:
  enum class Kind { kFields, kList, kText, kNumber, kFlag };
  struct Field;

  Decoded();  // fields, none yet
  ~Decoded();
  Decoded(const Decoded& other);
  Decoded(Decoded&& other) noexcept;
  Decoded& operator=(const Decoded& other);
  Decoded& operator=(Decoded&& other) noexcept;
  static Decoded Text(std::string utf8);
  static Decoded Number(std::int64_t value);
  static Decoded Flag(bool value);
  static Decoded List();

  // Adds a field (to fields) or an item (to a list); returns *this.
  Decoded& Add(std::string name, Decoded value);
  Decoded& Add(std::string name, std::string text) { return Add(std::move(name), Text(text)); }
  Decoded& Add(std::string name, const char* text) { return Add(std::move(name), Text(text)); }
  Decoded& Append(Decoded item);
  // Content that could not be decoded whole says so here.
  Decoded& Note(std::string text);
  Decoded& AppendNotes(const std::vector<std::string>& notes);

  Kind kind() const { return kind_; }
  const std::string& text() const { return text_; }
  std::int64_t number() const { return number_; }
  bool flag() const { return number_ != 0; }
  const std::vector<Field>& fields() const { return fields_; }
  const std::vector<Decoded>& items() const { return items_; }
  const std::vector<std::string>& notes() const { return notes_; }
  // The field of that name, or null.
  const Decoded* Find(std::string_view name) const;
  // Nothing in it: no field, item or note.
  bool Empty() const;

 private:
  Kind kind_ = Kind::kFields;
  std::string text_;
  std::int64_t number_ = 0;
  std::vector<Field> fields_;
  std::vector<Decoded> items_;
  std::vector<std::string> notes_;
};

struct Decoded::Field {
  std::string name;
  Decoded value;
};

// One line of JSON: fields as an object (notes last, as "notes": [...]), lists as arrays.
std::string DecodedJson(const Decoded& value);

// Lines of "name: value", a field's own fields and a list's items indented by two blanks
// more ("- " before each item), then "note: ..." lines. Names show with blanks for
// underscores; flags as yes or no.
std::vector<std::string> DecodedLines(const Decoded& value);

}  // namespace quorvel
