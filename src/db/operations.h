// The steps on the settings database's connection: opening it on demand, closing it, and the six
// operations, one stored procedure each. Each operation connects on demand, runs its procedure in
// a transaction of its own and returns 0 on success or -1 on any failure; every outcome is logged
// through WriteProtocol. None throws. The caller holds the connection's lock.
#pragma once

#include <cstdint>
#include <string>

#include "db/database_access.h"
#include "db/request_list.h"

namespace mox {

class Connection;

// 0 when the connection is usable (probing a kept connection, connecting anew otherwise), -1 when
// connecting failed (already logged).
int32_t OpenConnection(Connection& connection) noexcept;
// Commits an open transaction and detaches, logging the outcome.
void CloseConnection(Connection& connection) noexcept;

// Out-values are written only when a first row with a non-NULL first column was read.
int32_t GetDataById(Connection& connection, const std::string& id, int16_t& value,
                    std::string& text) noexcept;
int32_t GetModifiedStateById(Connection& connection, const std::string& id,
                             int32_t& state) noexcept;
int32_t SetModifiedStateById(Connection& connection, const std::string& id, uint8_t state,
                             int32_t& value) noexcept;

// Read their inputs from `list` and write the first row's columns back into it by name.
BlockingResult BlockingsGetData(Connection& connection, RequestList list) noexcept;
BlockingResult BlockingsSetPwd(Connection& connection, RequestList list) noexcept;
BlockingResult BlockingsSetLink(Connection& connection, RequestList list) noexcept;

}  // namespace mox
