// The toolkit-neutral controls: TForm, TGroupBox, TLabel, TProgressBar, TPanel, TComboBox,
// TButton (TTimer is in timer.h).
//
// A control keeps every property itself and forwards each change to its peer, which a
// front-end (frontend.h) creates when the form is shown; without a front-end or before the
// form is shown, controls work the same and simply have no peer. Positions are relative to the
// parent's client area, in pixels. Font heights follow the form text: negative = character
// height, positive = cell height.
//
// Streaming: the controls register their published properties the first time a control is
// created; a form's text nests each control inside its parent. A form with Scaled true that is
// read on a screen whose pixels per inch differ from its PixelsPerInch scales positions, sizes
// and fonts of itself and its controls in that proportion (rounded like MulDiv).
//
// All controls belong to the main thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

// graphics.h first: on Windows, <windows.h> (through frontend.h) defines RGB as a macro.
#include "framework/graphics.h"
#include "framework/component.h"
#include "framework/frontend.h"
#include "framework/set.h"
#include "framework/streaming.h"
#include "framework/stringlist.h"

namespace fw {

class TWinControl;

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle, 8>;

// The font character set of the form text that means "the system's default".
constexpr int kDefaultCharset = 1;

class TFont : public TPersistent {
 public:
  TFont() = default;
  const char* ClassName() const override { return "TFont"; }
  // Copies another TFont's fields (one change notice); other sources are refused.
  void Assign(const TPersistent& source) override;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& value);
  int Height() const { return height_; }
  void SetHeight(int value);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles value);
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  int Charset() const { return charset_; }
  void SetCharset(int value);
  // Character height in pixels (|Height| for a negative height, else Height).
  int PixelSize() const { return height_ < 0 ? -height_ : height_; }
  bool operator==(const TFont& other) const;

  // Called after every change (the owning control forwards it).
  std::function<void()> OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }
  std::string name_ = "MS Sans Serif";
  int height_ = -11;
  TFontStyles style_;
  TColor color_ = 0x80000008u;  // clWindowText
  int charset_ = kDefaultCharset;
};

enum class TControlKind { Form, GroupBox, Label, ProgressBar, Panel, ComboBox, Button };

class TControl : public TComponent, public TStreamNesting {
 public:
  explicit TControl(TComponent* owner);
  // Destroys the peer and leaves the parent.
  ~TControl() override;
  const char* ClassName() const override { return "TControl"; }
  virtual TControlKind Kind() const = 0;

  TWinControl* Parent() const { return parent_; }
  // Moves the control into parent's client area (null: no parent). Creates the peer when the
  // new parent has one. Raises Exception when parent is this control or one of its children.
  void SetParent(TWinControl* parent);
  TComponent* StreamParent() const override;
  void SetStreamParent(TComponent* parent) override;

  int Left() const { return left_; }
  int Top() const { return top_; }
  virtual int Width() const { return width_; }
  virtual int Height() const { return height_; }
  virtual void SetLeft(int value) { SetBounds(value, top_, Width(), Height()); }
  virtual void SetTop(int value) { SetBounds(left_, value, Width(), Height()); }
  virtual void SetWidth(int value) { SetBounds(left_, top_, value, Height()); }
  virtual void SetHeight(int value) { SetBounds(left_, top_, Width(), value); }
  virtual void SetBounds(int left, int top, int width, int height);

  // Caption and Text are the same text (Windows-1252).
  const std::string& Caption() const { return text_; }
  void SetCaption(const std::string& value) { SetText(value); }
  virtual const std::string& Text() const { return text_; }
  virtual void SetText(const std::string& value);

  TColor Color() const { return color_; }
  void SetColor(TColor value);
  TFont& Font() { return font_; }
  const TFont& Font() const { return font_; }
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  bool Visible() const { return visible_; }
  virtual void SetVisible(bool value);
  int TabOrder() const { return tabOrder_; }
  void SetTabOrder(int value) { tabOrder_ = value; }
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool value) { tabStop_ = value; }

  // Paints the control at once (through its peer; nothing without one).
  void Repaint();
  ControlPeer* Peer() const { return peer_.get(); }
  // Creates this control's peer (and its children's) with the current front-end, if it has
  // none yet and its parent has one (a form needs no parent). DestroyPeers undoes it.
  virtual void CreatePeers();
  virtual void DestroyPeers();

  // Scales position, size and font by multiplier / divisor (MulDiv rounding).
  virtual void ScaleBy(int multiplier, int divisor);

 protected:
  // Tells the peer, if any.
  void NotifyPeer(TPeerChange what);
  // This control's font changed: a container hands it to its children that follow it.
  virtual void PassFontOn() {}
  // Initial values of a control class (no peer exists yet).
  void SetDefaultColor(TColor value) { color_ = value; }
  void SetDefaultTabStop(bool value) { tabStop_ = value; }
  void SetDefaultVisible(bool value) { visible_ = value; }
  friend class TWinControl;

  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;

 private:
  void FontChanged();
  void ApplyParentFont();

  TWinControl* parent_ = nullptr;
  std::string text_;
  TColor color_ = clBtnFace;
  TFont font_;
  bool parentFont_ = true;
  bool applyingParentFont_ = false;
  bool enabled_ = true;
  bool visible_ = true;
  int tabOrder_ = 0;
  bool tabStop_ = false;
  std::unique_ptr<ControlPeer> peer_;
};

