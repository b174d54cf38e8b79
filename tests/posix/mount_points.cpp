#include "mount_points.h"

#include <fstream>
#include <sstream>

bool IsMounted(const std::string& path) {
  std::ifstream table("/proc/self/mountinfo");
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string id, parent, device, root, point;
    fields >> id >> parent >> device >> root >> point;
    if (point == path) return true;
  }
  return false;
}
