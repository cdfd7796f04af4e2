#include "Platform/Rtl/Classes.h"
#include "Platform/Rtl/TypInfo.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kv::platform {

void Abort() { throw EAbort("Operation aborted"); }

// ---- TPersistent

void TPersistent::Assign(const TPersistent& Source) { Source.AssignTo(*this); }

void TPersistent::AssignTo(TPersistent& Dest) const { Dest.AssignError(*this); }

void TPersistent::AssignError(const TPersistent& Source) const {
  throw EConvertError("Cannot assign a " + Source.ClassName() + " to a " + ClassName());
}

// ---- TComponent

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Tell everyone who asked; they drop their references to us.
  auto notifies = std::move(freeNotifies_);
  for (TComponent* other : notifies) {
    other->RemoveFreeNotification(this);
    other->Notification(this, TOperation::opRemove);
  }
  DestroyComponents();
  if (owner_) owner_->RemoveComponent(this);
}

TComponent* TComponent::Components(int Index) const {
  if (Index < 0 || Index >= ComponentCount())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return components_[static_cast<size_t>(Index)];
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, AName)) return c;
  return nullptr;
}

void TComponent::SetName(const std::string& NewName) {
  if (name_ == NewName) return;
  if (!NewName.empty() && !IsValidIdent(NewName))
    throw EComponentError("Component name \"" + NewName + "\" is not a valid identifier");
  if (owner_ && !NewName.empty()) {
    TComponent* other = owner_->FindComponent(NewName);
    if (other && other != this) throw EComponentError("A component named " + NewName + " already exists");
  }
  name_ = NewName;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->owner_ == this) return;
  if (!AComponent->name_.empty() && FindComponent(AComponent->name_))
    throw EComponentError("A component named " + AComponent->name_ + " already exists");
  if (AComponent->owner_) AComponent->owner_->RemoveComponent(AComponent);
  insert(AComponent);
  if (state_.Contains(csDesigning)) AComponent->SetDesigning(true);
  notifyAll(AComponent, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->owner_ != this) return;
  notifyAll(AComponent, TOperation::opRemove);
  remove(AComponent);
}

void TComponent::insert(TComponent* AComponent) {
  components_.push_back(AComponent);
  AComponent->owner_ = this;
}

void TComponent::remove(TComponent* AComponent) {
  auto it = std::find(components_.begin(), components_.end(), AComponent);
  if (it != components_.end()) components_.erase(it);
  AComponent->owner_ = nullptr;
}

void TComponent::notifyAll(TComponent* AComponent, TOperation Operation) {
  // A component being inserted or removed, and every component of this owner, hear of it.
  if (!state_.Contains(csDestroying)) Notification(AComponent, Operation);
  for (size_t i = 0; i < components_.size(); ++i) {
    TComponent* c = components_[i];
    if (c != AComponent && !c->state_.Contains(csDestroying)) c->Notification(AComponent, Operation);
  }
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* last = components_.back();
    remove(last);
    last->BeforeDestruction();
    delete last;
  }
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), AComponent) == freeNotifies_.end()) {
    freeNotifies_.push_back(AComponent);
    AComponent->FreeNotification(this);
  }
  state_.Include(TComponentStateItem::csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  auto it = std::find(freeNotifies_.begin(), freeNotifies_.end(), AComponent);
  if (it == freeNotifies_.end()) return;
  freeNotifies_.erase(it);
  AComponent->RemoveFreeNotification(this);
}

void TComponent::Destroying() {
  if (state_.Contains(csDestroying)) return;
  state_.Include(csDestroying);
  for (TComponent* c : components_)
    c->Destroying();
}

void TComponent::SetDesigning(bool Value, bool SetChildren) {
  if (Value)
    state_.Include(csDesigning);
  else
    state_.Exclude(csDesigning);
  if (SetChildren)
    for (TComponent* c : components_)
      c->SetDesigning(Value, true);
}

void TComponent::SetLoading(bool Value) {
  if (Value)
    state_.Include(csLoading);
  else
    state_.Exclude(csLoading);
}

void TComponent::Loaded() { state_.Exclude(csLoading); }

