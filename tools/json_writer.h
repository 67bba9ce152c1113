#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrane {

// Builds one compact JSON text. Members and elements are separated automatically.
class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(std::string_view name);
  JsonWriter& Int(std::int64_t v);
  JsonWriter& Bool(bool v);
  JsonWriter& Null();
  // Valid UTF-8 passes through; control characters and bytes that are not UTF-8 are escaped.
  JsonWriter& String(std::string_view v);

  const std::string& str() const { return out_; }

 private:
  void Separate();
  std::string out_;
  bool need_comma_ = false;
};

}  // namespace kestrane
