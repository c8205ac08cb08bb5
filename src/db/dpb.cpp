#include "db/dpb.h"

#include <ibase.h>

#include "db/database_error.h"

namespace mox {
namespace {

void AppendItem(std::string& dpb, char code, std::string_view name, std::string_view value) {
  if (value.empty()) return;
  if (value.size() > 255) {
    throw DatabaseError("The connection parameter " + std::string(name) +
                        " is longer than 255 bytes");
  }
  dpb += code;
  dpb += static_cast<char>(value.size());
  dpb += value;
}

}  // namespace

std::string BuildDpb(std::string_view user_name, std::string_view password,
                     std::string_view lc_ctype) {
  std::string dpb(1, static_cast<char>(isc_dpb_version1));
  AppendItem(dpb, isc_dpb_user_name, "User_Name", user_name);
  AppendItem(dpb, isc_dpb_password, "Password", password);
  AppendItem(dpb, isc_dpb_lc_ctype, "lc_ctype", lc_ctype);
  return dpb;
}

}  // namespace mox
