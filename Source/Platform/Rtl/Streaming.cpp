#include "Platform/Rtl/Streaming.h"

#include "Platform/Rtl/TypInfo.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace kv::platform {

namespace {

// ---- the parse tree of a form file

struct ObjectNode {
  std::string name;
  std::string className;
  int line = 0;
  std::vector<TPropAssignment> props;
  std::vector<ObjectNode> children;
};

struct Token {
  enum class Kind { End, Ident, Int, Float, String, Symbol } kind = Kind::End;
  std::string text; // Ident, String, Symbol
  int64_t i = 0;
  double f = 0;
  int line = 0;
};

[[noreturn]] void fail(const std::string& file, int line, const std::string& message) {
  throw EReadError(file + "(" + std::to_string(line) + "): " + message);
}

class Lexer {
public:
  Lexer(const std::string& text, const std::string& file) : s_(text), file_(file) { advance(); }

  const Token& peek() const { return tok_; }
  Token take() {
    Token t = tok_;
    advance();
    return t;
  }
  int line() const { return tok_.line; }

  // The hexadecimal digits after a '{' up to the closing brace (the '{' was just taken and the
  // current token is not yet read past it).
  std::vector<uint8_t> hexUntilBrace(int startLine) {
    pos_ = bracePos_;
    line_ = braceLine_;
    std::vector<uint8_t> bytes;
    int pending = -1;
    while (true) {
      if (pos_ >= s_.size()) fail(file_, startLine, "Unterminated binary data");
      const char c = s_[pos_++];
      if (c == '}') break;
      if (c == '\n') {
        ++line_;
        continue;
      }
      if (c == ' ' || c == '\t' || c == '\r') continue;
      int v;
      if (c >= '0' && c <= '9')
        v = c - '0';
      else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
      else
        fail(file_, line_, "Invalid binary data");
      if (pending < 0)
        pending = v;
      else {
        bytes.push_back(static_cast<uint8_t>(pending * 16 + v));
        pending = -1;
      }
    }
    if (pending >= 0) fail(file_, line_, "Odd number of digits in binary data");
    advance();
    return bytes;
  }

private:
  void skipBlanks() {
    while (pos_ < s_.size()) {
      const char c = s_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++pos_;
      } else if (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '/') {
        while (pos_ < s_.size() && s_[pos_] != '\n')
          ++pos_;
      } else {
        break;
      }
    }
  }

