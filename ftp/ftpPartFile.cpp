// ftpPartFile: the .part a receive writes, and its mark.
#include "ftp/ftpPartFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <string_view>

namespace ftp {

int CreatePartial(const std::string& target, const std::string& name, unsigned creationMask) {
  (void)::unlink(name.c_str());
  struct stat st {};
  mode_t mode = 0666 & ~static_cast<mode_t>(creationMask);
  if (::lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0) (void)::fchmod(fd, mode);
  return fd;
}

int ReopenPartial(const std::string& name, int64_t offset) {
  const int fd = ::open(name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::ftruncate(fd, offset) != 0 ||
      ::lseek(fd, offset, SEEK_SET) != offset) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int64_t RegularSize(const std::string& name) {
  struct stat st {};
  if (::lstat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<int64_t>(st.st_size);
}

PartMark ReadPartMark(const std::string& partial) {
  PartMark mark;
  char text[64] = {};
  ssize_t n = ::getxattr(partial.c_str(), kPartSizeAttribute, text, sizeof text - 1);
  if (n > 0) mark.size = MarkedSize(std::string_view(text, static_cast<size_t>(n)));
  n = ::getxattr(partial.c_str(), kPartTimeAttribute, text, sizeof text - 1);
  if (n > 0) mark.modified.assign(text, static_cast<size_t>(n));
  return mark;
}

void WritePartMark(int fd, const RemoteFacts& server) {
  const std::string size = server.size ? std::to_string(*server.size) : std::string();
  if (size.empty())
    (void)::fremovexattr(fd, kPartSizeAttribute);
  else
    (void)::fsetxattr(fd, kPartSizeAttribute, size.data(), size.size(), 0);
  if (server.modified.empty())
    (void)::fremovexattr(fd, kPartTimeAttribute);
  else
    (void)::fsetxattr(fd, kPartTimeAttribute, server.modified.data(), server.modified.size(), 0);
}

void ClearPartMark(int fd) {
  (void)::fremovexattr(fd, kPartSizeAttribute);
  (void)::fremovexattr(fd, kPartTimeAttribute);
}

}  // namespace ftp
