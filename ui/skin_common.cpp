#include "ui/skin.h"

namespace mv::ui {

bool SameSkinImage(const std::string& a, const std::string& b) {
  const std::string x = SkinImageBytes(a);
  if (x.empty()) return false;
  return x == SkinImageBytes(b);
}

}  // namespace mv::ui