  static bool identStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
  static bool identChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
  }

  void advance() {
    skipBlanks();
    tok_ = Token{};
    tok_.line = line_;
    if (pos_ >= s_.size()) return;
    const char c = s_[pos_];
    if (identStart(c)) {
      const size_t b = pos_;
      while (pos_ < s_.size() && identChar(s_[pos_]))
        ++pos_;
      tok_.kind = Token::Kind::Ident;
      tok_.text = s_.substr(b, pos_ - b);
      return;
    }
    if (c == '\'' || c == '#') {
      readString();
      return;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '$' ||
        ((c == '-' || c == '+') && pos_ + 1 < s_.size() &&
         (std::isdigit(static_cast<unsigned char>(s_[pos_ + 1])) || s_[pos_ + 1] == '$'))) {
      readNumber();
      return;
    }
    if (c == '{') {
      bracePos_ = pos_ + 1;
      braceLine_ = line_;
    }
    tok_.kind = Token::Kind::Symbol;
    tok_.text = std::string(1, c);
    ++pos_;
  }

  void readString() {
    tok_.kind = Token::Kind::String;
    while (pos_ < s_.size()) {
      const char c = s_[pos_];
      if (c == '\'') {
        ++pos_;
        while (true) {
          if (pos_ >= s_.size() || s_[pos_] == '\n') fail(file_, line_, "Unterminated string");
          if (s_[pos_] == '\'') {
            if (pos_ + 1 < s_.size() && s_[pos_ + 1] == '\'') {
              tok_.text += '\'';
              pos_ += 2;
              continue;
            }
            ++pos_;
            break;
          }
          tok_.text += s_[pos_++];
        }
      } else if (c == '#') {
        ++pos_;
        int v = 0;
        size_t digits = 0;
        while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) {
          v = v * 10 + (s_[pos_++] - '0');
          ++digits;
          if (v > 255) fail(file_, line_, "Invalid character code");
        }
        if (!digits) fail(file_, line_, "Character code expected");
        tok_.text += static_cast<char>(v);
      } else {
        break;
      }
    }
  }

  void readNumber() {
    const size_t b = pos_;
    bool negative = false;
    if (s_[pos_] == '-' || s_[pos_] == '+') negative = s_[pos_++] == '-';
    if (pos_ < s_.size() && s_[pos_] == '$') {
      ++pos_;
      const size_t h = pos_;
      while (pos_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[pos_])))
        ++pos_;
      uint64_t v = 0;
      auto r = std::from_chars(s_.data() + h, s_.data() + pos_, v, 16);
      if (h == pos_ || r.ec != std::errc()) fail(file_, line_, "Invalid number " + s_.substr(b, pos_ - b));
      tok_.kind = Token::Kind::Int;
      // Hexadecimal is a bit pattern: negated modulo 2^64, so -$8000000000000000 is the lowest value.
      tok_.i = static_cast<int64_t>(negative ? 0 - v : v);
      return;
    }
    bool isFloat = false;
    while (pos_ < s_.size()) {
      const char c = s_[pos_];
      if (std::isdigit(static_cast<unsigned char>(c))) {
        ++pos_;
      } else if (c == '.' || c == 'e' || c == 'E') {
        isFloat = true;
        ++pos_;
        if ((c == 'e' || c == 'E') && pos_ < s_.size() && (s_[pos_] == '-' || s_[pos_] == '+')) ++pos_;
      } else {
        break;
      }
    }
    const std::string text = s_.substr(b, pos_ - b);
    const char* first = text.data() + (text[0] == '+' ? 1 : 0);
    if (isFloat) {
      double v = 0;
      auto r = std::from_chars(first, text.data() + text.size(), v);
      if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        fail(file_, line_, "Invalid number " + text);
      tok_.kind = Token::Kind::Float;
      tok_.f = v;
    } else {
      int64_t v = 0;
      auto r = std::from_chars(first, text.data() + text.size(), v);
      if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        fail(file_, line_, "Invalid number " + text);
      tok_.kind = Token::Kind::Int;
      tok_.i = v;
    }
  }

  const std::string& s_;
  const std::string& file_;
  size_t pos_ = 0;
  int line_ = 1;
  size_t bracePos_ = 0;
  int braceLine_ = 1;
  Token tok_;
};

class Parser {
public:
  Parser(const std::string& text, const std::string& file) : lex_(text, file), file_(file) {}

  ObjectNode parseRoot() {
    ObjectNode root = parseObject();
    if (lex_.peek().kind != Token::Kind::End) fail(file_, lex_.line(), "Text after the end of the form");
    return root;
  }

private:
  bool isIdent(const char* word) const {
    return lex_.peek().kind == Token::Kind::Ident && SameText(lex_.peek().text, word);
  }
  bool isSymbol(char c) const { return lex_.peek().kind == Token::Kind::Symbol && lex_.peek().text[0] == c; }
  void expectSymbol(char c) {
    if (!isSymbol(c)) fail(file_, lex_.line(), std::string("'") + c + "' expected");
    lex_.take();
  }
  std::string expectIdent(const char* what) {
    if (lex_.peek().kind != Token::Kind::Ident) fail(file_, lex_.line(), std::string(what) + " expected");
    return lex_.take().text;
  }

  // Objects and collection items are read by recursion. Real forms nest a few levels; a file
  // nested deeper than this could only exhaust the stack.
  static constexpr int kMaxNesting = 256;
  class Nesting {
  public:
    explicit Nesting(Parser& p) : p_(p) {
      if (p_.depth_ >= kMaxNesting) fail(p_.file_, p_.lex_.line(), "Objects nested too deeply");
      ++p_.depth_;
    }
    ~Nesting() { --p_.depth_; }

