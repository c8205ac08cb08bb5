#include <thread>

#include "platform/module_thread.h"

namespace mox::platform {

struct ModuleThread::State {
  std::thread thread;
};

ModuleThread::ModuleThread(std::function<void()> body)
    : state_(std::make_unique<State>(State{std::thread(std::move(body))})) {}

ModuleThread::~ModuleThread() = default;
ModuleThread::ModuleThread(ModuleThread&&) noexcept = default;
ModuleThread& ModuleThread::operator=(ModuleThread&&) noexcept = default;

bool ModuleThread::joinable() const noexcept {
  return state_ && state_->thread.joinable();
}

void ModuleThread::join() {
  state_->thread.join();
  state_.reset();
}

void ModuleThread::detach() {
  state_->thread.detach();
  state_.reset();
}

}  // namespace mox::platform
