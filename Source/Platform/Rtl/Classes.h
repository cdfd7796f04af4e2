// The class library's core: objects, persistent objects, owned components,
// string lists and streams.
#pragma once

#include "Platform/Rtl/Events.h"
#include "Platform/Rtl/Sets.h"
#include "Platform/Rtl/SysUtils.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace kv::platform {

class TClassInfo;

class TObject {
public:
  virtual ~TObject() = default;
  // The class's name as the class library reports it ("TZavOzeriz").
  virtual std::string ClassName() const { return "TObject"; }
};

// An object that can copy its state from another (Assign) and stream its properties.
class TPersistent : public TObject {
public:
  std::string ClassName() const override { return "TPersistent"; }
  // The published description of the object's class: its properties in stream order,
  // its fields and handlers (TypInfo.h). Classes without their own report their ancestor's.
  static const TClassInfo& StaticClassInfo();
  virtual const TClassInfo* ClassInfo() const;
  // The object that owns this one for naming and streaming (a collection's owner, an item's
  // collection); nullptr when there is none.
  virtual TPersistent* GetOwner() const { return nullptr; }
  // Copies Source into this object; when this class does not know Source, asks Source
  // to assign itself to this object, and fails with EConvertError when neither knows how.
  virtual void Assign(const TPersistent& Source);

protected:
  virtual void AssignTo(TPersistent& Dest) const;

private:
  [[noreturn]] void AssignError(const TPersistent& Source) const;
};

enum class TComponentStateItem {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance
};
using TComponentState = TSet<TComponentStateItem>;
inline constexpr auto csLoading = TComponentStateItem::csLoading;
inline constexpr auto csReading = TComponentStateItem::csReading;
inline constexpr auto csWriting = TComponentStateItem::csWriting;
inline constexpr auto csDestroying = TComponentStateItem::csDestroying;
inline constexpr auto csDesigning = TComponentStateItem::csDesigning;

enum class TOperation { opInsert, opRemove };

// A component: owned by another component that frees it, named uniquely among its
// owner's components, told of the insertion and removal of components it cares about.
//
// Destruction: the owner frees its components in its destructor, last first. A derived
// class whose components must go while the derived part still exists calls
// DestroyComponents() at the start of its own destructor.
class TComponent : public TPersistent {
public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  std::string ClassName() const override { return "TComponent"; }

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  // A valid identifier (or empty), unique among the owner's components regardless of case.
  virtual void SetName(const std::string& NewName);
  int Tag = 0;

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int Index) const;
  // The owned component with this name (regardless of case), or nullptr.
  TComponent* FindComponent(const std::string& AName) const;

  TComponentState ComponentState() const { return state_; }
  bool IsDesigning() const { return state_.Contains(csDesigning); }
  bool IsLoading() const { return state_.Contains(csLoading); }
  bool IsDestroying() const { return state_.Contains(csDestroying); }

  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);
  // Frees every owned component, last first.
  void DestroyComponents();
  // Runs while the whole object still exists, before its destructors (forms fire OnDestroy
  // here). Components freed by their owner get it; free others with TComponent::Free.
  virtual void BeforeDestruction() { Destroying(); }
  static void Free(TComponent* Component) {
    if (!Component) return;
    Component->BeforeDestruction();
    delete Component;
  }

  // Asks to be told (Notification opRemove) when AComponent is freed, also when it is
  // not owned by this component's owner.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Marks the component and its owned components as being destroyed.
  void Destroying();

  // Designer and form reader: state changes while a form description is read.
  void SetDesigning(bool Value, bool SetChildren = true);
  void SetLoading(bool Value);
  // Called once on every component read from a form description, after all of them were read.
  virtual void Loaded();

  static const TClassInfo& StaticClassInfo();
  const TClassInfo* ClassInfo() const override;

  // Streaming: the components that a form file holds inside this one, in order. By default
  // the owned components that have no parent when this component is the root.
  virtual void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root);
  // A component that lives inside another one in a form file (a control in its parent).
  virtual bool HasParent() const { return false; }
  virtual TComponent* GetParentComponent() const { return nullptr; }
  virtual void SetParentComponent(TComponent* /*Value*/) {}