  private:
    Parser& p_;
  };

  ObjectNode parseObject() {
    const Nesting nesting(*this);
    ObjectNode node;
    node.line = lex_.line();
    if (!isIdent("object")) fail(file_, lex_.line(), "'object' expected");
    lex_.take();
    node.name = expectIdent("Component name");
    expectSymbol(':');
    node.className = expectIdent("Class name");
    while (!isIdent("end")) {
      if (lex_.peek().kind == Token::Kind::End) fail(file_, lex_.line(), "'end' expected");
      if (isIdent("object")) {
        node.children.push_back(parseObject());
        continue;
      }
      node.props.push_back(parseAssignment());
    }
    lex_.take();
    return node;
  }

  TPropAssignment parseAssignment() {
    TPropAssignment a;
    a.line = lex_.line();
    a.name = expectIdent("Property name");
    expectSymbol('=');
    a.value = parseValue();
    return a;
  }

  // A string literal and those joined to it with '+', as one text.
  std::string takeJoinedString() {
    std::string s = lex_.take().text;
    while (isSymbol('+')) {
      lex_.take();
      if (lex_.peek().kind != Token::Kind::String) fail(file_, lex_.line(), "String expected after '+'");
      s += lex_.take().text;
    }
    return s;
  }

  TValueNode parseValue() {
    TValueNode v;
    v.line = lex_.line();
    const Token& t = lex_.peek();
    switch (t.kind) {
    case Token::Kind::Int:
      v.type = TValueNode::Type::Int;
      v.i = lex_.take().i;
      return v;
    case Token::Kind::Float:
      v.type = TValueNode::Type::Float;
      v.f = lex_.take().f;
      return v;
    case Token::Kind::String:
      v.type = TValueNode::Type::String;
      v.s = takeJoinedString();
      return v;
    case Token::Kind::Ident:
      v.type = TValueNode::Type::Ident;
      v.s = lex_.take().text;
      return v;
    case Token::Kind::End:
      fail(file_, lex_.line(), "Value expected");
    case Token::Kind::Symbol:
      break;
    }
    const char c = t.text[0];
    if (c == '[') {
      lex_.take();
      v.type = TValueNode::Type::Set;
      while (!isSymbol(']')) {
        v.names.push_back(expectIdent("Set member"));
        if (isSymbol(','))
          lex_.take();
        else if (!isSymbol(']'))
          fail(file_, lex_.line(), "',' or ']' expected");
      }
      lex_.take();
      return v;
    }
    if (c == '(') {
      lex_.take();
      v.type = TValueNode::Type::List;
      while (!isSymbol(')')) {
        if (lex_.peek().kind != Token::Kind::String) fail(file_, lex_.line(), "String expected in list");
        v.names.push_back(takeJoinedString());
      }
      lex_.take();
      return v;
    }
    if (c == '<') {
      lex_.take();
      v.type = TValueNode::Type::Collection;
      while (!isSymbol('>')) {
        const Nesting nesting(*this);
        TValueNode::Item item;
        item.line = lex_.line();
        if (!isIdent("item")) fail(file_, lex_.line(), "'item' expected");
        lex_.take();
        while (!isIdent("end")) {
          if (lex_.peek().kind == Token::Kind::End) fail(file_, lex_.line(), "'end' expected");
          item.props.push_back(parseAssignment());
        }
        lex_.take();
        v.items.push_back(std::move(item));
      }
      lex_.take();
      return v;
    }
    if (c == '{') {
      const int line = lex_.line();
      v.type = TValueNode::Type::Binary;
      v.bytes = lex_.hexUntilBrace(line);
      return v;
    }
    fail(file_, lex_.line(), "Invalid property value");
  }

  Lexer lex_;
  const std::string& file_;
  int depth_ = 0;
};

// ---- applying the tree

class Reader : public TReadContext {
public:
  Reader(TComponent& root, const std::string& file) : root_(root), file_(file) {}

