// The database parameter block sent with an attach.
#pragma once

#include <string>
#include <string_view>

namespace mox {

// Version byte 1, then user name (28), password (29) and connection character set (48) in this
// order, each as code, one length byte and the value's bytes; an empty value is left out.
// Throws DatabaseError naming the entry (never its value) when a value is longer than 255 bytes.
std::string BuildDpb(std::string_view user_name, std::string_view password,
                     std::string_view lc_ctype);

}  // namespace mox
