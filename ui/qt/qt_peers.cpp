#include <QCloseEvent>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>

#include "framework/sysutils.h"
#include "ui/qt/qt_peers.h"

namespace ui {

namespace {

QString ToQString(const std::string& cp1252) {
  return QString::fromUtf8(fw::Cp1252ToUtf8(cp1252));
}

QFont ToQFont(const fw::TFont& font) {
  QFont f(ToQString(font.Name()));
  f.setPixelSize(std::max(1, font.PixelSize()));
  f.setBold(font.Style().Contains(fw::fsBold));
  f.setItalic(font.Style().Contains(fw::fsItalic));
  f.setUnderline(font.Style().Contains(fw::fsUnderline));
  f.setStrikeOut(font.Style().Contains(fw::fsStrikeOut));
  return f;
}

QWidget* ParentWidget(const fw::TControl& control) {
  return control.Parent() != nullptr ? QtFrontEnd::WidgetOf(*control.Parent()) : nullptr;
}

// The window icon: a small display on a circuit board, in the 16 standard colours.
QIcon WindowIcon() {
  QPixmap pixmap(96, 96);
  pixmap.fill(QColor(0, 128, 0));
  QPainter p(&pixmap);
  p.setPen(QColor(0, 0, 0));
  p.setBrush(QColor(192, 192, 192));
  p.drawRect(8, 20, 79, 55);
  p.setBrush(QColor(0, 128, 128));
  p.drawRect(16, 28, 63, 39);
  p.setPen(QColor(0, 255, 255));
  QFont f;
  f.setPixelSize(18);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(16, 28, 63, 39), Qt::AlignCenter, QStringLiteral("LCD"));
  p.end();
  return QIcon(pixmap);
}

// ---- The form ----

class FormWindow : public QWidget {
 public:
  FormWindow(QtFrontEnd& fe, fw::TForm& form) : fe_(fe), form_(form) {}

 protected:
  // The close box asks the form; the form hides the window itself when it may close.
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    fe_.Guard([this] { form_.Close(); });
  }
  void showEvent(QShowEvent* event) override {
    QWidget::showEvent(event);
    CheckFrame();
  }
  void moveEvent(QMoveEvent* event) override {
    QWidget::moveEvent(event);
    CheckFrame();
  }

 public:
  // The window system may report its frame only once the window is on screen.
  void CheckFrame() {
    if (!isVisible()) return;
    const QSize frame = frameGeometry().size() - geometry().size();
    if (frame == frame_) return;
    frame_ = frame;
    form_.FrameChanged();
  }
  QSize Frame() const { return frame_; }

 private:
  QtFrontEnd& fe_;
  fw::TForm& form_;
  QSize frame_{0, 0};
};

class FormPeer : public QtPeer {
 public:
  FormPeer(QtFrontEnd& fe, fw::TForm& form)
      : QtPeer(fe, form, new FormWindow(fe, form)), form_(form) {
    widget_->setWindowIcon(WindowIcon());
    widget_->setAttribute(Qt::WA_QuitOnClose, false);
  }
  void FrameSize(int& width, int& height) override {
    const QSize frame = static_cast<FormWindow*>(widget_.data())->Frame();
    width = frame.width();
    height = frame.height();
  }

 protected:
  void ApplyBounds() override {
    const bool fixed = form_.BorderStyle() != fw::bsSizeable &&
                       form_.BorderStyle() != fw::bsSizeToolWin;
    if (fixed) {
      widget_->setFixedSize(form_.ClientWidth(), form_.ClientHeight());
    } else {
      widget_->setMinimumSize(0, 0);
      widget_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
      widget_->resize(form_.ClientWidth(), form_.ClientHeight());
    }
    widget_->move(form_.Left(), form_.Top());  // a window's position includes its frame
  }
  void ApplyText() override { widget_->setWindowTitle(ToQString(form_.Caption())); }
  void ApplyVisible() override {
    widget_->setVisible(form_.Visible());
    static_cast<FormWindow*>(widget_.data())->CheckFrame();
  }
  void ApplyKind(fw::TPeerChange what) override {
    if (what != fw::TPeerChange::Style) return;
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    const fw::TBorderIcons icons = form_.BorderIcons();
    if (icons.Contains(fw::biSystemMenu)) {
      flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    }
    if (icons.Contains(fw::biMinimize)) flags |= Qt::WindowMinimizeButtonHint;
    const bool sizeable = form_.BorderStyle() == fw::bsSizeable ||
                          form_.BorderStyle() == fw::bsSizeToolWin;
    if (icons.Contains(fw::biMaximize) && sizeable) flags |= Qt::WindowMaximizeButtonHint;
    if (!sizeable) flags |= Qt::MSWindowsFixedSizeDialogHint;
    if (form_.BorderStyle() == fw::bsNone) flags = Qt::Window | Qt::FramelessWindowHint;
    const bool visible = widget_->isVisible();
    widget_->setWindowFlags(flags);
    if (visible) widget_->show();  // changing the flags hides a window
    ApplyBounds();
  }

