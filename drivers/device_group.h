// Which group a user must join to open a device node: the drivers name it when the
// system refuses them.
#pragma once

#include <string>

namespace port_driver {

// The group whose members may read and write the file; empty when there is none
// worth joining (no group permission, or the group is root's).
std::string access_group(const std::string& path);

}  // namespace port_driver