protected:
  virtual void Notification(TComponent* AComponent, TOperation Operation);

private:
  void insert(TComponent* AComponent);
  void remove(TComponent* AComponent);
  void notifyAll(TComponent* AComponent, TOperation Operation);

  TComponent* owner_ = nullptr;
  std::string name_;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  TComponentState state_;
};

// A command that controls can share: a control with an action runs it when clicked.
class TBasicAction : public TComponent {
public:
  using TComponent::TComponent;
  std::string ClassName() const override { return "TBasicAction"; }
  static const TClassInfo& StaticClassInfo();
  const TClassInfo* ClassInfo() const override;
  // Fires OnExecute; false when it has no handler.
  virtual bool Execute();
  TNotifyEvent OnExecute;
  TNotifyEvent OnUpdate;
};

enum class TDuplicates { dupIgnore, dupAccept, dupError };

// An ordered list of strings, each with an associated object pointer (not owned
// unless the list says so).
class TStrings : public TPersistent {
public:
  std::string ClassName() const override { return "TStrings"; }

  virtual int Count() const = 0;
  virtual const std::string& Get(int Index) const = 0;
  virtual void Put(int Index, const std::string& S) = 0;
  virtual TObject* GetObject(int Index) const = 0;
  virtual void PutObject(int Index, TObject* AObject) = 0;
  virtual void Insert(int Index, const std::string& S) = 0;
  virtual void Delete(int Index) = 0;
  virtual void Clear() = 0;

  const std::string& operator[](int Index) const { return Get(Index); }
  const std::string& Strings(int Index) const { return Get(Index); }
  virtual int Add(const std::string& S);
  int AddObject(const std::string& S, TObject* AObject);
  void AddStrings(const TStrings& Strings);
  virtual int IndexOf(const std::string& S) const;
  int IndexOfName(const std::string& Name) const;
  void Move(int CurIndex, int NewIndex);
  void Exchange(int Index1, int Index2);

  // Lines joined by LineBreak after each; setting splits at CR LF, LF or CR.
  std::string Text() const;
  virtual void SetText(const std::string& Value);
  std::string LineBreak = "\n";
  // Comma-separated, items with spaces, commas or quotes in double quotes.
  std::string CommaText() const;
  void SetCommaText(const std::string& Value);

  // "Name=Value" lines.
  std::string Names(int Index) const;
  std::string ValueFromIndex(int Index) const;
  std::string Values(const std::string& Name) const;
  void SetValue(const std::string& Name, const std::string& Value);

  bool CaseSensitive = false;

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }

  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;

  void Assign(const TPersistent& Source) override;
  bool Equals(const TStrings& Other) const;

protected:
  int compareStrings(const std::string& a, const std::string& b) const;
  virtual void SetUpdateState(bool /*Updating*/) {}

private:
  int updateCount_ = 0;
};

class TStringList : public TStrings {
public:
  TStringList() = default;
  ~TStringList() override;
  std::string ClassName() const override { return "TStringList"; }

  int Count() const override { return static_cast<int>(items_.size()); }
  const std::string& Get(int Index) const override;
  void Put(int Index, const std::string& S) override;
  TObject* GetObject(int Index) const override;
  void PutObject(int Index, TObject* AObject) override;
  void Insert(int Index, const std::string& S) override;
  void Delete(int Index) override;
  void Clear() override;
  int Add(const std::string& S) override;
  int IndexOf(const std::string& S) const override;

  // Binary search in a sorted list; Index is where S is or would be inserted.
  bool Find(const std::string& S, int& Index) const;
  void Sort();
  bool Sorted() const { return sorted_; }
  void SetSorted(bool Value);
  TDuplicates Duplicates = TDuplicates::dupIgnore;
  // When set, the list frees the objects of the strings it deletes.
  bool OwnsObjects = false;

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

protected:
  void SetUpdateState(bool Updating) override;

private:
  struct Item {
    std::string text;
    TObject* object = nullptr;
  };
  void checkIndex(int Index) const;
  void changing();
  void changed();
  void insertItem(int Index, const std::string& S, TObject* AObject);

