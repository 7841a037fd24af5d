// The main window as built from its form text: layout, caption, size at several resolutions.
#include "app/mainform.h"

#include <gtest/gtest.h>

#include <memory>

#include "framework/application.h"
#include "framework/frontend.h"
#include "platform/sim/machine.h"
#include "ui/recording/recording_frontend.h"

namespace {

// A main window on a simulated machine with a front-end of the given resolution.
class Window {
 public:
  explicit Window(int ppi, const std::function<void(sim::System&)>& setUp = {})
      : frontEnd_(true, ppi) {
    machine_.SimSystem().SetFileVersion(7, 1, 0, 0);
    if (setUp) setUp(machine_.SimSystem());
    previous_ = plat::SetCurrentPlatform(&machine_);
    app_ = std::make_unique<fw::TApplication>(machine_);
    fw::AttachFrontEnd(&frontEnd_, app_.get());
    form_ = new app::TMainForm(nullptr, {});
  }
  ~Window() {
    delete form_;
    fw::AttachFrontEnd(nullptr, app_.get());
    app_.reset();
    plat::SetCurrentPlatform(previous_);
  }
  app::TMainForm& form() { return *form_; }

 private:
  sim::Machine machine_;
  ui::RecordingFrontEnd frontEnd_;
  plat::Platform* previous_ = nullptr;
  std::unique_ptr<fw::TApplication> app_;
  app::TMainForm* form_ = nullptr;
};

TEST(MainWindow, outer_size_follows_the_screen_resolution_truncated) {
  struct Row {
    int ppi, width, height;
  };
  for (const Row& r : {Row{72, 444, 131}, Row{96, 593, 175}, Row{120, 741, 218},
                       Row{144, 889, 262}, Row{192, 1186, 350}}) {
    Window w(r.ppi);
    EXPECT_EQ(w.form().Width(), r.width) << r.ppi;
    EXPECT_EQ(w.form().Height(), r.height) << r.ppi;
    EXPECT_FLOAT_EQ(w.form().ScaleFactor(), static_cast<float>(r.ppi / 96.0));
  }
}

TEST(MainWindow, caption_shows_the_file_version_major_and_minor_only) {
  struct Row {
    std::function<void(sim::System&)> setUp;
    const char* caption;
  };
  const Row rows[] = {
      {[](sim::System& s) { s.SetFileVersion(7, 1, 4, 9); },
       "LCD Konfiguration schreiben v7.1 ab Fv7.26"},
      {[](sim::System& s) { s.ClearFileVersion(); }, "LCD Konfiguration schreiben v ab Fv7.26"},
      {[](sim::System& s) { s.SetUnreadableFileVersion(); },
       "LCD Konfiguration schreiben v0.0 ab Fv7.26"},
  };
  for (const Row& row : rows) {
    Window w(96, row.setUp);
    EXPECT_EQ(w.form().Caption(), row.caption);
  }
}

TEST(MainWindow, layout_at_96_pixels_per_inch) {
  Window w(96);
  app::TMainForm& f = w.form();
  EXPECT_EQ(f.ClientWidth(), 577);
  EXPECT_EQ(f.ClientHeight(), 131);
  EXPECT_EQ(f.BorderStyle(), fw::bsSingle);
  EXPECT_EQ(f.BorderIcons(), (fw::TBorderIcons{fw::biSystemMenu, fw::biMinimize}));
  EXPECT_EQ(f.Color(), fw::clBtnFace);
  EXPECT_EQ(f.Font().Name(), "MS Sans Serif");
  EXPECT_EQ(f.Font().PixelSize(), 11);
  struct Row {
    fw::TControl* control;
    int left, top, width, height;
    const char* font;
    int fontPixels;
  };
  const Row rows[] = {
      {f.GroupBox3, 16, 24, 353, 89, "Arial", 16},
      {f.statusLabel, 16, 64, 329, 18, "Arial", 16},
      {f.ProgressBar, 16, 32, 233, 25, "Arial", 16},
      {f.ResetPanel, 264, 32, 73, 25, "Arial", 16},
      {f.GroupBox4, 384, 24, 177, 89, "Arial", 16},
      {f.ComboBox, 16, 24, 137, 26, "Arial", 16},
      {f.SuchenButton, 16, 56, 137, 25, "Arial", 16},
  };
  for (const Row& r : rows) {
    ASSERT_NE(r.control, nullptr);
    EXPECT_EQ(r.control->Left(), r.left) << r.control->Name();
    EXPECT_EQ(r.control->Top(), r.top) << r.control->Name();
    EXPECT_EQ(r.control->Width(), r.width) << r.control->Name();
    EXPECT_EQ(r.control->Height(), r.height) << r.control->Name();
    EXPECT_EQ(r.control->Font().Name(), r.font) << r.control->Name();
    EXPECT_EQ(r.control->Font().PixelSize(), r.fontPixels) << r.control->Name();
  }
  EXPECT_EQ(f.GroupBox3->Caption(), "Status");
  EXPECT_EQ(f.GroupBox4->Caption(), "Port");
  EXPECT_EQ(f.ResetPanel->Caption(), "Reset");
  EXPECT_EQ(f.SuchenButton->Caption(), "suchen");
  EXPECT_EQ(f.statusLabel->Caption(), "");
  EXPECT_EQ(f.statusLabel->Color(), fw::clWhite);
  EXPECT_FALSE(f.statusLabel->AutoSize());
  EXPECT_EQ(f.ResetPanel->Color(), fw::clGreen);
  EXPECT_TRUE(f.ResetPanel->Font().Style().Contains(fw::fsBold));
  EXPECT_EQ(f.ResetPanel->BevelOuter(), fw::bvLowered);
  EXPECT_TRUE(f.ProgressBar->Smooth());
  EXPECT_EQ(f.ProgressBar->Max(), 100);
  EXPECT_EQ(f.ComboBox->Style(), fw::csDropDownList);
  EXPECT_EQ(f.ComboBox->ItemHeight(), 18);
  EXPECT_FALSE(f.ComboBox->TabStop());
  EXPECT_FALSE(f.SuchenButton->TabStop());
  EXPECT_EQ(f.GroupBox3->TabOrder(), 0);
  EXPECT_EQ(f.GroupBox4->TabOrder(), 1);
  EXPECT_EQ(f.ResetPanel->TabOrder(), 1);
}

TEST(MainWindow, non_visual_components_and_their_settings) {
  Window w(96);
  app::TMainForm& f = w.form();
  comport::TComPort& port = *f.ComPort;
  EXPECT_FALSE(port.Active());
  EXPECT_EQ(port.DeviceName(), "COM1");
  EXPECT_EQ(port.BaudRate(), comport::br9600);
  EXPECT_EQ(port.DataBits(), comport::db8);
  EXPECT_EQ(port.Parity(), comport::paNone);
  EXPECT_EQ(port.StopBits(), comport::sb1);
  EXPECT_EQ(port.FlowControl().DTR(), comport::dcDisable);
  EXPECT_EQ(port.FlowControl().RTS(), comport::rcDisable);
  EXPECT_EQ(port.FlowControl().XOnXOff(), comport::xcDisable);
  EXPECT_TRUE(port.Options().Empty());
  EXPECT_EQ(port.BufferSizes().Input(), 64000);
  EXPECT_EQ(port.PriorityClass(), comport::pcRealTime);
  EXPECT_TRUE(port.OnError());
  EXPECT_TRUE(port.OnLineError());
  EXPECT_EQ(f.ResetComSignal->ComPort(), &port);
  EXPECT_EQ(f.ResetComSignal->Signal(), comport::siDSR);
  EXPECT_EQ(f.ResetComSignal->Delay(), 10);
  EXPECT_EQ(f.ResetComSignal->Control(), f.ResetPanel);
  EXPECT_TRUE(f.ResetComSignal->OnSignal());
  EXPECT_EQ(f.ModeComSignal->ComPort(), &port);
  EXPECT_EQ(f.ModeComSignal->Signal(), comport::siCTS);
  EXPECT_EQ(f.ModeComSignal->Control(), nullptr);
  EXPECT_FALSE(f.ModeComSignal->OnSignal());
  for (fw::TTimer* t : {f.Timer2, f.Timer3}) {
    EXPECT_FALSE(t->Enabled());
    EXPECT_EQ(t->Interval(), 1000u);
  }
  // Construction arms the first timer.
  EXPECT_TRUE(f.Timer1->Enabled());
}

TEST(MainWindow, enable_controls_switches_the_four_together) {
  Window w(96);
  app::TMainForm& f = w.form();
  for (bool enable : {false, true}) {
    f.EnableControls(enable);
    EXPECT_EQ(f.ResetPanel->Enabled(), enable);
    EXPECT_EQ(f.ProgressBar->Enabled(), enable);
    EXPECT_EQ(f.SuchenButton->Enabled(), enable);
    EXPECT_EQ(f.ComboBox->Enabled(), enable);
  }
}

}  // namespace
