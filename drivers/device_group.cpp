#include "device_group.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <vector>

namespace port_driver {

std::string access_group(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  if ((info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP) || info.st_gid == 0) return {};
  std::vector<char> buffer(4096);
  group entry{};
  group* found = nullptr;
  while (getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
         buffer.size() < (1u << 20))
    buffer.resize(buffer.size() * 2);
  return found != nullptr ? found->gr_name : std::to_string(info.st_gid);
}

}  // namespace port_driver