// A control that contains others.
class TWinControl : public TControl {
 public:
  using TControl::TControl;
  ~TWinControl() override;
  const char* ClassName() const override { return "TWinControl"; }
  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const { return controls_.at(index); }
  void CreatePeers() override;
  void DestroyPeers() override;
  void ScaleBy(int multiplier, int divisor) override;

 protected:
  void PassFontOn() override;

 private:
  friend class TControl;
  std::vector<TControl*> controls_;
};

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TSet<TBorderIcon, 8>;
enum TPosition {
  poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter,
  poMainFormCenter, poOwnerFormCenter
};
using TCloseQueryEvent = Closure<void(TObject* Sender, bool& CanClose)>;

// A top-level window. Width and Height are the outer size (frame and title bar included);
// ClientWidth and ClientHeight the inside. Whichever of the two was set last is kept when the
// frame size becomes known (when the peer is created); before that, the frame is taken as the
// one of a fixed single-border window with a caption at 96 pixels per inch (16 x 44).
// The first form created is the main form (see SetMainForm); closing it ends the application's
// message loop.
class TForm : public TWinControl, public TMethodOwner {
 public:
  explicit TForm(TComponent* owner);
  ~TForm() override;
  const char* ClassName() const override { return "TForm"; }
  TControlKind Kind() const override { return TControlKind::Form; }

  // Methods the form text's events may name; a derived form adds its handlers here before it
  // reads its text.
  const TMethodTable& Methods() const override { return methods_; }
  TMethodTable& MethodTable() { return methods_; }
  // Reads the form's own text into it (see streaming.h).
  void ReadFormText(const std::string& text) { ReadComponentText(text, *this); }

  int Width() const override { return outerWidth_; }
  int Height() const override { return outerHeight_; }
  // Moving keeps the size; Width, Height and SetBounds set the outer size.
  void SetLeft(int value) override;
  void SetTop(int value) override;
  void SetWidth(int value) override;
  void SetHeight(int value) override;
  void SetBounds(int left, int top, int width, int height) override;
  int ClientWidth() const { return width_; }
  int ClientHeight() const { return height_; }
  void SetClientWidth(int value);
  void SetClientHeight(int value);
  // Frame plus title bar, from the peer or the nominal one.
  void FrameSize(int& width, int& height) const;
  // The peer's frame size changed (a window system reports it once the window is mapped).
  void FrameChanged();

  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle value);
  TBorderIcons BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(TBorderIcons value);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition value) { position_ = value; }
  int PixelsPerInch() const { return pixelsPerInch_; }
  void SetPixelsPerInch(int value) { pixelsPerInch_ = value; }
  int TextHeight() const { return textHeight_; }
  void SetTextHeight(int value) { textHeight_ = value; }
  bool Scaled() const { return scaled_; }
  void SetScaled(bool value) { scaled_ = value; }
  TCloseQueryEvent OnCloseQuery() const { return onCloseQuery_; }
  void SetOnCloseQuery(TCloseQueryEvent value) { onCloseQuery_ = value; }

  // Makes the form visible (creating its peers when a front-end is attached); a centred
  // position is applied the first time.
  void Show();
  void Hide() { SetVisible(false); }
  // Asks OnCloseQuery; when the close is allowed, hides the form and, for the main form, ends
  // the application's message loop. Returns whether the form closed.
  bool Close();

  void SetVisible(bool value) override;
  void CreatePeers() override;
  // Ends the loading state, then scales the form when it was designed for another screen.
  void Loaded() override;
  // Scales the client size, the font and every control; the form keeps its place.
  void ScaleBy(int multiplier, int divisor) override;

  // The application's main form (the first form created, unless set otherwise).
  static TForm* MainForm();
  static void SetMainForm(TForm* form);
  // Every form that exists, in creation order.
  static const std::vector<TForm*>& Forms();

 private:
  void ApplyPosition();

  TMethodTable methods_;
  int outerWidth_ = 0, outerHeight_ = 0;
  bool widthIsOuter_ = false, heightIsOuter_ = false;
  TFormBorderStyle borderStyle_ = bsSizeable;
  TBorderIcons borderIcons_{biSystemMenu, biMinimize, biMaximize};
  TPosition position_ = poDesigned;
  int pixelsPerInch_ = 96;
  int textHeight_ = 13;
  bool scaled_ = true;
  bool positioned_ = false;
  TCloseQueryEvent onCloseQuery_;
};

