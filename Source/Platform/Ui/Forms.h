// Forms, the scrolling container, the screen and the application with its message loop.
//
// A form class with a form file:
//
//   class TMainForm : public TForm {
//     KV_CLASS_INFO(TMainForm)
//   public:
//     using TForm::TForm;
//     TTimer* AutoTimer = nullptr;
//     void FormShow(TObject* Sender);
//     void AutoTimerTimer(TObject* Sender);
//   };
//   const TClassInfo& TMainForm::StaticClassInfo() {
//     static const TClassInfo info = TClassBuilder<TMainForm, TForm>("TMainForm")
//         .Field("AutoTimer", &TMainForm::AutoTimer)
//         .Method("FormShow", &TMainForm::FormShow)
//         .Method("AutoTimerTimer", &TMainForm::AutoTimerTimer)
//         .Build();
//     return info;
//   }
//
//   RegisterFormFile("TMainForm", "MainForm.kfm");   // or RegisterFormResource with the text
//   Application().Initialize();
//   Application().CreateForm(MainForm);              // reads the form file, fires OnCreate
//   Application().Run();
#pragma once

#include "Platform/Dialogs/Dialogs.h"  // modal results
#include "Platform/Rtl/Streaming.h"
#include "Platform/Rtl/SysUtils.h"
#include "Platform/Ui/Controls.h"
#include "Platform/Ui/Presenter.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kv::platform {


enum class TScrollBarKind { sbHorizontal, sbVertical };
class TScrollingWinControl;

// One window scroll bar of a scrolling container: range in pixels, position, line increment.
class TControlScrollBar : public TPersistent {
  KV_CLASS_INFO(TControlScrollBar)
public:
  TControlScrollBar(TScrollingWinControl* Control, TScrollBarKind Kind) : control_(Control), kind_(Kind) {}
  int Range() const { return range_; }
  void SetRange(int Value);
  int Position() const { return position_; }
  void SetPosition(int Value);
  int Increment() const { return increment_; }
  void SetIncrement(int Value) { increment_ = Value; }
  bool Visible() const { return visible_; }
  void SetVisible(bool Value);
  bool Tracking() const { return tracking_; }
  void SetTracking(bool Value) { tracking_ = Value; }
  TScrollBarKind Kind() const { return kind_; }
  // The largest position (range minus the client extent).
  int ScrollMax() const;
  void Update();
  void ScrollMessage(TWMScroll& Message);

private:
  int thumbPos(const TWMScroll& Message) const;
  TScrollingWinControl* control_;
  TScrollBarKind kind_;
  int range_ = 0, position_ = 0, increment_ = 8;
  bool visible_ = true, tracking_ = false;
};

// A container whose window scroll bars move its children.
class TScrollingWinControl : public TWinControl {
  KV_CLASS_INFO(TScrollingWinControl)
public:
  explicit TScrollingWinControl(TComponent* AOwner);
  ~TScrollingWinControl() override;
  TControlScrollBar& HorzScrollBar() { return *horz_; }
  TControlScrollBar& VertScrollBar() { return *vert_; }
  const TControlScrollBar& HorzScrollBar() const { return *horz_; }
  const TControlScrollBar& VertScrollBar() const { return *vert_; }
  bool AutoScroll() const { return autoScroll_; }
  void SetAutoScroll(bool Value) { autoScroll_ = Value; }
  // Moves the children and the pixels by (DeltaX, DeltaY).
  void ScrollBy(int DeltaX, int DeltaY);
  void Dispatch(TMessage& Message) override;

protected:
  void CreateWnd() override;
  // Called on every size change (WM_SIZE).
  virtual void Resizing() {}
  virtual void WMHScroll(TWMScroll& Message);
  virtual void WMVScroll(TWMScroll& Message);

private:
  std::unique_ptr<TControlScrollBar> horz_, vert_;
  bool autoScroll_ = true;
};

enum class TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
KV_ENUM_NAMES(TPosition, "poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter",
              "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter")
using TFormBorderStyle = TBorderStyle;
enum class TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = TEvent<TObject*, TCloseAction&>;
using TCloseQueryEvent = TEvent<TObject*, bool&>;

class TCustomForm : public TScrollingWinControl {
  KV_CLASS_INFO(TCustomForm)
public:
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;

  // Creates a form of class T and reads its registered form file (EResNotFound-like
  // EReadError when T has none); OnCreate fires after loading.
  template <class T> static T* Create(TComponent* AOwner) {
    T* form = new T(AOwner);
    form->loadFormFile();
    return form;
  }
  // Creates a form of class T without a form file (built in code); OnCreate fires.
  template <class T> static T* CreateNew(TComponent* AOwner) {
    T* form = new T(AOwner);
    form->afterConstruction();
    return form;
  }

  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle Value);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition Value) { position_ = Value; }
  bool KeyPreview() const { return keyPreview_; }
  void SetKeyPreview(bool Value) { keyPreview_ = Value; }
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult Value) { modalResult_ = Value; }
  bool Modal() const { return modal_; }
  TWinControl* ActiveControl() const { return activeControl_; }
  void SetActiveControl(TWinControl* Control);
  TCanvas& Canvas() { return canvas_; }

  void SetVisible(bool Value) override;
  TRect ClientRect() const override;
  void Show();
  void Hide() { SetVisible(false); }
  // Shows the form and runs messages until ModalResult is set (or the form closes).
  TModalResult ShowModal();
  // Asks OnCloseQuery, then OnClose with caHide: the main form's closing ends the application.
  void Close();
  bool CloseQuery();
  // Frees the form once the messages pending now have run.
  void Release();

  // Focus bookkeeping of the form's controls.
  void FocusControl(TWinControl* Control);
  void SetFocusedControl(TWinControl* Control);
  TWinControl* FocusedControl() const { return focusedControl_; }
  void controlGoing(TWinControl* Control);

  bool DoKeyDown(TWMKey& Message) override;
  bool DoKeyPress(TWMKey& Message) override;
  bool DoKeyUp(TWMKey& Message) override;

  void Dispatch(TMessage& Message) override;
  void BeforeDestruction() override;
  void Loaded() override;

  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnPaint;

  void loadFormFile();
  void afterConstruction();

