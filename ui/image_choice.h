// The choice of a system image on the wizard's system step: a click on a
// catalogue link (its address carries the choice after "?type="), a local
// image file picked in the open-file dialog, or an outside page opened in
// the user's browser. The recorded choice (core/state.h Choice()) is what the
// download and the PE task file work from.
#pragma once

#include <functional>

#include "platform/platform.h"

namespace mv {

// The catalogue browser's navigation handler: records the choice and returns
// whether the browser may follow the address (only for addresses without
// "?type=").
bool OnCatalogueNavigate(const Text& url);

// The local image the "?type=localWIM" link asks for: the open-file dialog,
// then for a WIM/ESD image the image index window; recorded as the choice.
// False when nothing was chosen (cancelled, or a name the work directory
// cannot take).
bool ChooseLocalImage();

// True when a file name from a link or a page may be saved in the work
// directory as it is: not empty, one name (no "\", "/", ":"), no ".." and no
// "." or ".." alone, none of the characters Windows refuses (<>"|?* and
// control characters), no trailing dot or blank, not a device name (CON,
// NUL, COM1, ...). Double-byte GBK characters are taken whole, so a trail
// byte that looks like "\" or "|" is part of its character.
bool SafeWorkFileName(const Text& name);

// The image index window for a local WIM/ESD image: reads Choice().image_path,
// sets Choice().image_index and empties image_path when the user cancels.
// Returns false on cancel. Set by the window that shows it; without one the
// image is taken with index 1.
using ImageIndexWindow = std::function<bool(WindowRef owner)>;
void SetImageIndexWindow(ImageIndexWindow window);

// "所选系统的文件名无效，无法保存到工作目录，请重新选择！"
extern const char kUnsafeFileNameMessage[];

}  // namespace mv
