#include <windows.h>

#include <system_error>

#include "platform/thread.h"

namespace mox::platform {
namespace {

struct StartData {
  std::function<void()> body;
  HMODULE module = nullptr;  // the reference the thread drops as it ends
};

DWORD WINAPI ThreadStart(LPVOID parameter) {
  HMODULE module = nullptr;
  {
    std::unique_ptr<StartData> data(static_cast<StartData*>(parameter));
    module = data->module;
    try {
      data->body();
    } catch (...) {
      // Nothing may leave a thread body.
    }
  }
  // Drops the thread's reference and ends it without returning into code that may be gone.
  FreeLibraryAndExitThread(module, 0);
}

}  // namespace

struct ModuleThread::State {
  HANDLE handle = nullptr;
};

ModuleThread::ModuleThread(std::function<void()> body) {
  auto data = std::make_unique<StartData>();
  data->body = std::move(body);
  // Without GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT this takes a reference.
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCSTR>(&ThreadStart), &data->module)) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "GetModuleHandleExA");
  }
  const HMODULE module = data->module;
  const HANDLE handle = CreateThread(nullptr, 0, &ThreadStart, data.get(), 0, nullptr);
  if (handle == nullptr) {
    const DWORD error = GetLastError();
    FreeLibrary(module);
    throw std::system_error(static_cast<int>(error), std::system_category(), "CreateThread");
  }
  data.release();  // the thread owns it now
  state_ = std::make_unique<State>(State{handle});
}

ModuleThread::~ModuleThread() = default;
ModuleThread::ModuleThread(ModuleThread&&) noexcept = default;
ModuleThread& ModuleThread::operator=(ModuleThread&&) noexcept = default;

bool ModuleThread::joinable() const noexcept {
  return state_ != nullptr;
}

void ModuleThread::join() {
  if (!state_) throw std::system_error(std::make_error_code(std::errc::invalid_argument));
  WaitForSingleObject(state_->handle, INFINITE);
  CloseHandle(state_->handle);
  state_.reset();
}

void ModuleThread::detach() {
  if (!state_) throw std::system_error(std::make_error_code(std::errc::invalid_argument));
  CloseHandle(state_->handle);
  state_.reset();
}

}  // namespace mox::platform