bool TBasicAction::Execute() {
  if (!OnExecute) return false;
  OnExecute(this);
  return true;
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == TOperation::opRemove) RemoveFreeNotification(AComponent);
}

// ---- text helpers

int CompareText(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int ca = std::toupper(static_cast<unsigned char>(a[i]));
    const int cb = std::toupper(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

std::string UpperCase(const std::string& s) {
  std::string r = s;
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

std::string LowerCase(const std::string& s) {
  std::string r = s;
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

bool IsValidIdent(const std::string& s) {
  if (s.empty()) return false;
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!alpha(s[0])) return false;
  return std::all_of(s.begin(), s.end(), [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

// ---- TStrings

int TStrings::compareStrings(const std::string& a, const std::string& b) const {
  return CaseSensitive ? a.compare(b) : CompareText(a, b);
}

int TStrings::Add(const std::string& S) {
  const int index = Count();
  Insert(index, S);
  return index;
}

int TStrings::AddObject(const std::string& S, TObject* AObject) {
  const int index = Add(S);
  PutObject(index, AObject);
  return index;
}

void TStrings::AddStrings(const TStrings& Strings) {
  BeginUpdate();
  for (int i = 0; i < Strings.Count(); ++i)
    AddObject(Strings.Get(i), Strings.GetObject(i));
  EndUpdate();
}

int TStrings::IndexOf(const std::string& S) const {
  for (int i = 0; i < Count(); ++i)
    if (compareStrings(Get(i), S) == 0) return i;
  return -1;
}

std::string TStrings::Names(int Index) const {
  const std::string& s = Get(Index);
  const auto eq = s.find('=');
  return eq == std::string::npos ? std::string() : s.substr(0, eq);
}

std::string TStrings::ValueFromIndex(int Index) const {
  const std::string& s = Get(Index);
  const auto eq = s.find('=');
  return eq == std::string::npos ? std::string() : s.substr(eq + 1);
}

int TStrings::IndexOfName(const std::string& Name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& s = Get(i);
    const auto eq = s.find('=');
    if (eq != std::string::npos && compareStrings(s.substr(0, eq), Name) == 0) return i;
  }
  return -1;
}

std::string TStrings::Values(const std::string& Name) const {
  const int i = IndexOfName(Name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValue(const std::string& Name, const std::string& Value) {
  const int i = IndexOfName(Name);
  if (Value.empty()) {
    if (i >= 0) Delete(i);
  } else if (i >= 0) {
    Put(i, Name + "=" + Value);
  } else {
    Add(Name + "=" + Value);
  }
}

void TStrings::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  const std::string s = Get(CurIndex);
  TObject* o = GetObject(CurIndex);
  BeginUpdate();
  Delete(CurIndex);
  Insert(NewIndex, s);
  PutObject(NewIndex, o);
  EndUpdate();
}

void TStrings::Exchange(int Index1, int Index2) {
  const std::string s1 = Get(Index1);
  TObject* o1 = GetObject(Index1);
  BeginUpdate();
  Put(Index1, Get(Index2));
  PutObject(Index1, GetObject(Index2));
  Put(Index2, s1);
  PutObject(Index2, o1);
  EndUpdate();
}

std::string TStrings::Text() const {
  std::string all;
  for (int i = 0; i < Count(); ++i) {
    all += Get(i);
    all += LineBreak;
  }
  return all;
}

void TStrings::SetText(const std::string& Value) {
  BeginUpdate();
  Clear();
  size_t start = 0;
  while (start < Value.size()) {
    size_t end = Value.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      Add(Value.substr(start));
      break;
    }
    Add(Value.substr(start, end - start));
    if (Value[end] == '\r' && end + 1 < Value.size() && Value[end + 1] == '\n') ++end;
    start = end + 1;
  }
  EndUpdate();
}

std::string TStrings::CommaText() const {
  std::string all;
  for (int i = 0; i < Count(); ++i) {
    if (i) all += ',';
    const std::string& s = Get(i);
    const bool quote = s.empty() || s.find_first_of(" ,\"\t") != std::string::npos;
    if (!quote) {
      all += s;
      continue;
    }
    all += '"';
    for (char c : s) {
      if (c == '"') all += '"';
      all += c;
    }
    all += '"';
  }
  return all;
}

void TStrings::SetCommaText(const std::string& Value) {
  BeginUpdate();
  Clear();
  size_t i = 0;
  const size_t n = Value.size();
  auto skipBlanks = [&] {
    while (i < n && (Value[i] == ' ' || Value[i] == '\t'))
      ++i;
  };
  skipBlanks();
  while (i < n) {
    std::string item;
    if (Value[i] == '"') {
      ++i;
      while (i < n) {
        if (Value[i] == '"') {
          if (i + 1 < n && Value[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += Value[i++];
      }
      while (i < n && Value[i] != ',' && Value[i] != ' ')
        item += Value[i++];
    } else {
      while (i < n && Value[i] != ',' && Value[i] != ' ')
        item += Value[i++];
    }
    Add(item);
    skipBlanks();
    if (i < n && Value[i] == ',') {
      ++i;
      skipBlanks();
      if (i == n) Add("");
    }
  }
  EndUpdate();
}

void TStrings::BeginUpdate() {
  if (updateCount_++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) SetUpdateState(false);
}

void TStrings::LoadFromFile(const std::string& FileName) {
  std::ifstream in(FileName, std::ios::binary);
  if (!in) throw EFOpenError("Cannot open file \"" + FileName + "\"");
  std::ostringstream all;
  all << in.rdbuf();
  SetText(all.str());
}

void TStrings::SaveToFile(const std::string& FileName) const {
  std::ofstream out(FileName, std::ios::binary | std::ios::trunc);
  if (!out) throw EFCreateError("Cannot create file \"" + FileName + "\"");
  const std::string all = Text();
  out.write(all.data(), static_cast<std::streamsize>(all.size()));
  if (!out) throw EWriteError("Stream write error");
}

void TStrings::Assign(const TPersistent& Source) {
  if (const auto* other = dynamic_cast<const TStrings*>(&Source)) {
    if (other == this) return;
    BeginUpdate();
    Clear();
    AddStrings(*other);
    EndUpdate();
    return;
  }
  TPersistent::Assign(Source);
}

bool TStrings::Equals(const TStrings& Other) const {
  if (Count() != Other.Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (Get(i) != Other.Get(i)) return false;
  return true;
}

// ---- TStringList

TStringList::~TStringList() {
  OnChange.Clear();
  OnChanging.Clear();
  Clear();
}

void TStringList::checkIndex(int Index) const {
  if (Index < 0 || Index >= Count())
    throw EStringListError("List index out of bounds (" + std::to_string(Index) + ")");
}

void TStringList::changing() {
  if (UpdateCount() == 0) OnChanging(this);
}

void TStringList::changed() {
  if (UpdateCount() == 0) OnChange(this);
}

void TStringList::SetUpdateState(bool Updating) {
  if (Updating)
    OnChanging(this);
  else
    OnChange(this);
}

const std::string& TStringList::Get(int Index) const {
  checkIndex(Index);
  return items_[static_cast<size_t>(Index)].text;
}

void TStringList::Put(int Index, const std::string& S) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  checkIndex(Index);
  changing();
  items_[static_cast<size_t>(Index)].text = S;
  changed();
}

TObject* TStringList::GetObject(int Index) const {
  checkIndex(Index);
  return items_[static_cast<size_t>(Index)].object;
}

void TStringList::PutObject(int Index, TObject* AObject) {
  checkIndex(Index);
  changing();
  items_[static_cast<size_t>(Index)].object = AObject;
  changed();
}

void TStringList::insertItem(int Index, const std::string& S, TObject* AObject) {
  changing();
  items_.insert(items_.begin() + Index, Item{S, AObject});
  changed();
}

void TStringList::Insert(int Index, const std::string& S) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  if (Index < 0 || Index > Count())
    throw EStringListError("List index out of bounds (" + std::to_string(Index) + ")");
  insertItem(Index, S, nullptr);
}

int TStringList::Add(const std::string& S) {
  if (!sorted_) {
    insertItem(Count(), S, nullptr);
    return Count() - 1;
  }
  int index = 0;
  if (Find(S, index)) {
    if (Duplicates == TDuplicates::dupIgnore) return index;
    if (Duplicates == TDuplicates::dupError) throw EStringListError("String list does not allow duplicates");
  }
  insertItem(index, S, nullptr);
  return index;
}

void TStringList::Delete(int Index) {
  checkIndex(Index);
  changing();
  TObject* object = items_[static_cast<size_t>(Index)].object;
  items_.erase(items_.begin() + Index);
  if (OwnsObjects) delete object;
  changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  changing();
  auto old = std::move(items_);
  items_.clear();
  if (OwnsObjects)
    for (auto& item : old)
      delete item.object;
  changed();
}

int TStringList::IndexOf(const std::string& S) const {
  if (!sorted_) return TStrings::IndexOf(S);
  int index = 0;
  return Find(S, index) ? index : -1;
}

bool TStringList::Find(const std::string& S, int& Index) const {
  // Lower bound, so that among equal strings the first is found.
  int lo = 0, hi = Count();
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (compareStrings(items_[static_cast<size_t>(mid)].text, S) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  Index = lo;
  return lo < Count() && compareStrings(items_[static_cast<size_t>(lo)].text, S) == 0;
}

void TStringList::Sort() {
  changing();
  std::stable_sort(items_.begin(), items_.end(),
                   [this](const Item& a, const Item& b) { return compareStrings(a.text, b.text) < 0; });
  changed();
}

void TStringList::SetSorted(bool Value) {
  if (sorted_ == Value) return;
  if (Value) Sort();
  sorted_ = Value;
}

// ---- streams

int64_t TStream::Size() {
  const int64_t here = Seek(0, TSeekOrigin::soCurrent);
  const int64_t end = Seek(0, TSeekOrigin::soEnd);
  Seek(here, TSeekOrigin::soBeginning);
  return end;
}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(Count, 1 << 20)) + 1);
  int64_t left = Count;
  while (left > 0) {
    const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buffer.size()));
    Source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    left -= n;
  }
  return Count;
}

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
  const int64_t size = static_cast<int64_t>(data_.size());
  if (Count <= 0 || position_ >= size) return 0;
  const int64_t n = std::min(Count, size - position_);
  std::memcpy(Buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  const int64_t end = position_ + Count;
  if (end > static_cast<int64_t>(data_.size())) data_.resize(static_cast<size_t>(end));
  std::memcpy(data_.data() + position_, Buffer, static_cast<size_t>(Count));
  position_ = end;
  return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  switch (Origin) {
  case TSeekOrigin::soBeginning:
    position_ = Offset;
    break;
  case TSeekOrigin::soCurrent:
    position_ += Offset;
    break;
  case TSeekOrigin::soEnd:
    position_ = static_cast<int64_t>(data_.size()) + Offset;
    break;
  }
  if (position_ < 0) position_ = 0;
  return position_;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  data_.resize(static_cast<size_t>(std::max<int64_t>(NewSize, 0)));
  if (position_ > NewSize) position_ = std::max<int64_t>(NewSize, 0);
}

void TMemoryStream::Clear() {
  data_.clear();
  position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  std::ifstream in(FileName, std::ios::binary);
  if (!in) throw EFOpenError("Cannot open file \"" + FileName + "\"");
  std::ostringstream all;
  all << in.rdbuf();
  const std::string bytes = all.str();
  data_.assign(bytes.begin(), bytes.end());
  position_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& FileName) const {
  std::ofstream out(FileName, std::ios::binary | std::ios::trunc);
  if (!out) throw EFCreateError("Cannot create file \"" + FileName + "\"");
  out.write(reinterpret_cast<const char*>(data_.data()), static_cast<std::streamsize>(data_.size()));
  if (!out) throw EWriteError("Stream write error");
}

} // namespace kv::platform

namespace kv::platform {

// ---- streaming hooks

void TComponent::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) {
  if (Root != this) return;
  for (TComponent* c : components_)
    if (!c->HasParent()) Proc(c);
}

// ---- collections

TCollectionItem::TCollectionItem(TCollection* Collection) { SetCollection(Collection); }

TCollectionItem::~TCollectionItem() {
  if (collection_) collection_->removeItem(this);
}

void TCollectionItem::SetCollection(TCollection* Value) {
  if (collection_ == Value) return;
  if (collection_) collection_->removeItem(this);
  if (Value) Value->insertItem(this);
}

int TCollectionItem::Index() const {
  if (!collection_) return -1;
  const auto& items = collection_->items_;
  return static_cast<int>(std::find(items.begin(), items.end(), this) - items.begin());
}

void TCollectionItem::SetIndex(int Value) {
  const int current = Index();
  if (current < 0 || current == Value) return;
  auto& items = collection_->items_;
  Value = std::clamp(Value, 0, static_cast<int>(items.size()) - 1);
  items.erase(items.begin() + current);
  items.insert(items.begin() + Value, this);
  Changed(true);
}

TPersistent* TCollectionItem::GetOwner() const { return collection_; }

void TCollectionItem::Changed(bool AllItems) {
  if (collection_) collection_->changed(AllItems ? nullptr : this);
}

TCollection::TCollection(const TClassInfo& ItemClass, TPersistent* Owner)
    : itemClass_(&ItemClass), owner_(Owner) {
  if (!ItemClass.CreateItem)
    throw EInvalidOperation("Class " + ItemClass.Name + " cannot make collection items");
}

TCollection::~TCollection() {
  OnUpdate.Clear();
  updateCount_ = 1;
  Clear();
}

TCollectionItem* TCollection::Items(int Index) const {
  if (Index < 0 || Index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return items_[static_cast<size_t>(Index)];
}

TCollectionItem* TCollection::Add() {
  TCollectionItem* item = itemClass_->CreateItem(this);
  changed(nullptr);
  return item;
}

TCollectionItem* TCollection::Insert(int Index) {
  BeginUpdate();
  TCollectionItem* item = nullptr;
  try {
    item = Add();
    item->SetIndex(Index);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  return item;
}

void TCollection::Delete(int Index) {
  delete Items(Index);
  changed(nullptr);
}

void TCollection::Clear() {
  if (items_.empty()) return;
  BeginUpdate();
  while (!items_.empty())
    delete items_.back();
  EndUpdate();
}

TCollectionItem* TCollection::FindItemID(int ID) const {
  for (TCollectionItem* i : items_)
    if (i->id_ == ID) return i;
  return nullptr;
}

void TCollection::Assign(const TPersistent& Source) {
  if (const auto* other = dynamic_cast<const TCollection*>(&Source)) {
    if (other == this) return;
    BeginUpdate();
    try {
      Clear();
      for (TCollectionItem* i : other->items_)
        Add()->Assign(*i);
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
    return;
  }
  TPersistent::Assign(Source);
}

void TCollection::BeginUpdate() { ++updateCount_; }

void TCollection::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) changed(nullptr);
}

void TCollection::Update(TCollectionItem* Item) { OnUpdate(this, Item); }

void TCollection::changed(TCollectionItem* Item) {
  if (updateCount_ == 0) Update(Item);
}

void TCollection::insertItem(TCollectionItem* Item) {
  items_.push_back(Item);
  Item->collection_ = this;
  Item->id_ = nextId_++;
}

void TCollection::removeItem(TCollectionItem* Item) {
  auto it = std::find(items_.begin(), items_.end(), Item);
  if (it != items_.end()) items_.erase(it);
  Item->collection_ = nullptr;
  changed(nullptr);
}

// ---- palette

namespace {
std::vector<TPaletteEntry>& palette() {
  static std::vector<TPaletteEntry> p;
  return p;
}
} // namespace

void RegisterComponents(const std::string& Page, std::initializer_list<const TClassInfo*> Classes) {
  for (const TClassInfo* c : Classes)
    palette().push_back(TPaletteEntry{Page, c->Name});
}

const std::vector<TPaletteEntry>& PaletteEntries() { return palette(); }
void ClearPalette() { palette().clear(); }

} // namespace kv::platform
