// ftpDir: what the directory replies of FTP mean: the path of a 257 reply
// and a change of directory that succeeded.
#pragma once

#include <string>
#include <string_view>

namespace ftp {

// The path of a 257 reply: after the first double quote, up to the one
// that closes it; a quote inside the name is written twice (RFC 959
// appendix II) and is one quote of the path.
[[nodiscard]] std::string QuotedPath(std::string_view line);
[[nodiscard]] bool ChangeSucceeded(int code);

}  // namespace ftp
