// ftpFeat: what the server says it can do (FEAT, RFC 2389), asked once per
// control connection and kept by Dlg. Each line of a 211 reply between its
// first and last line names one feature, its parameters after the name.
// A server that does not know FEAT (500, 502) has no features: everything
// then works as with a server of RFC 959 alone.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ftp {

struct Feature {
  std::string name;    // upper case: "MLST", "AUTH", "REST", "UTF8"
  std::string params;  // as sent: "type*;size*;modify*;", "TLS", "STREAM"
};

struct Features {
  bool asked = false;  // FEAT went out on this connection
  std::vector<Feature> list;
  // Whether the server lists the feature (case does not matter).
  [[nodiscard]] bool has(std::string_view name) const;
  // Whether one of its lines for name holds param among its parameters
  // (separated by blanks, ";" or ","), e.g. hasParam("AUTH", "TLS").
  [[nodiscard]] bool hasParam(std::string_view name, std::string_view param) const;
  bool operator==(const Features&) const = default;
};

// The features of a FEAT reply, given all its lines; none unless it is 211.
[[nodiscard]] Features ParseFeatures(const std::vector<std::string>& replyLines);

}  // namespace ftp
