#include <system_error>
#include <thread>

#include "platform/thread.h"

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
  if (!state_) throw std::system_error(std::make_error_code(std::errc::invalid_argument));
  state_->thread.join();
  state_.reset();
}

void ModuleThread::detach() {
  if (!state_) throw std::system_error(std::make_error_code(std::errc::invalid_argument));
  state_->thread.detach();
  state_.reset();
}

}  // namespace mox::platform