 private:
  fw::TForm& form_;
};

// ---- Containers and simple controls ----

class GroupBoxPeer : public QtPeer {
 public:
  GroupBoxPeer(QtFrontEnd& fe, fw::TControl& c)
      : QtPeer(fe, c, new QGroupBox(ParentWidget(c))) {}

 protected:
  void ApplyText() override {
    static_cast<QGroupBox*>(widget_.data())->setTitle(ToQString(control_.Caption()));
  }
};

class LabelPeer : public QtPeer {
 public:
  LabelPeer(QtFrontEnd& fe, fw::TLabel& c)
      : QtPeer(fe, c, new QLabel(ParentWidget(c))), label_(c) {
    static_cast<QLabel*>(widget_.data())->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    static_cast<QLabel*>(widget_.data())->setTextFormat(Qt::PlainText);
  }

 protected:
  void ApplyText() override {
    auto* label = static_cast<QLabel*>(widget_.data());
    label->setText(ToQString(control_.Caption()));
    if (label_.AutoSize()) label->adjustSize();
  }
  void ApplyColor() override {
    if (label_.Transparent()) {
      widget_->setAutoFillBackground(false);
    } else {
      QtPeer::ApplyColor();
    }
  }
  void ApplyKind(fw::TPeerChange what) override {
    if (what == fw::TPeerChange::Style) ApplyText();
  }

 private:
  fw::TLabel& label_;
};

class ProgressBarPeer : public QtPeer {
 public:
  ProgressBarPeer(QtFrontEnd& fe, fw::TProgressBar& c)
      : QtPeer(fe, c, new QProgressBar(ParentWidget(c))), bar_(c) {
    static_cast<QProgressBar*>(widget_.data())->setTextVisible(false);
  }

 protected:
  void ApplyColor() override {}  // the bar keeps the style's colours
  void ApplyKind(fw::TPeerChange what) override {
    if (what != fw::TPeerChange::Progress) return;
    auto* bar = static_cast<QProgressBar*>(widget_.data());
    bar->setRange(bar_.Min(), std::max(bar_.Min(), bar_.Max()));
    bar->setValue(bar_.Max() < bar_.Min() ? bar_.Min() : bar_.Position());
  }

 private:
  fw::TProgressBar& bar_;
};

class PanelPeer : public QtPeer {
 public:
  PanelPeer(QtFrontEnd& fe, fw::TPanel& c)
      : QtPeer(fe, c, new QLabel(ParentWidget(c))), panel_(c) {
    auto* label = static_cast<QLabel*>(widget_.data());
    label->setAlignment(Qt::AlignCenter);
    label->setTextFormat(Qt::PlainText);
    label->setLineWidth(1);
  }

 protected:
  void ApplyText() override {
    static_cast<QLabel*>(widget_.data())->setText(ToQString(control_.Caption()));
  }
  void ApplyKind(fw::TPeerChange what) override {
    if (what != fw::TPeerChange::Style) return;
    int shadow = QFrame::Plain;
    int shape = QFrame::Panel;
    switch (panel_.BevelOuter()) {
      case fw::bvLowered:
        shadow = QFrame::Sunken;
        break;
      case fw::bvRaised:
        shadow = QFrame::Raised;
        break;
      default:
        shape = QFrame::NoFrame;
        break;
    }
    static_cast<QLabel*>(widget_.data())->setFrameStyle(shape | shadow);
  }

 private:
  fw::TPanel& panel_;
};

class ComboBoxPeer : public QtPeer {
 public:
  ComboBoxPeer(QtFrontEnd& fe, fw::TComboBox& c)
      : QtPeer(fe, c, new QComboBox(ParentWidget(c))), combo_(c) {
    auto* box = static_cast<QComboBox*>(widget_.data());
    // activated: only a choice the user makes, never the program's own selection.
    QObject::connect(box, &QComboBox::activated, box, [this](int index) {
      frontEnd_.Guard([this, index] { combo_.UserSelect(index); });
    });
  }

