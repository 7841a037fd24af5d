// What the toolkit front-ends' peers share: which part of the widget a change of the control
// reaches, and the order in which a new widget takes on the control's whole state (the
// kind-specific parts first, so that bounds, font and colours apply to the finished widget).
#pragma once

#include "framework/controls.h"
#include "framework/frontend.h"

namespace ui {

class WidgetPeer : public fw::ControlPeer {
 public:
  explicit WidgetPeer(fw::TControl& control) : control_(control) {}

  void Changed(fw::TPeerChange what) override {
    if (!HasWidget()) return;
    switch (what) {
      case fw::TPeerChange::Bounds: ApplyBounds(); break;
      case fw::TPeerChange::Text: ApplyText(); break;
      case fw::TPeerChange::Color: ApplyColor(); break;
      case fw::TPeerChange::Font: ApplyFont(); break;
      case fw::TPeerChange::Enabled: ApplyEnabled(); break;
      case fw::TPeerChange::Visible: ApplyVisible(); break;
      default: ApplyKind(what); break;
    }
  }

  fw::TControl& Control() const { return control_; }

  // Shows the control's whole state (once the widget exists).
  void ApplyAll() {
    ApplyKind(fw::TPeerChange::Style);
    ApplyKind(fw::TPeerChange::Items);
    ApplyKind(fw::TPeerChange::Progress);
    ApplyBounds();
    ApplyFont();
    ApplyColor();
    ApplyText();
    ApplyEnabled();
    ApplyVisible();
  }

 protected:
  // False once the toolkit has destroyed the widget (or never made it).
  virtual bool HasWidget() const = 0;
  virtual void ApplyBounds() = 0;
  virtual void ApplyText() {}
  virtual void ApplyColor() = 0;
  virtual void ApplyFont() = 0;
  virtual void ApplyEnabled() = 0;
  virtual void ApplyVisible() = 0;
  virtual void ApplyKind(fw::TPeerChange) {}

  fw::TControl& control_;
};

}  // namespace ui