  std::any FindMethod(const std::string& Name, int Line) override {
    const TMethodInfo* m = root_.ClassInfo()->FindMethod(Name);
    if (!m && root_.IsDesigning()) return TDesignHandler{Name};
    if (!m) Error(Line, "Handler " + Name + " not found in " + root_.ClassName());
    return m->Bind(root_);
  }

  void AddFixup(const std::string& Name, int Line, std::function<void(TComponent*)> Resolve) override {
    fixups_.push_back(Fixup{Name, Line, std::move(Resolve)});
  }

  void RaiseError(int Line, const std::string& Message) override { fail(file_, Line, Message); }

  void read(const ObjectNode& node) {
    if (!SameText(node.className, root_.ClassName()))
      Error(node.line, "Form file holds a " + node.className + ", not a " + root_.ClassName());
    created_.push_back(&root_);
    root_.SetLoading(true);
    if (!SameText(root_.Name(), node.name)) setUniqueName(root_, node.name, node.line);
    applyProps(root_, node.props, root_.Name());
    for (const auto& child : node.children)
      readChild(child, &root_);
    for (const auto& f : fixups_) {
      TComponent* c = SameText(root_.Name(), f.name) ? &root_ : root_.FindComponent(f.name);
      if (!c) Error(f.line, "Component " + f.name + " not found");
      f.resolve(c);
    }
    for (TComponent* c : created_)
      c->Loaded();
  }

private:
  struct Fixup {
    std::string name;
    int line;
    std::function<void(TComponent*)> resolve;
  };

  void setUniqueName(TComponent& c, const std::string& name, int line) {
    try {
      TComponent* owner = c.Owner();
      std::string candidate = name;
      for (int n = 1; owner && owner->FindComponent(candidate) && owner->FindComponent(candidate) != &c; ++n)
        candidate = name + "_" + std::to_string(n);
      c.SetName(candidate);
    } catch (const Exception& e) {
      Error(line, e.Message());
    }
  }

  void readChild(const ObjectNode& node, TComponent* container) {
    const TClassInfo* info = GetClass(node.className);
    if (!info) Error(node.line, "Class " + node.className + " not found");
    if (!info->CreateComponent) Error(node.line, "Class " + node.className + " is not a component class");
    TComponent* c = nullptr;
    try {
      c = info->CreateComponent(&root_);
      c->SetLoading(true);
      created_.push_back(c);
      c->SetName(node.name);
    } catch (const EReadError&) {
      throw;
    } catch (const Exception& e) {
      Error(node.line, e.Message());
    }
    if (const TFieldInfo* field = root_.ClassInfo()->FindField(node.name))
      if (!field->Bind(root_, c))
        Error(node.line,
              "Field " + node.name + " of " + root_.ClassName() + " does not fit a " + node.className);
    if (container != &root_ || c->HasParent()) {
      try {
        c->SetParentComponent(container);
      } catch (const Exception& e) {
        Error(node.line, e.Message());
      }
    }
    applyProps(*c, node.props, node.name);
    for (const auto& child : node.children)
      readChild(child, c);
  }

  void applyProps(TPersistent& obj, const std::vector<TPropAssignment>& props, const std::string& objName) {
    for (const auto& a : props)
      applyAssignment(obj, a.name, a.value, a.line, objName);
  }

