#include "ui/recording/recording_frontend.h"

namespace ui {

namespace {
class NullPeer : public fw::ControlPeer {
 public:
  void Changed(fw::TPeerChange) override {}
  void Repaint() override {}
};
}  // namespace

std::unique_ptr<fw::ControlPeer> RecordingFrontEnd::CreatePeer(fw::TControl&) {
  return std::make_unique<NullPeer>();
}

void RecordingFrontEnd::MessageDialog(fw::TMsgDlgType type, const std::string& caption,
                                      const std::string& text) {
  DetailedMessageDialog(type, caption, text, "");
}

void RecordingFrontEnd::DetailedMessageDialog(fw::TMsgDlgType type, const std::string& caption,
                                              const std::string& text, const std::string& detail) {
  dialogs.push_back({type, caption, text, detail});
  if (onDialog) onDialog(dialogs.back());
}

}  // namespace ui
