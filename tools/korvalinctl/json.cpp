#include "tools/korvalinctl/json.h"

#include <cstdio>

namespace kvctl {

Json& Json::set(std::string key, Json value) {
  if (auto* o = std::get_if<std::shared_ptr<Object>>(&value_)) (*o)->emplace_back(std::move(key), std::move(value));
  return *this;
}

Json& Json::push(Json value) {
  if (auto* a = std::get_if<std::shared_ptr<Array>>(&value_)) (*a)->push_back(std::move(value));
  return *this;
}

std::string Json::dump() const {
  std::string out;
  dumpTo(out, 0);
  return out;
}

namespace {

void indent(std::string& out, int depth) {
  out.push_back('\n');
  out.append(static_cast<size_t>(depth) * 2, ' ');
}

// Length of the valid UTF-8 sequence at s[i], or 0.
size_t utf8Length(std::string_view s, size_t i) {
  auto c = static_cast<unsigned char>(s[i]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  return n;
}

}  // namespace

std::string quoteJson(std::string_view s) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
      ++i;
    } else if (c == '\n') {
      out += "\\n";
      ++i;
    } else if (c == '\r') {
      out += "\\r";
      ++i;
    } else if (c == '\t') {
      out += "\\t";
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
      ++i;
    } else if (size_t n = utf8Length(s, i)) {
      out.append(s.substr(i, n));
      i += n;
    } else {
      out += "\\ufffd";
      ++i;
    }
  }
  out.push_back('"');
  return out;
}

void Json::dumpTo(std::string& out, int depth) const {
  if (std::holds_alternative<std::nullptr_t>(value_)) {
    out += "null";
  } else if (const bool* b = std::get_if<bool>(&value_)) {
    out += *b ? "true" : "false";
  } else if (const int64_t* n = std::get_if<int64_t>(&value_)) {
    out += std::to_string(*n);
  } else if (const std::string* s = std::get_if<std::string>(&value_)) {
    out += quoteJson(*s);
  } else if (const auto* o = std::get_if<std::shared_ptr<Object>>(&value_)) {
    if ((*o)->empty()) {
      out += "{}";
      return;
    }
    out.push_back('{');
    bool first = true;
    for (const auto& [key, value] : **o) {
      if (!first) out.push_back(',');
      first = false;
      indent(out, depth + 1);
      out += quoteJson(key);
      out += ": ";
      value.dumpTo(out, depth + 1);
    }
    indent(out, depth);
    out.push_back('}');
  } else if (const auto* a = std::get_if<std::shared_ptr<Array>>(&value_)) {
    if ((*a)->empty()) {
      out += "[]";
      return;
    }
    // Arrays of plain values stay on one line.
    bool flat = true;
    for (const Json& v : **a)
      flat = flat && !std::holds_alternative<std::shared_ptr<Object>>(v.value_) &&
             !std::holds_alternative<std::shared_ptr<Array>>(v.value_);
    out.push_back('[');
    bool first = true;
    for (const Json& v : **a) {
      if (!first) out += flat ? ", " : ",";
      first = false;
      if (!flat) indent(out, depth + 1);
      v.dumpTo(out, depth + 1);
    }
    if (!flat) indent(out, depth);
    out.push_back(']');
  }
}

}  // namespace kvctl