  void applyAssignment(TPersistent& obj, const std::string& name, const TValueNode& value, int line,
                       const std::string& objName) {
    const auto dot = name.find('.');
    const std::string head = dot == std::string::npos ? name : name.substr(0, dot);
    const TClassInfo* info = obj.ClassInfo();
    const TPropInfo* prop = info->FindProp(head);
    if (!prop) Error(line, "Property " + obj.ClassName() + "." + head + " does not exist");
    try {
      if (dot != std::string::npos) {
        if (prop->Kind != TTypeKind::tkClass) Error(line, "Property " + head + " has no sub-properties");
        TPersistent* sub = prop->Object(obj);
        if (!sub) Error(line, "Property " + head + " holds no object");
        applyAssignment(*sub, name.substr(dot + 1), value, line, objName + "." + head);
        return;
      }
      if (prop->Kind == TTypeKind::tkClass) {
        TPersistent* sub = prop->Object(obj);
        if (auto* strings = dynamic_cast<TStrings*>(sub)) {
          if (value.type != TValueNode::Type::List) Error(line, "String list expected for " + head);
          strings->BeginUpdate();
          strings->Clear();
          for (const auto& s : value.names)
            strings->Add(s);
          strings->EndUpdate();
        } else if (auto* collection = dynamic_cast<TCollection*>(sub)) {
          if (value.type != TValueNode::Type::Collection) Error(line, "Collection expected for " + head);
          collection->BeginUpdate();
          collection->Clear();
          for (const auto& item : value.items) {
            TCollectionItem* ci = collection->Add();
            for (const auto& a : item.props)
              applyAssignment(*ci, a.name, a.value, a.line, objName + "." + head);
          }
          collection->EndUpdate();
        } else {
          Error(line, "Property " + head + " cannot take a value of its own");
        }
        return;
      }
      if (!prop->Set) Error(line, "Property " + head + " is read-only");
      prop->Set(obj, value, *this);
    } catch (const EReadError&) {
      throw;
    } catch (const Exception& e) {
      Error(line, "Error reading " + objName + "." + head + ": " + e.Message());
    }
  }

  TComponent& root_;
  const std::string& file_;
  std::vector<TComponent*> created_;
  std::vector<Fixup> fixups_;
};

// ---- writing

std::string quoteString(const std::string& s) {
  if (s.empty()) return "''";
  std::string out;
  bool inQuote = false;
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 32) {
      if (inQuote) out += '\'';
      inQuote = false;
      out += '#' + std::to_string(c);
    } else {
      if (!inQuote) out += '\'';
      inQuote = true;
      if (ch == '\'') out += '\'';
      out += ch;
    }
  }
  if (inQuote) out += '\'';
  return out;
}

std::string floatText(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  std::string s(buf, r.ptr);
  if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
  return s;
}

class Writer {
public:
  explicit Writer(TComponent& root) : root_(root) {}

  std::string write() {
    writeObject(root_, "");
    return out_.str();
  }

private:
  void writeObject(TComponent& c, const std::string& indent) {
    out_ << indent << "object " << c.Name() << ": " << c.ClassName() << "\n";
    writeProps(c, indent + "  ", "");
    c.GetChildren([&](TComponent* child) { writeObject(*child, indent + "  "); }, &root_);
    out_ << indent << "end\n";
  }

  void writeProps(const TPersistent& obj, const std::string& indent, const std::string& prefix) {
    for (const TPropInfo& p : obj.ClassInfo()->Props) {
      if (p.Stored && !p.Stored(obj)) continue;
      if (p.Kind == TTypeKind::tkClass) {
        TPersistent* sub = p.Object(obj);
        if (!sub) continue;
        if (auto* strings = dynamic_cast<TStrings*>(sub)) {
          if (strings->Count() == 0) continue;
          out_ << indent << prefix << p.Name << " = (";
          for (int i = 0; i < strings->Count(); ++i)
            out_ << "\n" << indent << "  " << quoteString(strings->Get(i));
          out_ << ")\n";
        } else if (auto* collection = dynamic_cast<TCollection*>(sub)) {
          if (collection->Count() == 0) continue;
          out_ << indent << prefix << p.Name << " = <";
          for (int i = 0; i < collection->Count(); ++i) {
            out_ << "\n" << indent << "  item\n";
            writeProps(*collection->Items(i), indent + "    ", "");
            out_ << indent << "  end";
          }
          out_ << ">\n";
        } else {
          writeProps(*sub, indent, prefix + p.Name + ".");
        }
        continue;
      }
      if (!p.Set || !p.Get) continue;
      if (p.IsDefault && p.IsDefault(obj)) continue;
      out_ << indent << prefix << p.Name << " = " << valueText(p.Get(obj), indent) << "\n";
    }
  }

