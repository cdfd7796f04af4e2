// A read-only field with a drop button at its right end that opens a multi-column list view as
// a free-floating tool window directly below the field; a click on a row copies that row's
// caption into the field and closes the list.
#pragma once

#include "Platform/Ui/Bitmaps.h"
#include "Platform/Ui/Buttons.h"
#include "Platform/Ui/ComCtrls.h"
#include "Platform/Ui/StdCtrls.h"

namespace DropDownListView {

using kv::platform::TComponent;
using kv::platform::TCreateParams;
using kv::platform::TMessage;
using kv::platform::TNotifyEvent;
using kv::platform::TObject;
using kv::platform::TRect;

using TOnSizeColumns = kv::platform::TEvent<TObject*>;
using TBeforeDropDown = kv::platform::TEvent<TObject*>;

// The popup list: a list view living as a top-level tool window that catches the next press
// outside itself through the mouse capture.
class TExtListView : public kv::platform::TListView {
  KV_CLASS_INFO(TExtListView)
public:
  explicit TExtListView(TComponent* AOwner);
  void Dispatch(TMessage& Message) override;

protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
};

class TDropDownListView : public kv::platform::TCustomEdit {
  KV_CLASS_INFO(TDropDownListView)
public:
  explicit TDropDownListView(TComponent* AOwner);
  ~TDropDownListView() override;

  kv::platform::TSpeedButton* Btn = nullptr;
  TExtListView* List = nullptr;
  TOnSizeColumns OnSizeColumns;
  TBeforeDropDown BeforeDropDown;
  TNotifyEvent OnListClick;
  TNotifyEvent AfterDropDown;

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  // The edit's formatting rectangle, stopping before the button.
  const TRect& EditRect() const { return editRect_; }
  bool DroppedDown() const { return List->Enabled(); }

  // Properties that read and write the popup list and the button.
  bool HideSelection() const { return List->HideSelection(); }
  void SetHideSelection(bool Value) { List->SetHideSelection(Value); }
  bool RowSelect() const { return List->RowSelect(); }
  void SetRowSelect(bool Value) { List->SetRowSelect(Value); }
  kv::platform::TViewStyle ViewStyle() const { return List->ViewStyle(); }
  void SetViewStyle(kv::platform::TViewStyle Value) { List->SetViewStyle(Value); }
  kv::platform::TListColumns& Columns() { return List->Columns(); }
  void SetColumns(const kv::platform::TListColumns* Value);
  kv::platform::TListItems& Items() { return List->Items(); }
  // Copies the items (captions and sub-items); nothing for a missing list.
  void SetItems(const kv::platform::TListItems* Value);
  kv::platform::TListItem* Selected() const { return List->Selected(); }
  void SetSelected(kv::platform::TListItem* Value) { List->SetSelected(Value); }
  int SelectedIndex() const;
  void SetSelectedIndex(int Value);
  kv::platform::TCustomImageList* SmallImages() const { return List->SmallImages(); }
  void SetSmallImages(kv::platform::TCustomImageList* Value) { List->SetSmallImages(Value); }
  kv::platform::TCustomImageList* LargeImages() const { return List->LargeImages(); }
  void SetLargeImages(kv::platform::TCustomImageList* Value) { List->SetLargeImages(Value); }
  kv::platform::TCustomImageList* StateImages() const { return List->StateImages(); }
  void SetStateImages(kv::platform::TCustomImageList* Value) { List->SetStateImages(Value); }
  kv::platform::TBitmap& Glyph() { return glyph_; }
  const kv::platform::TBitmap& Glyph() const { return glyph_; }
  void SetGlyph(const kv::platform::TBitmap* Value);

  void SetOnSizeColumns(const TOnSizeColumns& Value) { OnSizeColumns = Value; }
  void SetBeforeDropDown(const TBeforeDropDown& Value) { BeforeDropDown = Value; }
  void SetAfterDropDown(const TNotifyEvent& Value) { AfterDropDown = Value; }
  void SetOnListClick(const TNotifyEvent& Value) { OnListClick = Value; }

  void BtnClick(TObject* Sender);
  void ListClick(TObject* Sender);

protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWindowHandle(const TCreateParams& Params) override;
  void CreateWnd() override;
  void SetEditRect();

private:
  kv::platform::TBitmap glyph_;
  bool syncingGlyph_ = false;
  TRect editRect_;
};

// The system's combo-box arrow (7 x 4 pixels, black on the button face).
kv::platform::Raster ComboArrowBitmap();

void Register();

} // namespace DropDownListView
