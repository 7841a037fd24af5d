#include <mutex>

#include "app/line/linerun.h"

namespace app::line {

struct LineStop::State {
  std::mutex mutex;
  LineView* view = nullptr;  // while a line runs
  int count = 0;
  int status = 0;
};

LineStop::LineStop() : state_(std::make_shared<State>()) {}

LineStop& LineStop::Instance() {
  static LineStop stop;
  return stop;
}

bool LineStop::Request(int status) {
  std::lock_guard lock(state_->mutex);
  if (state_->view == nullptr) return false;
  ++state_->count;
  state_->status = status;
  state_->view->Wake();
  return true;
}

void LineStop::Begin(LineView& view) {
  std::lock_guard lock(state_->mutex);
  state_->view = &view;
  state_->count = 0;
  state_->status = 0;
}

void LineStop::End() {
  std::lock_guard lock(state_->mutex);
  state_->view = nullptr;
}

int LineStop::Count() const {
  std::lock_guard lock(state_->mutex);
  return state_->count;
}

int LineStop::LastStatus() const {
  std::lock_guard lock(state_->mutex);
  return state_->status;
}

}  // namespace app::line
