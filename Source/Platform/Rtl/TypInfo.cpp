#include "Platform/Rtl/TypInfo.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace kv::platform {

const TPropInfo* TClassInfo::FindProp(const std::string& PropName) const {
  for (const auto& p : Props)
    if (SameText(p.Name, PropName)) return &p;
  return nullptr;
}

const TFieldInfo* TClassInfo::FindField(const std::string& FieldName) const {
  for (const TClassInfo* c = this; c; c = c->Parent)
    for (const auto& f : c->Fields)
      if (SameText(f.Name, FieldName)) return &f;
  return nullptr;
}

const TMethodInfo* TClassInfo::FindMethod(const std::string& MethodName) const {
  for (const TClassInfo* c = this; c; c = c->Parent)
    for (const auto& m : c->Methods)
      if (SameText(m.Name, MethodName)) return &m;
  return nullptr;
}

bool TClassInfo::InheritsFrom(const TClassInfo& Other) const {
  for (const TClassInfo* c = this; c; c = c->Parent)
    if (c == &Other) return true;
  return false;
}

// ---- the root classes' descriptions

const TClassInfo& TPersistent::StaticClassInfo() {
  static const TClassInfo info = [] {
    TClassInfo i;
    i.Name = "TPersistent";
    return i;
  }();
  return info;
}
const TClassInfo* TPersistent::ClassInfo() const { return &StaticClassInfo(); }

const TClassInfo& TComponent::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TComponent, TPersistent>("TComponent")
                                     .Int("Tag", &TComponent::Tag, &TComponent::Tag, 0)
                                     .Build();
  return info;
}
const TClassInfo* TComponent::ClassInfo() const { return &StaticClassInfo(); }

const TClassInfo& TBasicAction::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TBasicAction, TComponent>("TBasicAction")
                                     .Event("OnExecute", &TBasicAction::OnExecute)
                                     .Event("OnUpdate", &TBasicAction::OnUpdate)
                                     .Build();
  return info;
}
const TClassInfo* TBasicAction::ClassInfo() const { return &StaticClassInfo(); }

const TClassInfo& TCollection::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TCollection, TPersistent>("TCollection").Build();
  return info;
}
const TClassInfo* TCollection::ClassInfo() const { return &StaticClassInfo(); }

const TClassInfo& TCollectionItem::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TCollectionItem, TPersistent>("TCollectionItem").Build();
  return info;
}
const TClassInfo* TCollectionItem::ClassInfo() const { return &StaticClassInfo(); }

// ---- registry

namespace {
struct Registry {
  std::mutex mutex;
  std::vector<const TClassInfo*> classes;
};
Registry& registry() {
  static Registry r;
  return r;
}
} // namespace

void RegisterClass(const TClassInfo& Info) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (const TClassInfo*& c : r.classes)
    if (SameText(c->Name, Info.Name)) {
      c = &Info;
      return;
    }
  r.classes.push_back(&Info);
}

void RegisterClasses(std::initializer_list<const TClassInfo*> Infos) {
  for (const TClassInfo* i : Infos)
    RegisterClass(*i);
}

void UnRegisterClass(const TClassInfo& Info) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.classes.erase(std::remove(r.classes.begin(), r.classes.end(), &Info), r.classes.end());
}

const TClassInfo* GetClass(const std::string& Name) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (const TClassInfo* c : r.classes)
    if (SameText(c->Name, Name)) return c;
  return nullptr;
}

const TClassInfo& FindClass(const std::string& Name) {
  const TClassInfo* c = GetClass(Name);
  if (!c) throw EClassNotFound("Class " + Name + " not found");
  return *c;
}

// ---- value conversions

namespace typinfo_detail {

namespace {
// A node of one type that carries its value in one member.
template <class V> TValueNode node(TValueNode::Type type, V TValueNode::*member, V value) {
  TValueNode n;
  n.type = type;
  n.*member = std::move(value);
  return n;
}
} // namespace

TValueNode intNode(int64_t v) { return node(TValueNode::Type::Int, &TValueNode::i, v); }
TValueNode identNode(std::string s) { return node(TValueNode::Type::Ident, &TValueNode::s, std::move(s)); }
TValueNode floatNode(double v) { return node(TValueNode::Type::Float, &TValueNode::f, v); }
TValueNode stringNode(std::string s) { return node(TValueNode::Type::String, &TValueNode::s, std::move(s)); }
TValueNode binaryNode(std::vector<uint8_t> bytes) {
  return node(TValueNode::Type::Binary, &TValueNode::bytes, std::move(bytes));
}

int64_t nodeToInt(const TValueNode& n, TReadContext& ctx) {
  if (n.type != TValueNode::Type::Int) ctx.Error(n.line, "Integer value expected");
  return n.i;
}

double nodeToFloat(const TValueNode& n, TReadContext& ctx) {
  if (n.type == TValueNode::Type::Float) return n.f;
  if (n.type == TValueNode::Type::Int) return static_cast<double>(n.i);
  ctx.Error(n.line, "Floating point value expected");
}

const std::string& nodeToString(const TValueNode& n, TReadContext& ctx) {
  if (n.type != TValueNode::Type::String) ctx.Error(n.line, "String value expected");
  return n.s;
}

bool nodeToBool(const TValueNode& n, TReadContext& ctx) {
  if (n.type == TValueNode::Type::Ident) {
    if (SameText(n.s, "True")) return true;
    if (SameText(n.s, "False")) return false;
  }
  ctx.Error(n.line, "True or False expected");
}

int nodeToEnum(const TValueNode& n, const std::vector<std::string>& names, TReadContext& ctx) {
  if (n.type == TValueNode::Type::Ident)
    for (size_t i = 0; i < names.size(); ++i)
      if (SameText(names[i], n.s)) return static_cast<int>(i);
  ctx.Error(n.line,
            "Invalid property value" + (n.type == TValueNode::Type::Ident ? " " + n.s : std::string()));
}

uint64_t nodeToSet(const TValueNode& n, const std::vector<std::string>& names, TReadContext& ctx) {
  if (n.type != TValueNode::Type::Set) ctx.Error(n.line, "Set value expected");
  uint64_t bits = 0;
  for (const auto& member : n.names) {
    bool found = false;
    for (size_t i = 0; i < names.size() && i < 64; ++i)
      if (SameText(names[i], member)) {
        bits |= uint64_t{1} << i;
        found = true;
      }
    if (!found) ctx.Error(n.line, "Invalid set member " + member);
  }
  return bits;
}

TValueNode setToNode(uint64_t bits, const std::vector<std::string>& names) {
  TValueNode n;
  n.type = TValueNode::Type::Set;
  for (size_t i = 0; i < names.size() && i < 64; ++i)
    if (bits & (uint64_t{1} << i)) n.names.push_back(names[i]);
  return n;
}

int64_t nodeToIdentInt(const TValueNode& n, const TIdentMap& idents, TReadContext& ctx) {
  if (n.type == TValueNode::Type::Int) return n.i;
  if (n.type == TValueNode::Type::Ident)
    for (const auto& [value, name] : idents)
      if (SameText(name, n.s)) return value;
  ctx.Error(n.line,
            "Invalid property value" + (n.type == TValueNode::Type::Ident ? " " + n.s : std::string()));
}

TValueNode identIntToNode(int64_t v, const TIdentMap& idents) {
  for (const auto& [value, name] : idents)
    if (value == v) return identNode(name);
  return intNode(v);
}

} // namespace typinfo_detail

} // namespace kv::platform
