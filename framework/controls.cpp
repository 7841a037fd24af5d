#include "framework/controls.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <mutex>

#include "framework/property.h"

namespace fw {

namespace {

FrontEnd* g_frontEnd = nullptr;

std::vector<TForm*>& FormList() {
  static std::vector<TForm*> forms;
  return forms;
}
TForm*& MainFormSlot() {
  static TForm* form = nullptr;
  return form;
}

int ScreenPixelsPerInch() {
  return g_frontEnd != nullptr ? g_frontEnd->ScreenPixelsPerInch() : 96;
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

int MulDiv(int a, int b, int c) {
  if (c == 0) return 0;
  const long long p = static_cast<long long>(a) * b;
  const long long d = c < 0 ? -static_cast<long long>(c) : c;
  const long long magnitude = ((p < 0 ? -p : p) + d / 2) / d;
  const bool negative = (p < 0) != (c < 0);
  return static_cast<int>(negative ? -magnitude : magnitude);
}

// ---- TFont ----

void TFont::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TFont*>(&source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  if (*this == *other) return;
  name_ = other->name_;
  height_ = other->height_;
  style_ = other->style_;
  color_ = other->color_;
  charset_ = other->charset_;
  Changed();
}

bool TFont::operator==(const TFont& other) const {
  return name_ == other.name_ && height_ == other.height_ && style_ == other.style_ &&
         color_ == other.color_ && charset_ == other.charset_;
}

void TFont::SetName(const std::string& value) {
  if (fw::StoreChange(name_, value)) Changed();
}
void TFont::SetHeight(int value) {
  if (fw::StoreChange(height_, value)) Changed();
}
void TFont::SetStyle(TFontStyles value) {
  if (fw::StoreChange(style_, value)) Changed();
}
void TFont::SetColor(TColor value) {
  if (fw::StoreChange(color_, value)) Changed();
}
void TFont::SetCharset(int value) {
  if (fw::StoreChange(charset_, value)) Changed();
}

// ---- TControl ----

TControl::TControl(TComponent* owner) : TComponent(owner) {
  RegisterControlClasses();
  font_.OnChange = [this] { FontChanged(); };
}

TControl::~TControl() {
  BeforeDestruction();
  peer_.reset();
  if (parent_ != nullptr) {
    auto& list = parent_->controls_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    parent_ = nullptr;
  }
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  for (TControl* p = parent; p != nullptr; p = p->parent_) {
    if (p == this) throw Exception("A control cannot be placed inside itself");
  }
  // The peer lives inside the old parent's; the new parent gets a new one.
  DestroyPeers();
  if (parent_ != nullptr) {
    auto& list = parent_->controls_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  parent_ = parent;
  if (parent_ == nullptr) return;
  parent_->controls_.push_back(this);
  if (parentFont_) ApplyParentFont();
  if (parent_->Peer() != nullptr) CreatePeers();
}

TComponent* TControl::StreamParent() const { return parent_; }

void TControl::SetStreamParent(TComponent* parent) {
  if (auto* container = dynamic_cast<TWinControl*>(parent)) SetParent(container);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  NotifyPeer(TPeerChange::Bounds);
}

void TControl::SetText(const std::string& value) {
  if (fw::StoreChange(text_, value)) NotifyPeer(TPeerChange::Text);
}

void TControl::SetColor(TColor value) {
  if (fw::StoreChange(color_, value)) NotifyPeer(TPeerChange::Color);
}

void TControl::SetParentFont(bool value) {
  parentFont_ = value;
  if (value) ApplyParentFont();
}

void TControl::ApplyParentFont() {
  if (parent_ == nullptr) return;
  applyingParentFont_ = true;
  font_.Assign(parent_->font_);
  applyingParentFont_ = false;
}

void TControl::FontChanged() {
  // A font set on the control itself ends following the parent's.
  if (!applyingParentFont_) parentFont_ = false;
  NotifyPeer(TPeerChange::Font);
  PassFontOn();
}

void TControl::SetEnabled(bool value) {
  if (fw::StoreChange(enabled_, value)) NotifyPeer(TPeerChange::Enabled);
}

void TControl::SetVisible(bool value) {
  if (fw::StoreChange(visible_, value)) NotifyPeer(TPeerChange::Visible);
}

void TControl::Repaint() {
  if (peer_ != nullptr) peer_->Repaint();
}

void TControl::CreatePeers() {
  if (peer_ != nullptr || g_frontEnd == nullptr) return;
  if (Kind() != TControlKind::Form && (parent_ == nullptr || parent_->peer_ == nullptr)) return;
  peer_ = g_frontEnd->CreatePeer(*this);
}

void TControl::DestroyPeers() { peer_.reset(); }

void TControl::ScaleBy(int multiplier, int divisor) {
  SetBounds(MulDiv(left_, multiplier, divisor), MulDiv(top_, multiplier, divisor),
            MulDiv(width_, multiplier, divisor), MulDiv(height_, multiplier, divisor));
  // A control that follows its parent's font gets the parent's scaled one.
  if (!parentFont_) font_.SetHeight(MulDiv(font_.Height(), multiplier, divisor));
}

void TControl::NotifyPeer(TPeerChange what) {
  if (peer_ != nullptr) peer_->Changed(what);
}

// ---- TWinControl ----

TWinControl::~TWinControl() {
  // Children's peers sit inside this one's: they go first, and the children forget us.
  std::vector<TControl*> children = controls_;
  for (TControl* c : children) {
    c->DestroyPeers();
    c->parent_ = nullptr;
  }
  controls_.clear();
}

void TWinControl::CreatePeers() {
  TControl::CreatePeers();
  if (Peer() == nullptr) return;
  std::vector<TControl*> children = controls_;
  for (TControl* c : children) c->CreatePeers();
}

void TWinControl::DestroyPeers() {
  std::vector<TControl*> children = controls_;
  for (TControl* c : children) c->DestroyPeers();
  TControl::DestroyPeers();
}

void TWinControl::ScaleBy(int multiplier, int divisor) {
  TControl::ScaleBy(multiplier, divisor);
  std::vector<TControl*> children = controls_;
  for (TControl* c : children) c->ScaleBy(multiplier, divisor);
}

void TWinControl::PassFontOn() {
  std::vector<TControl*> children = controls_;
  for (TControl* c : children) {
    if (c->parentFont_) c->ApplyParentFont();
  }
}

// ---- TForm ----

namespace {
// The frame and title bar of a single-border window with a caption at 96 pixels per inch.
constexpr int kNominalFrameWidth = 16;
constexpr int kNominalFrameHeight = 44;
}  // namespace

TForm::TForm(TComponent* owner) : TWinControl(owner) {
  SetParentFont(false);
  SetDefaultVisible(false);
  FormList().push_back(this);
  if (MainFormSlot() == nullptr) MainFormSlot() = this;
  int fw = 0, fh = 0;
  FrameSize(fw, fh);
  outerWidth_ = width_ + fw;
  outerHeight_ = height_ + fh;
}

TForm::~TForm() {
  // The components go while the form is still a form: their handlers may reach it.
  while (ComponentCount() > 0) TComponent::Free(Components(ComponentCount() - 1));
  DestroyPeers();
  auto& forms = FormList();
  forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
  if (MainFormSlot() == this) MainFormSlot() = nullptr;
}

void TForm::FrameSize(int& width, int& height) const {
  if (Peer() != nullptr) {
    Peer()->FrameSize(width, height);
  } else if (borderStyle_ == bsNone) {
    width = 0;
    height = 0;
  } else {
    width = kNominalFrameWidth;
    height = kNominalFrameHeight;
  }
}

void TForm::SetBounds(int left, int top, int width, int height) {
  int fw = 0, fh = 0;
  FrameSize(fw, fh);
  left_ = left;
  top_ = top;
  widthIsOuter_ = true;
  heightIsOuter_ = true;
  outerWidth_ = width;
  outerHeight_ = height;
  width_ = std::max(0, outerWidth_ - fw);
  height_ = std::max(0, outerHeight_ - fh);
  NotifyPeer(TPeerChange::Bounds);
}

void TForm::SetLeft(int value) {
  if (fw::StoreChange(left_, value)) NotifyPeer(TPeerChange::Bounds);
}

void TForm::SetTop(int value) {
  if (fw::StoreChange(top_, value)) NotifyPeer(TPeerChange::Bounds);
}

void TForm::SetWidth(int value) {
  int fw = 0, fh = 0;
  FrameSize(fw, fh);
  widthIsOuter_ = true;
  outerWidth_ = value;
  width_ = std::max(0, value - fw);
  NotifyPeer(TPeerChange::Bounds);
}

void TForm::SetHeight(int value) {
  int fw = 0, fh = 0;
  FrameSize(fw, fh);
  heightIsOuter_ = true;
  outerHeight_ = value;
  height_ = std::max(0, value - fh);
  NotifyPeer(TPeerChange::Bounds);
}

void TForm::SetClientWidth(int value) {
  int fw = 0, fh = 0;
  FrameSize(fw, fh);
  width_ = std::max(0, value);
  outerWidth_ = width_ + fw;
  widthIsOuter_ = false;
  NotifyPeer(TPeerChange::Bounds);
}

void TForm::SetClientHeight(int value) {
  int fw = 0, fh = 0;
  FrameSize(fw, fh);
  height_ = std::max(0, value);
  outerHeight_ = height_ + fh;
  heightIsOuter_ = false;
  NotifyPeer(TPeerChange::Bounds);
}

void TForm::FrameChanged() {
  int fw = 0, fh = 0;
  FrameSize(fw, fh);
  if (widthIsOuter_) {
    width_ = std::max(0, outerWidth_ - fw);
  } else {
    outerWidth_ = width_ + fw;
  }
  if (heightIsOuter_) {
    height_ = std::max(0, outerHeight_ - fh);
  } else {
    outerHeight_ = height_ + fh;
  }
  NotifyPeer(TPeerChange::Bounds);
}

void TForm::SetBorderStyle(TFormBorderStyle value) {
  if (!fw::StoreChange(borderStyle_, value)) return;
  NotifyPeer(TPeerChange::Style);
  if (Peer() == nullptr) FrameChanged();
}

void TForm::SetBorderIcons(TBorderIcons value) {
  if (fw::StoreChange(borderIcons_, value)) NotifyPeer(TPeerChange::Style);
}

void TForm::SetVisible(bool value) {
  if (value && !Loading()) {
    CreatePeers();
    if (!positioned_) ApplyPosition();
  }
  TWinControl::SetVisible(value);
}

void TForm::CreatePeers() {
  const bool had = Peer() != nullptr;
  TWinControl::CreatePeers();
  if (!had && Peer() != nullptr) FrameChanged();
}

void TForm::ApplyPosition() {
  if (g_frontEnd == nullptr) return;
  positioned_ = true;
  int sw = 0, sh = 0;
  g_frontEnd->ScreenSize(sw, sh);
  switch (position_) {
    case poScreenCenter:
    case poDesktopCenter:
    case poMainFormCenter:
    case poOwnerFormCenter:
      SetLeft((sw - Width()) / 2);
      SetTop((sh - Height()) / 2);
      break;
    default:
      break;
  }
}

void TForm::Show() { SetVisible(true); }

bool TForm::Close() {
  bool canClose = true;
  if (onCloseQuery_) onCloseQuery_(this, canClose);
  if (!canClose) return false;
  Hide();
  if (MainFormSlot() == this && Application != nullptr) Application->Terminate();
  return true;
}

void TForm::Loaded() {
  TWinControl::Loaded();
  const int ppi = ScreenPixelsPerInch();
  if (scaled_ && pixelsPerInch_ > 0 && ppi != pixelsPerInch_) {
    ScaleBy(ppi, pixelsPerInch_);
    textHeight_ = MulDiv(textHeight_, ppi, pixelsPerInch_);
    pixelsPerInch_ = ppi;
  }
  // A form stored visible shows itself once it is complete.
  if (Visible()) {
    CreatePeers();
    if (!positioned_) ApplyPosition();
  }
}

void TForm::ScaleBy(int multiplier, int divisor) {
  SetClientWidth(MulDiv(ClientWidth(), multiplier, divisor));
  SetClientHeight(MulDiv(ClientHeight(), multiplier, divisor));
  Font().SetHeight(MulDiv(Font().Height(), multiplier, divisor));
  for (int k = 0; k < ControlCount(); ++k) Controls(k)->ScaleBy(multiplier, divisor);
}

TForm* TForm::MainForm() { return MainFormSlot(); }
void TForm::SetMainForm(TForm* form) { MainFormSlot() = form; }
const std::vector<TForm*>& TForm::Forms() { return FormList(); }

// ---- The other controls ----

TGroupBox::TGroupBox(TComponent* owner) : TWinControl(owner) {}

TLabel::TLabel(TComponent* owner) : TControl(owner) {}

void TLabel::SetAutoSize(bool value) {
  if (fw::StoreChange(autoSize_, value)) NotifyPeer(TPeerChange::Style);
}

void TLabel::SetTransparent(bool value) {
  if (fw::StoreChange(transparent_, value)) NotifyPeer(TPeerChange::Color);
}

TProgressBar::TProgressBar(TComponent* owner) : TControl(owner) {}

void TProgressBar::SetMin(int value) {
  if (!fw::StoreChange(min_, value)) return;
  if (min_ <= max_) position_ = std::clamp(position_, min_, max_);
  NotifyPeer(TPeerChange::Progress);
}

void TProgressBar::SetMax(int value) {
  if (!fw::StoreChange(max_, value)) return;
  if (min_ <= max_) position_ = std::clamp(position_, min_, max_);
  NotifyPeer(TPeerChange::Progress);
}

void TProgressBar::SetPosition(int value) {
  if (min_ <= max_) value = std::clamp(value, min_, max_);
  if (fw::StoreChange(position_, value)) NotifyPeer(TPeerChange::Progress);
}

void TProgressBar::SetSmooth(bool value) {
  if (fw::StoreChange(smooth_, value)) NotifyPeer(TPeerChange::Progress);
}

int TProgressBar::Percent() const {
  if (max_ <= min_) return position_ >= max_ ? 100 : 0;
  const long long done = static_cast<long long>(position_) - min_;
  const long long range = static_cast<long long>(max_) - min_;
  return static_cast<int>(std::clamp(done * 100 / range, 0LL, 100LL));
}

TPanel::TPanel(TComponent* owner) : TWinControl(owner) {}

void TPanel::SetBevelOuter(TBevelCut value) {
  if (fw::StoreChange(bevelOuter_, value)) NotifyPeer(TPeerChange::Style);
}

void TPanel::SetBevelInner(TBevelCut value) {
  if (fw::StoreChange(bevelInner_, value)) NotifyPeer(TPeerChange::Style);
}

TComboBox::TComboBox(TComponent* owner) : TControl(owner) {
  SetDefaultColor(0x80000005u);  // clWindow
  SetDefaultTabStop(true);
}

void TComboBox::SetStyle(TComboBoxStyle value) {
  if (fw::StoreChange(style_, value)) NotifyPeer(TPeerChange::Style);
}

void TComboBox::SetItems(const TStringList& items) {
  items_.Clear();
  for (const std::string& s : items.Items()) items_.Add(s);
  itemIndex_ = -1;
  editText_.clear();
  NotifyPeer(TPeerChange::Items);
}

int TComboBox::AddItem(const std::string& item) {
  const int index = items_.Add(item);
  NotifyPeer(TPeerChange::Items);
  return index;
}

void TComboBox::ClearItems() {
  items_.Clear();
  itemIndex_ = -1;
  editText_.clear();
  NotifyPeer(TPeerChange::Items);
}

void TComboBox::SetItemIndex(int value) {
  if (value < -1 || value >= items_.Count()) value = -1;
  if (!fw::StoreChange(itemIndex_, value)) return;
  if (style_ != csDropDownList && value >= 0) editText_ = items_[value];
  NotifyPeer(TPeerChange::ItemIndex);
}

const std::string& TComboBox::Text() const {
  static const std::string empty;
  if (style_ == csDropDownList) return itemIndex_ >= 0 ? items_[itemIndex_] : empty;
  return editText_;
}

void TComboBox::SetText(const std::string& value) {
  int match = -1;
  for (int k = 0; k < items_.Count() && match < 0; ++k) {
    if (SameTextIgnoringCase(items_[k], value)) match = k;
  }
  if (style_ == csDropDownList) {
    SetItemIndex(match);
    return;
  }
  if (value == editText_ && match == itemIndex_) return;
  editText_ = value;
  itemIndex_ = match;
  NotifyPeer(TPeerChange::Text);
}

void TComboBox::SetItemHeight(int value) {
  if (fw::StoreChange(itemHeight_, value)) NotifyPeer(TPeerChange::Style);
}

void TComboBox::UserSelect(int index) {
  if (!Enabled() || index < 0 || index >= items_.Count()) return;
  SetItemIndex(index);
  if (onChange_) onChange_(this);
}

void TComboBox::ScaleBy(int multiplier, int divisor) {
  TControl::ScaleBy(multiplier, divisor);
  SetItemHeight(MulDiv(itemHeight_, multiplier, divisor));
}

TButton::TButton(TComponent* owner) : TControl(owner) { SetDefaultTabStop(true); }

void TButton::Click() {
  if (onClick_) onClick_(this);
}

// ---- The front-end ----

void AttachFrontEnd(FrontEnd* frontEnd, TApplication* application) {
  if (frontEnd == g_frontEnd) return;
  // Peers belong to the front-end that made them.
  for (TForm* f : TForm::Forms()) f->DestroyPeers();
  g_frontEnd = frontEnd;
  if (application != nullptr) application->SetEventPump(frontEnd);
  if (frontEnd == nullptr) return;
  std::vector<TForm*> forms = TForm::Forms();
  for (TForm* f : forms) {
    if (f->Visible() && !f->Loading()) f->SetVisible(true);
  }
}

FrontEnd* CurrentFrontEnd() { return g_frontEnd; }

void ShowExceptionsInDialogs(TApplication& application, const std::string& caption) {
  application.OnShowException = [caption](const std::string& message) {
    MessageDialog(mtError, caption, message);
  };
}

void MessageDialog(TMsgDlgType type, const std::string& caption, const std::string& text) {
  if (g_frontEnd != nullptr) {
    g_frontEnd->MessageDialog(type, caption, text);
  } else {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  }
}

void MessageDialog(TMsgDlgType type, const std::string& caption, const std::string& text,
                   const std::string& detail) {
  if (g_frontEnd != nullptr) {
    g_frontEnd->DetailedMessageDialog(type, caption, text, detail);
  } else {
    std::fprintf(stderr, "[%s] %s\n%s%s", caption.c_str(), text.c_str(), detail.c_str(),
                 detail.empty() ? "" : "\n");
  }
}

void Note(const std::string& text) {
  if (g_frontEnd != nullptr) g_frontEnd->Note(text);
}

// ---- Streaming ----

namespace {

const std::vector<std::string> kFontStyleNames = {"fsBold", "fsItalic", "fsUnderline",
                                                  "fsStrikeOut"};

// The properties every control class publishes; the defaults are the class's own. textName
// is "Caption" or "Text", null for a control that shows no text of its own.
template <class C>
TClassBuilder<C>& AddControlProperties(TClassBuilder<C>& b, const char* textName,
                                       TColor colorDefault, bool tabStopDefault) {
  b.Integer("Left", &TControl::Left, &TControl::SetLeft, 0)
      .Integer("Top", &TControl::Top, &TControl::SetTop, 0)
      .Integer("Width", [](C& c) { return c.Width(); }, [](C& c, int v) { c.SetWidth(v); }, 0)
      .Integer("Height", [](C& c) { return c.Height(); }, [](C& c, int v) { c.SetHeight(v); },
               0);
  if (textName != nullptr) {
    b.Text(textName, [](C& c) { return c.Text(); },
           [](C& c, const std::string& v) { c.SetText(v); }, "");
  }
  return b.Color("Color", &TControl::Color, &TControl::SetColor, colorDefault)
      .Object("Font", [](C& c) { return &c.Font(); }, "TFont")
      .StoredWhen([](C& c) { return !c.ParentFont(); })
      .Boolean("ParentFont", &TControl::ParentFont, &TControl::SetParentFont, true)
      .Boolean("Enabled", &TControl::Enabled, &TControl::SetEnabled, true)
      .Boolean("Visible", &TControl::Visible, [](C& c, bool v) { c.SetVisible(v); }, true)
      .Integer("TabOrder", &TControl::TabOrder, &TControl::SetTabOrder, 0)
      .Boolean("TabStop", &TControl::TabStop, &TControl::SetTabStop, tabStopDefault);
}

void RegisterAll() {
  RegisterSubObject<TFont>("TFont")
      .Integer("Charset", &TFont::Charset, &TFont::SetCharset, std::nullopt,
               {{"ANSI_CHARSET", 0}, {"DEFAULT_CHARSET", 1}, {"SYMBOL_CHARSET", 2},
                {"OEM_CHARSET", 255}})
      .Color("Color", &TFont::Color, &TFont::SetColor)
      .Integer("Height", &TFont::Height, &TFont::SetHeight)
      .Text("Name", &TFont::Name, &TFont::SetName)
      .Set("Style", kFontStyleNames, &TFont::Style, &TFont::SetStyle, TFontStyles{});
  RegisterBaseClass<TControl>("TControl", "TComponent");
  RegisterBaseClass<TWinControl>("TWinControl", "TControl");

  RegisterBaseClass<TForm>("TForm", "TWinControl")
      .Integer("Left", &TControl::Left, &TControl::SetLeft, 0)
      .Integer("Top", &TControl::Top, &TControl::SetTop, 0)
      .Integer("Width", &TForm::Width, &TForm::SetWidth)
      .NeverStored()
      .Integer("Height", &TForm::Height, &TForm::SetHeight)
      .NeverStored()
      .Integer("ClientWidth", &TForm::ClientWidth, &TForm::SetClientWidth)
      .Integer("ClientHeight", &TForm::ClientHeight, &TForm::SetClientHeight)
      .Set("BorderIcons", {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"},
           &TForm::BorderIcons, &TForm::SetBorderIcons,
           TBorderIcons{biSystemMenu, biMinimize, biMaximize})
      .Enumeration("BorderStyle",
                   {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow",
                    "bsSizeToolWin"},
                   &TForm::BorderStyle, &TForm::SetBorderStyle, bsSizeable)
      .Text("Caption", &TControl::Caption, &TControl::SetCaption, "")
      .Color("Color", &TControl::Color, &TControl::SetColor, clBtnFace)
      .Object("Font", [](TForm& c) { return &c.Font(); }, "TFont")
      .Boolean("Enabled", &TControl::Enabled, &TControl::SetEnabled, true)
      .Enumeration("Position",
                   {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
                    "poScreenCenter", "poDesktopCenter", "poMainFormCenter",
                    "poOwnerFormCenter"},
                   &TForm::Position, &TForm::SetPosition, poDesigned)
      .Boolean("Scaled", &TForm::Scaled, &TForm::SetScaled, true)
      .Boolean("Visible", &TControl::Visible, [](TForm& f, bool v) { f.SetVisible(v); }, false)
      .Event("OnCloseQuery", &TForm::OnCloseQuery, &TForm::SetOnCloseQuery)
      .Integer("PixelsPerInch", &TForm::PixelsPerInch, &TForm::SetPixelsPerInch)
      .Integer("TextHeight", &TForm::TextHeight, &TForm::SetTextHeight);

  auto group = RegisterComponentClass<TGroupBox>("TGroupBox", "TWinControl");
  AddControlProperties(group, "Caption", clBtnFace, false);

  auto label = RegisterComponentClass<TLabel>("TLabel", "TControl");
  AddControlProperties(label, "Caption", clBtnFace, false)
      .Boolean("AutoSize", &TLabel::AutoSize, &TLabel::SetAutoSize, true)
      .Boolean("Transparent", &TLabel::Transparent, &TLabel::SetTransparent, false);

  auto progress = RegisterComponentClass<TProgressBar>("TProgressBar", "TControl");
  AddControlProperties(progress, nullptr, clBtnFace, false)
      .Integer("Min", &TProgressBar::Min, &TProgressBar::SetMin, 0)
      .Integer("Max", &TProgressBar::Max, &TProgressBar::SetMax, 100)
      .Integer("Position", &TProgressBar::Position, &TProgressBar::SetPosition, 0)
      .Boolean("Smooth", &TProgressBar::Smooth, &TProgressBar::SetSmooth, false)
      .Integer("Step", &TProgressBar::Step, &TProgressBar::SetStep, 10);

  auto panel = RegisterComponentClass<TPanel>("TPanel", "TWinControl");
  AddControlProperties(panel, "Caption", clBtnFace, false)
      .Enumeration("BevelInner", {"bvNone", "bvLowered", "bvRaised", "bvSpace"},
                   &TPanel::BevelInner, &TPanel::SetBevelInner, bvNone)
      .Enumeration("BevelOuter", {"bvNone", "bvLowered", "bvRaised", "bvSpace"},
                   &TPanel::BevelOuter, &TPanel::SetBevelOuter, bvRaised);

  auto combo = RegisterComponentClass<TComboBox>("TComboBox", "TControl");
  combo.Strings("Items", [](TComboBox& c) -> const TStringList& { return c.Items(); },
                &TComboBox::SetItems);
  AddControlProperties(combo, "Text", 0x80000005u, true)
      .Enumeration("Style",
                   {"csDropDown", "csSimple", "csDropDownList", "csOwnerDrawFixed",
                    "csOwnerDrawVariable"},
                   &TComboBox::Style, &TComboBox::SetStyle, csDropDown)
      .Integer("ItemHeight", &TComboBox::ItemHeight, &TComboBox::SetItemHeight, 16)
      .Integer("ItemIndex", &TComboBox::ItemIndex, &TComboBox::SetItemIndex, -1)
      .Event("OnChange", &TComboBox::OnChange, &TComboBox::SetOnChange);

  auto button = RegisterComponentClass<TButton>("TButton", "TControl");
  AddControlProperties(button, "Caption", clBtnFace, true)
      .Event("OnClick", &TButton::OnClick, &TButton::SetOnClick);
}

}  // namespace

void RegisterControlClasses() {
  static std::once_flag once;
  std::call_once(once, RegisterAll);
}

}  // namespace fw
