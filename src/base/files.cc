#include "base/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kry {

int createNew(const std::string& name) {
  struct stat st {};
  if (::lstat(name.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      errno = S_ISDIR(st.st_mode) ? EISDIR : ELOOP;
      return -1;
    }
    ::unlink(name.c_str());
  }
  // O_EXCL with O_CREAT makes the file or fails, and never follows a link of the name.
  return ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
}

}  // namespace kry