  std::vector<Item> items_;
  bool sorted_ = false;
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
public:
  std::string ClassName() const override { return "TStream"; }
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, TSeekOrigin::soBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t NewSize) = 0;
  // Read or write exactly Count bytes or raise EReadError / EWriteError.
  void ReadBuffer(void* Buffer, int64_t Count);
  void WriteBuffer(const void* Buffer, int64_t Count);
  // Copies Count bytes from Source (all of it from the start when Count is 0).
  int64_t CopyFrom(TStream& Source, int64_t Count);
};

class TMemoryStream : public TStream {
public:
  std::string ClassName() const override { return "TMemoryStream"; }
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(int64_t NewSize) override;
  void Clear();
  const uint8_t* Memory() const { return data_.data(); }
  uint8_t* Memory() { return data_.data(); }
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;

private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

// Case-insensitive comparison of 8-bit texts (ASCII letters), as the system compares
// file names and identifiers.
class TCollection;

// One item of a collection. The collection owns its items; freeing an item removes it.
class TCollectionItem : public TPersistent {
public:
  explicit TCollectionItem(TCollection* Collection);
  ~TCollectionItem() override;
  TCollectionItem(const TCollectionItem&) = delete;
  TCollectionItem& operator=(const TCollectionItem&) = delete;

  std::string ClassName() const override { return "TCollectionItem"; }
  static const TClassInfo& StaticClassInfo();
  const TClassInfo* ClassInfo() const override;

  TCollection* Collection() const { return collection_; }
  void SetCollection(TCollection* Value);
  int Index() const;
  void SetIndex(int Value);
  int ID() const { return id_; }
  virtual std::string DisplayName() const { return ClassName(); }
  TPersistent* GetOwner() const override;

protected:
  // Tells the collection that this item changed (AllItems: every item changed).
  void Changed(bool AllItems);

private:
  friend class TCollection;
  TCollection* collection_ = nullptr;
  int id_ = 0;
};

// An ordered, owning list of items of one item class (created by that class's factory).
class TCollection : public TPersistent {
public:
  explicit TCollection(const TClassInfo& ItemClass, TPersistent* Owner = nullptr);
  ~TCollection() override;
  TCollection(const TCollection&) = delete;
  TCollection& operator=(const TCollection&) = delete;

  std::string ClassName() const override { return "TCollection"; }
  static const TClassInfo& StaticClassInfo();
  const TClassInfo* ClassInfo() const override;

  const TClassInfo& ItemClass() const { return *itemClass_; }
  int Count() const { return static_cast<int>(items_.size()); }
  TCollectionItem* Items(int Index) const;
  TCollectionItem* Add();
  TCollectionItem* Insert(int Index);
  void Delete(int Index);
  void Clear();
  TCollectionItem* FindItemID(int ID) const;
  // Copies the items of another collection (each item through its Assign).
  void Assign(const TPersistent& Source) override;
  TPersistent* GetOwner() const override { return owner_; }

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }
  // Told of every change (Item nullptr: the whole collection); called outside updates only.
  TEvent<TCollection*, TCollectionItem*> OnUpdate;

protected:
  virtual void Update(TCollectionItem* Item);
  void changed(TCollectionItem* Item);

private:
  friend class TCollectionItem;
  void insertItem(TCollectionItem* Item);
  void removeItem(TCollectionItem* Item);

  const TClassInfo* itemClass_;
  TPersistent* owner_;
  std::vector<TCollectionItem*> items_;
  int nextId_ = 0;
  int updateCount_ = 0;
};

// The designer's component palette: filled only by the Register routines of component units.
struct TPaletteEntry {
  std::string Page;
  std::string ClassName;
};
void RegisterComponents(const std::string& Page, std::initializer_list<const TClassInfo*> Classes);
const std::vector<TPaletteEntry>& PaletteEntries();
void ClearPalette();

int CompareText(const std::string& a, const std::string& b);
bool SameText(const std::string& a, const std::string& b);
std::string UpperCase(const std::string& s);
std::string LowerCase(const std::string& s);
bool IsValidIdent(const std::string& s);

} // namespace kv::platform