  static std::string valueText(const TValueNode& v, const std::string& indent) {
    switch (v.type) {
    case TValueNode::Type::Int:
      return std::to_string(v.i);
    case TValueNode::Type::Float:
      return floatText(v.f);
    case TValueNode::Type::String:
      return quoteString(v.s);
    case TValueNode::Type::Ident:
      return v.s;
    case TValueNode::Type::Set: {
      std::string s = "[";
      for (size_t i = 0; i < v.names.size(); ++i)
        s += (i ? ", " : "") + v.names[i];
      return s + "]";
    }
    case TValueNode::Type::List: {
      std::string s = "(";
      for (const auto& n : v.names)
        s += "\n" + indent + "  " + quoteString(n);
      return s + ")";
    }
    case TValueNode::Type::Binary: {
      static const char* hex = "0123456789ABCDEF";
      std::string s = "{";
      for (size_t i = 0; i < v.bytes.size(); ++i) {
        if (i % 32 == 0) s += "\n" + indent + "  ";
        s += hex[v.bytes[i] >> 4];
        s += hex[v.bytes[i] & 15];
      }
      return s + "}";
    }
    case TValueNode::Type::Collection:
      return "<>";
    }
    return {};
  }

  TComponent& root_;
  std::ostringstream out_;
};

struct FormResource {
  std::string text;
  std::string fileName;
  bool fromFile = false;
};

std::map<std::string, FormResource>& formResources() {
  static std::map<std::string, FormResource> m;
  return m;
}
std::mutex& formMutex() {
  static std::mutex m;
  return m;
}

} // namespace

void ReadComponentText(TComponent& Root, const std::string& Text, const std::string& FileName) {
  Parser parser(Text, FileName);
  const ObjectNode tree = parser.parseRoot();
  Reader reader(Root, FileName);
  reader.read(tree);
}

TComponent* CreateComponentFromText(const std::string& Text, const std::string& FileName, TComponent* Owner) {
  Parser parser(Text, FileName);
  const ObjectNode tree = parser.parseRoot();
  const TClassInfo* info = GetClass(tree.className);
  if (!info) fail(FileName, tree.line, "Class " + tree.className + " not found");
  if (!info->CreateComponent)
    fail(FileName, tree.line, "Class " + tree.className + " is not a component class");
  // A root that cannot be read is freed as every component must be: its OnDestroy and its
  // components' handlers run while all of it still exists.
  std::unique_ptr<TComponent, void (*)(TComponent*)> root(info->CreateComponent(Owner), &TComponent::Free);
  Reader reader(*root, FileName);
  reader.read(tree);
  return root.release();
}

std::string WriteComponentText(TComponent& Root) { return Writer(Root).write(); }

void RegisterFormResource(const std::string& ClassName, const std::string& Text,
                          const std::string& FileName) {
  std::lock_guard<std::mutex> lock(formMutex());
  formResources()[UpperCase(ClassName)] = FormResource{Text, FileName, false};
}

void RegisterFormFile(const std::string& ClassName, const std::string& FileName) {
  std::lock_guard<std::mutex> lock(formMutex());
  formResources()[UpperCase(ClassName)] = FormResource{{}, FileName, true};
}

bool FindFormResource(const std::string& ClassName, std::string& Text, std::string& FileName) {
  FormResource r;
  {
    std::lock_guard<std::mutex> lock(formMutex());
    auto it = formResources().find(UpperCase(ClassName));
    if (it == formResources().end()) return false;
    r = it->second;
  }
  FileName = r.fileName;
  if (!r.fromFile) {
    Text = r.text;
    return true;
  }
  std::ifstream in(r.fileName, std::ios::binary);
  if (!in) throw EFOpenError("Cannot open file \"" + r.fileName + "\"");
  std::ostringstream all;
  all << in.rdbuf();
  Text = all.str();
  return true;
}

} // namespace kv::platform
