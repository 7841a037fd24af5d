#include "platform/adopted_threads.h"

namespace plat {

AdoptedThreads::~AdoptedThreads() {
  JoinAll(std::chrono::milliseconds(0));
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& [id, thread] : threads_) thread.detach();
}

std::vector<std::thread> AdoptedThreads::TakeEnded() {
  std::vector<std::thread> ended;
  for (auto it = threads_.begin(); it != threads_.end();) {
    if (ended_.erase(it->first) != 0) {
      ended.push_back(std::move(it->second));
      it = threads_.erase(it);
    } else {
      ++it;
    }
  }
  return ended;
}

void AdoptedThreads::Adopt(std::thread thread) {
  std::vector<std::thread> ended;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::thread::id id = thread.get_id();
    threads_.emplace(id, std::move(thread));
    ended = TakeEnded();
  }
  // An ended thread has nothing left to do but leave: each join returns at once.
  for (std::thread& t : ended) t.join();
}

void AdoptedThreads::Ended() {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::thread::id id = std::this_thread::get_id();
  if (threads_.count(id) == 0) return;
  ended_.insert(id);
  changed_.notify_all();
}

bool AdoptedThreads::JoinAll(std::chrono::milliseconds limit) {
  std::vector<std::thread> ended;
  bool none = false;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto allEnded = [this] { return ended_.size() == threads_.size(); };
    if (limit == std::chrono::milliseconds::max()) {
      changed_.wait(lock, allEnded);
    } else {
      changed_.wait_for(lock, limit, allEnded);
    }
    ended = TakeEnded();
    none = threads_.empty();
  }
  for (std::thread& t : ended) t.join();
  return none;
}

std::size_t AdoptedThreads::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return threads_.size();
}

}  // namespace plat
