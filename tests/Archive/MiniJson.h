// Just enough JSON to read what the peer scripts print: objects, arrays, strings
// without escapes beyond \" and \\, integers, true, false and null.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace minijson {

struct Value {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  bool b = false;
  int64_t n = 0;
  std::string s;
  std::vector<Value> a;
  std::map<std::string, Value> o;
  const Value& operator[](const std::string& k) const {
    auto it = o.find(k);
    if (it == o.end()) throw std::runtime_error("no key " + k);
    return it->second;
  }
};

class Parser {
public:
  explicit Parser(const std::string& t) : t_(t) {}
  Value parse() {
    Value v = value();
    ws();
    if (i_ != t_.size()) throw std::runtime_error("trailing JSON");
    return v;
  }

private:
  void ws() {
    while (i_ < t_.size() && isspace(static_cast<unsigned char>(t_[i_])))
      ++i_;
  }
  Value value() {
    ws();
    if (i_ >= t_.size()) throw std::runtime_error("short JSON");
    Value v;
    const char c = t_[i_];
    if (c == '{') {
      v.kind = Value::Object;
      ++i_;
      ws();
      if (t_[i_] == '}') return ++i_, v;
      for (;;) {
        ws();
        std::string k = str();
        ws();
        ++i_; // ':'
        v.o[k] = value();
        ws();
        if (t_[i_++] == '}') return v;
      }
    }
    if (c == '[') {
      v.kind = Value::Array;
      ++i_;
      ws();
      if (t_[i_] == ']') return ++i_, v;
      for (;;) {
        v.a.push_back(value());
        ws();
        if (t_[i_++] == ']') return v;
      }
    }
    if (c == '"') {
      v.kind = Value::String;
      v.s = str();
      return v;
    }
    if (t_.compare(i_, 4, "true") == 0) return i_ += 4, v.kind = Value::Bool, v.b = true, v;
    if (t_.compare(i_, 5, "false") == 0) return i_ += 5, v.kind = Value::Bool, v;
    if (t_.compare(i_, 4, "null") == 0) return i_ += 4, v;
    v.kind = Value::Number;
    size_t used = 0;
    v.n = std::stoll(t_.substr(i_), &used);
    i_ += used;
    return v;
  }
  std::string str() {
    std::string out;
    ++i_;
    while (t_[i_] != '"') {
      if (t_[i_] == '\\') ++i_;
      out += t_[i_++];
    }
    ++i_;
    return out;
  }
  const std::string& t_;
  size_t i_ = 0;
};

inline Value parse(const std::string& text) { return Parser(text).parse(); }

} // namespace minijson