class TGroupBox : public TWinControl {
 public:
  explicit TGroupBox(TComponent* owner);
  const char* ClassName() const override { return "TGroupBox"; }
  TControlKind Kind() const override { return TControlKind::GroupBox; }
};

class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* owner);
  const char* ClassName() const override { return "TLabel"; }
  TControlKind Kind() const override { return TControlKind::Label; }
  // Stored for the front-end: a peer may fit the label to its text when true.
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  // Transparent: the parent shows through instead of Color.
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);

 private:
  bool autoSize_ = true;
  bool transparent_ = false;
};

// Position stays within Min..Max like the system's control: a value above Max shows (and
// reads back as) a full bar. Min and Max are taken as given (a form text may set them in any
// order); while Max is not above Min the bar is full once Position reaches Max, else empty.
class TProgressBar : public TControl {
 public:
  explicit TProgressBar(TComponent* owner);
  const char* ClassName() const override { return "TProgressBar"; }
  TControlKind Kind() const override { return TControlKind::ProgressBar; }
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  // Position is clamped into the new range.
  void SetMin(int value);
  void SetMax(int value);
  void SetPosition(int value);
  bool Smooth() const { return smooth_; }
  void SetSmooth(bool value);
  int Step() const { return step_; }
  void SetStep(int value) { step_ = value; }
  // The filled part, 0 to 100.
  int Percent() const;

 private:
  int min_ = 0, max_ = 100, position_ = 0;
  bool smooth_ = false;
  int step_ = 10;
};

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

class TPanel : public TWinControl {
 public:
  explicit TPanel(TComponent* owner);
  const char* ClassName() const override { return "TPanel"; }
  TControlKind Kind() const override { return TControlKind::Panel; }
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut value);
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut value);

 private:
  TBevelCut bevelOuter_ = bvRaised;
  TBevelCut bevelInner_ = bvNone;
};

enum TComboBoxStyle {
  csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable
};

// Items change only through SetItems/AddItem/ClearItems, so the peer always shows the list.
// With csDropDownList, Text is the selected item ("" without a selection) and setting Text
// selects the first item equal to it, ignoring case (none when there is no such item); the
// other styles keep free text and select a matching item when there is one. OnChange fires only for a
// choice the user makes (UserSelect), not when the program sets ItemIndex or Text.
class TComboBox : public TControl {
 public:
  explicit TComboBox(TComponent* owner);
  const char* ClassName() const override { return "TComboBox"; }
  TControlKind Kind() const override { return TControlKind::ComboBox; }

  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle value);
  const TStringList& Items() const { return items_; }
  // Replaces the list (as clearing and adding does: no selection afterwards).
  void SetItems(const TStringList& items);
  int AddItem(const std::string& item);
  void ClearItems();
  int ItemIndex() const { return itemIndex_; }
  // An index outside the list means no selection (-1).
  void SetItemIndex(int value);
  const std::string& Text() const override;
  void SetText(const std::string& value) override;
  int ItemHeight() const { return itemHeight_; }
  void SetItemHeight(int value);
  TNotifyEvent OnChange() const { return onChange_; }
  void SetOnChange(TNotifyEvent value) { onChange_ = value; }

  // The user chose item index (front-ends and tests): selects it, then runs OnChange.
  // Ignored while the control is disabled.
  void UserSelect(int index);
  void ScaleBy(int multiplier, int divisor) override;

 private:
  TComboBoxStyle style_ = csDropDown;
  TStringList items_;
  int itemIndex_ = -1;
  std::string editText_;  // csDropDown / csSimple: free text
  int itemHeight_ = 16;
  TNotifyEvent onChange_;
};

class TButton : public TControl {
 public:
  explicit TButton(TComponent* owner);
  const char* ClassName() const override { return "TButton"; }
  TControlKind Kind() const override { return TControlKind::Button; }
  TNotifyEvent OnClick() const { return onClick_; }
  void SetOnClick(TNotifyEvent value) { onClick_ = value; }
  // Runs OnClick (as a click by the user does; the peer delivers clicks only while enabled).
  void Click();

 private:
  TNotifyEvent onClick_;
};

// Registers the controls' classes and properties for streaming (idempotent; the first control
// created calls it).
void RegisterControlClasses();

// a * b / c rounded to the nearest integer, halves away from zero (0 when c is 0).
int MulDiv(int a, int b, int c);

}  // namespace fw