protected:
  void CreateParams(TCreateParams& Params) override;
  void PaintWindow(DrawingContext* DC) override;
  virtual void DoCreate() { OnCreate(this); }
  virtual void DoShow() { OnShow(this); }
  virtual void DoHide() { OnHide(this); }
  virtual void DoClose(TCloseAction& Action) { OnClose(this, Action); }
  virtual void DoDestroy() { OnDestroy(this); }

private:
  void applyPosition();
  uint32_t windowStyle() const;
  uint32_t windowExStyle() const;

  TBorderStyle borderStyle_ = TBorderStyle::bsSizeable;
  TPosition position_ = TPosition::poDesigned;
  bool keyPreview_ = false;
  TModalResult modalResult_ = mrNone;
  bool modal_ = false;
  bool shownOnce_ = false;
  bool destroyFired_ = false;
  TWinControl* activeControl_ = nullptr;
  TWinControl* focusedControl_ = nullptr;
  TControlCanvas canvas_{this};
};

class TForm : public TCustomForm {
  KV_CLASS_INFO(TForm)
public:
  using TCustomForm::TCustomForm;
};

// The screen: its size, the forms and the cursor shown over the application's windows.
class TScreen : public TComponent {
  KV_CLASS_INFO(TScreen)
public:
  explicit TScreen(TComponent* AOwner) : TComponent(AOwner) {}
  // crHourGlass while a long action runs (the wait cursor), crDefault otherwise.
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor Value) { cursor_ = Value; }
  int Width() const { return GetSystemMetrics(SM_CXSCREEN); }
  int Height() const { return GetSystemMetrics(SM_CYSCREEN); }
  int FormCount() const { return static_cast<int>(forms_.size()); }
  TCustomForm* Forms(int Index) const { return forms_.at(static_cast<size_t>(Index)); }
  TCustomForm* ActiveForm() const;
  void addForm(TCustomForm* Form) { forms_.push_back(Form); }
  void removeForm(TCustomForm* Form);

private:
  TCursor cursor_ = crDefault;
  std::vector<TCustomForm*> forms_;
};

using TExceptionEvent = TEvent<TObject*, const Exception&>;
// How the application's standard exception box is shown (caption, message).
using ExceptionBoxHook = std::function<void(const std::string& Caption, const std::string& Message)>;
// Replaces the standard exception box (the dialogs service when it is linked, else standard error).
void SetExceptionBoxHook(ExceptionBoxHook Hook);

class TApplication : public TComponent {
  KV_CLASS_INFO(TApplication)
public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  // Connects the window system to a presenter: the given one, or a headless one when none
  // is set yet.
  void Initialize();
  void SetPresenter(std::unique_ptr<Presenter> P);

  // Creates a form of class T (owned by the application) from its form file; the first form
  // created becomes the main form.
  template <class T> void CreateForm(T*& Reference) {
    T* form = new T(this);
    Reference = form;
    try {
      form->loadFormFile();
    } catch (...) {
      Reference = nullptr;
      TComponent::Free(form);
      throw;
    }
    if (!mainForm_) {
      mainForm_ = form;
      form->HandleNeeded();
    }
  }
  TCustomForm* MainForm() const { return mainForm_; }
  void SetMainForm(TCustomForm* Form) { mainForm_ = Form; }
  bool ShowMainForm = true;

  // Shows the main form and runs messages until the application is told to terminate (at
  // once when it already was).
  void Run();
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Runs every message that is pending now (timers due now included), then returns.
  void ProcessMessages();
  // One message, or waiting for the next when none is pending.
  void HandleMessage();
  bool ProcessMessage();

  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& Value) { title_ = Value; }
  std::string ExeName() const { return ParamStr(0); }

  // The standard exception box with the application's title; EAbort shows nothing.
  void HandleException(const std::exception& E);
  void ShowException(const Exception& E);
  TExceptionEvent OnException;
  TNotifyEvent OnIdle;

  static void controlDestroyed(TControl* Control);

private:
  bool isKeyMessage(const TMsg& Msg);
  void mouseIdle();

  TCustomForm* mainForm_ = nullptr;
  bool terminated_ = false;
  bool messagesHook_ = false; // processMessages() runs ProcessMessages (installed by Initialize)
  std::string title_;
  std::unique_ptr<Presenter> presenter_;
  static TControl* mouseControl_;
};

// The application and the screen of the process (created on first use).
TApplication& Application();
TScreen& Screen();
// Frees the application (and with it every form it owns) and the screen, resets the window
// system and starts afresh; tests call it between cases.
void ResetApplication();

// Registers the class library's own classes with the class registry (done by Application()).
void RegisterStandardClasses();

} // namespace kv::platform
