// The six database operations, one stored procedure each. Every one takes gDBLock, connects on
// demand, runs its procedure in a transaction of its own and returns 0 on success or -1 on any
// failure (logged through WriteProtocol). None throws.
#pragma once

#include <cstdint>
#include <string>

#include "worker/request_list.h"

namespace mox {

// Out-values are written only when a first row with a non-NULL first column was read.
int32_t DBGetDataByID(const std::string& ID, int16_t& Value, std::string& Text) noexcept;
int32_t DBGetModifiedStateByID(const std::string& ID, int32_t& State) noexcept;
int32_t DBSetModifiedStateByID(const std::string& ID, uint8_t State, int32_t& Value) noexcept;

// Read their inputs from `list` and write the first row's columns back into it by name.
int32_t DBBlockings_GetData(RequestList& list) noexcept;
int32_t DBBlockings_SetPwd(RequestList& list) noexcept;
int32_t DBBlockings_SetLink(RequestList& list) noexcept;

}  // namespace mox
