// ftpPartFile: the local side of a receive, whichever protocol brings the
// bytes. A receive writes into "<target>.part", a new file created
// exclusively (never through a symbolic link), marked with the server's
// size and time of the file it is begun from (extended attributes, see
// ftpPlan), so that a later receive may go on from its end while the
// server's file is still that one. The file takes the target's place only
// once the transfer is judged complete, and then loses its mark.
#pragma once

#include <cstdint>
#include <string>

#include "ftp/ftpPlan.h"

namespace ftp {

// The .part of target, new and created exclusively (an old one, or a
// symbolic link of that name, is removed first), with target's
// permissions when target is a regular file, else those of a new file
// under creationMask. -1 (errno set) when it cannot be made.
[[nodiscard]] int CreatePartial(const std::string& target, const std::string& name,
                                unsigned creationMask);
// An existing .part to go on writing, cut to offset and positioned there;
// -1 when it is not a regular file.
[[nodiscard]] int ReopenPartial(const std::string& name, int64_t offset);
// The size of a regular file that is not a link; 0 otherwise.
[[nodiscard]] int64_t RegularSize(const std::string& name);
// The mark of a .part (empty where it has none).
[[nodiscard]] PartMark ReadPartMark(const std::string& partial);
// Marks an open .part with what the server told of the whole file; what
// it did not tell is left unmarked.
void WritePartMark(int fd, const RemoteFacts& server);
// A complete file keeps no mark.
void ClearPartMark(int fd);

}  // namespace ftp
