// Image information of a WIM/ESD file and the image index window: the user
// picks one of the images (editions) a file holds before it is installed or
// restored. The wimlib tool writes the file's XML metadata; the reader below
// turns it into one row per image (name, description, size).
//
// The window is modal. Callers put the file into Choice().image_path, call
// ShowImageIndexWindow and read Choice().image_path afterwards: empty means
// the user cancelled; otherwise Choice().image_index holds the chosen image
// (1 for the first).
#pragma once

#include <functional>
#include <vector>

#include "platform/platform.h"
#include "ui/model.h"

namespace mv {

namespace names {
// The image index window's components (in IndexWindowModel()).
constexpr char kIndexWindow[] = "窗口_镜像索引";     // visible while the window is open
constexpr char kIndexList[] = "超级列表框_镜像索引";  // rows: "", name, description, size; value: selected row, -1 none
constexpr char kIndexOk[] = "图形按钮_索引确定";
constexpr char kIndexCancel[] = "图形按钮_索引取消";
}  // namespace names

// The texts the window shows.
constexpr char kIndexWindowTitle[] = "选择要安装的映像";
constexpr char kInvalidImageMessage[] = "加密或无效的镜像文件。";
// On Windows XP and 2003, where the WIM tool cannot run.
constexpr char kOldWindowsImageMessage[] = "此 Windows 版本无法读取镜像信息，读取镜像信息需要 Windows Vista 或更高版本。";
constexpr char kSelectIndexMessage[] = "请选择要安装索引！";

// Every value between start_tag and the next end_tag after it, blanks
// trimmed, empty values skipped, into `out` (emptied first). Returns the
// number of values. `each_pass` runs on every pass (the window thread keeps
// its window alive through it while a large text is scanned).
int ExtractBetween(const Text& text, const Text& start_tag, const Text& end_tag, std::vector<Text>& out,
                   bool case_sensitive, const std::function<void()>& each_pass = {});

// The tool's XML file (UTF-16LE) as program text: converted to code page 936
// and cut at the first zero character. An odd last byte is ignored.
Text WideXmlToText(const Bytes& bytes);

// A TOTALBYTES value as gibibytes with two decimals and " GB" ("15.27 GB",
// "4.00 GB"), rounded half up. A value that is not a decimal number counts
// as 0.
Text GibibyteText(const Text& total_bytes);

// One row of the image list (row k stands for image index k + 1).
struct WimImageRow {
  Text name;
  Text description;
  Text size;  // GibibyteText of the image's TOTALBYTES
};

// Reads the per-image values of the XML: each <IMAGE> element gives one row
// with its own NAME and size. When every image has NAME, DISPLAYNAME and
// DISPLAYDESCRIPTION the description is the DISPLAYDESCRIPTION, else the
// DESCRIPTION; a value an image lacks reads "Unknown". False (and no rows)
// when the XML holds no TOTALBYTES value at all: the tool failed, or the
// file is not a WIM/ESD or is encrypted. Tags are matched with their case.
bool ReadWimImages(const Text& xml, std::vector<WimImageRow>& rows, const std::function<void()>& each_pass = {});

// The tool's folder + "\Wimlib.xml" (the tool path is WimlibPath()).
Text WimlibXmlPath();

// Runs the tool (rewritten first when it differs from the one the program
// carries, and started directly, without a command interpreter) on
// Choice().image_path and fills the image list of IndexWindowModel(); on
// failure shows kInvalidImageMessage (owned by `window`) and leaves the list
// empty. On Windows XP and 2003, where the tool cannot run, it shows
// kOldWindowsImageMessage instead. Returns whether rows were read.
bool FillImageList(WindowRef window);

// The image index window's model (one per process, like the main window's).
ui::WindowModel& IndexWindowModel();

// Shows the window modally and returns when it has closed. The Win32 view
// sets the runner (ui/win32/index_window.h); tests set their own. The runner
// creates the window, calls OnImageIndexWindowCreated with it, and keeps it
// until the model's kIndexWindow component turns invisible.
using IndexWindowRunner = std::function<void(WindowRef owner)>;
void SetIndexWindowRunner(IndexWindowRunner runner);
// Attaches the drop shadow to the window (set by the window view; unset: no shadow).
void SetIndexWindowShadow(std::function<void(WindowRef window)> attach);

// The window's created handler: the shadow, then the image list.
void OnImageIndexWindowCreated(WindowRef window);

// Opens the window for Choice().image_path. True when the user chose an
// image (Choice().image_index set), false when the window was cancelled or
// closed (Choice().image_path emptied, the index left as it was).
bool ShowImageIndexWindow(WindowRef owner);

}  // namespace mv