 protected:
  void ApplyText() override {
    auto* box = static_cast<QComboBox*>(widget_.data());
    if (box->isEditable()) box->setEditText(ToQString(combo_.Text()));
    box->setCurrentIndex(combo_.ItemIndex());
  }
  void ApplyColor() override {
    if (control_.Color() == 0x80000005u) return;  // clWindow: the style's own field colour
    QPalette palette = widget_->palette();
    palette.setColor(QPalette::Base, QtFrontEnd::ToQColor(control_.Color()));
    widget_->setPalette(palette);
  }
  void ApplyKind(fw::TPeerChange what) override {
    auto* box = static_cast<QComboBox*>(widget_.data());
    switch (what) {
      case fw::TPeerChange::Items: {
        QStringList items;
        for (const std::string& s : combo_.Items().Items()) items << ToQString(s);
        box->clear();
        box->addItems(items);
        ApplyText();
        break;
      }
      case fw::TPeerChange::ItemIndex:
        box->setCurrentIndex(combo_.ItemIndex());
        break;
      case fw::TPeerChange::Style:
        box->setEditable(combo_.Style() == fw::csDropDown || combo_.Style() == fw::csSimple);
        box->setFocusPolicy(combo_.TabStop() ? Qt::StrongFocus : Qt::ClickFocus);
        break;
      default:
        break;
    }
  }

 private:
  fw::TComboBox& combo_;
};

class ButtonPeer : public QtPeer {
 public:
  ButtonPeer(QtFrontEnd& fe, fw::TButton& c)
      : QtPeer(fe, c, new QPushButton(ParentWidget(c))), button_(c) {
    auto* button = static_cast<QPushButton*>(widget_.data());
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, button,
                     [this] { frontEnd_.Guard([this] { button_.Click(); }); });
  }

 protected:
  void ApplyText() override {
    static_cast<QPushButton*>(widget_.data())->setText(ToQString(control_.Caption()));
  }
  void ApplyColor() override {}  // buttons keep the style's face
  void ApplyKind(fw::TPeerChange what) override {
    if (what == fw::TPeerChange::Style) {
      widget_->setFocusPolicy(button_.TabStop() ? Qt::StrongFocus : Qt::ClickFocus);
    }
  }

 private:
  fw::TButton& button_;
};

}  // namespace

// ---- QtPeer ----

QtPeer::QtPeer(QtFrontEnd& frontEnd, fw::TControl& control, QWidget* widget)
    : WidgetPeer(control), frontEnd_(frontEnd), widget_(widget) {
  widget_->setProperty("controlName", QString::fromStdString(control.Name()));
}

QtPeer::~QtPeer() { delete widget_.data(); }

void QtPeer::Repaint() {
  if (!widget_.isNull()) widget_->repaint();
}

void QtPeer::ApplyBounds() {
  widget_->setGeometry(control_.Left(), control_.Top(), control_.Width(), control_.Height());
}

void QtPeer::ApplyColor() {
  QPalette palette = widget_->palette();
  palette.setColor(QPalette::Window, QtFrontEnd::ToQColor(control_.Color()));
  widget_->setPalette(palette);
  widget_->setAutoFillBackground(true);
}

void QtPeer::ApplyFont() {
  widget_->setFont(ToQFont(control_.Font()));
  QPalette palette = widget_->palette();
  const QColor text = QtFrontEnd::ToQColor(control_.Font().Color());
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::ButtonText, text);
  widget_->setPalette(palette);
}

void QtPeer::ApplyVisible() { widget_->setVisible(control_.Visible()); }

// ---- Peer factory ----

std::unique_ptr<fw::ControlPeer> QtFrontEnd::CreatePeer(fw::TControl& control) {
  std::unique_ptr<QtPeer> peer;
  switch (control.Kind()) {
    case fw::TControlKind::Form:
      peer = std::make_unique<FormPeer>(*this, static_cast<fw::TForm&>(control));
      break;
    case fw::TControlKind::GroupBox:
      peer = std::make_unique<GroupBoxPeer>(*this, control);
      break;
    case fw::TControlKind::Label:
      peer = std::make_unique<LabelPeer>(*this, static_cast<fw::TLabel&>(control));
      break;
    case fw::TControlKind::ProgressBar:
      peer = std::make_unique<ProgressBarPeer>(*this, static_cast<fw::TProgressBar&>(control));
      break;
    case fw::TControlKind::Panel:
      peer = std::make_unique<PanelPeer>(*this, static_cast<fw::TPanel&>(control));
      break;
    case fw::TControlKind::ComboBox:
      peer = std::make_unique<ComboBoxPeer>(*this, static_cast<fw::TComboBox&>(control));
      break;
    case fw::TControlKind::Button:
      peer = std::make_unique<ButtonPeer>(*this, static_cast<fw::TButton&>(control));
      break;
  }
  peer->ApplyAll();
  return peer;
}

QWidget* QtFrontEnd::WidgetOf(const fw::TControl& control) {
  auto* peer = dynamic_cast<QtPeer*>(control.Peer());
  return peer != nullptr ? peer->Widget() : nullptr;
}

}  // namespace ui
