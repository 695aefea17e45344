// A small JSON value for korvalinctl's output: objects keep their keys in
// the order they were set, strings are UTF-8.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace kvctl {

class Json {
 public:
  using Object = std::vector<std::pair<std::string, Json>>;
  using Array = std::vector<Json>;

  Json() : value_(nullptr) {}
  Json(bool b) : value_(b) {}
  Json(int v) : value_(static_cast<int64_t>(v)) {}
  Json(unsigned v) : value_(static_cast<int64_t>(v)) {}
  Json(int64_t v) : value_(v) {}
  Json(uint64_t v) : value_(static_cast<int64_t>(v)) {}
  Json(const char* s) : value_(std::string(s)) {}
  Json(std::string s) : value_(std::move(s)) {}
  Json(std::string_view s) : value_(std::string(s)) {}

  static Json object() { return Json(Object{}); }
  static Json array() { return Json(Array{}); }

  // On an object: adds the member. On an array: ignored.
  Json& set(std::string key, Json value);
  // On an array: appends. On an object: ignored.
  Json& push(Json value);

  // Pretty-printed with two-space indentation, no trailing newline.
  std::string dump() const;

 private:
  explicit Json(Object o) : value_(std::make_shared<Object>(std::move(o))) {}
  explicit Json(Array a) : value_(std::make_shared<Array>(std::move(a))) {}
  void dumpTo(std::string& out, int depth) const;

  std::variant<std::nullptr_t, bool, int64_t, std::string, std::shared_ptr<Object>, std::shared_ptr<Array>> value_;
};

// A JSON string literal with its quotes; control characters and invalid
// UTF-8 bytes are escaped so the output always parses.
std::string quoteJson(std::string_view s);

}  // namespace kvctl
