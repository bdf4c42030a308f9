// The skin: the PNG images of buttons, step pictures, banners and the
// restart sets that the program carries (resources in the Windows builds,
// linked-in bytes natively), addressed by the names the model holds.
#pragma once

#include <string>
#include <vector>

namespace mv::ui {

// The image's PNG bytes; empty when the program carries no such image.
std::string SkinImageBytes(const std::string& name);
// Every image name carried.
std::vector<std::string> SkinImageNames();

// Whether two images are the same picture, compared byte for byte (an
// image that is not carried matches nothing, not even itself).
bool SameSkinImage(const std::string& a, const std::string& b);

}  // namespace mv::ui
