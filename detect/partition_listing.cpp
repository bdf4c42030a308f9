#include "detect/partition_listing.h"

#include "core/payload.h"
#include "core/text.h"

namespace mv {
namespace {

Text g_partition_number;
Text g_disk_style;

Text Between(const Text& t, const Text& left, const Text& right) { return TextBetween(t, left, right, 1, false); }

char UpperFirst(const Text& t) {
  if (t.empty()) return 0;
  char c = t[0];
  return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

}  // namespace

const Text& SystemPartitionNumber() { return g_partition_number; }
const Text& SystemDiskStyle() { return g_disk_style; }
void SetSystemPartitionValues(const Text& number, const Text& style) {
  g_partition_number = number;
  g_disk_style = style;
}

bool ParsePartitionListing(const Text& output, const Text& system_drive, Text& number, Text& style) {
  // Fields become "|"-separated and lose their blanks, so that an unmounted
  // partition's drive field (two blanks) is empty.
  Text flat;
  for (char c : output) {
    if (c == '\t')
      flat += '|';
    else if (c != ' ')
      flat += c;
  }
  const char drive = UpperFirst(system_drive);
  if (drive == 0) return false;
  // Each field is found by searching for the text of the fields before it.
  for (const Text& line : SplitText(flat, "\r\n")) {
    // A volume of a dynamic disk is listed without a partition number (its
    // first field is blank): it names no partition the PE could find.
    if (line.empty() || line[0] == '|') continue;
    Text d = Between(line, "|", "|");
    Text first = line.substr(0, 1);
    Text f1 = first + Between(line, first, "|");
    Text size = d.empty() ? Between(line, "||", "|") : Between(line, d + "|", "|");
    Text free = Between(line, "GB|", "|");
    Text f5 = Between(line, size + "|" + free + "|", "|");
    Text f6 = Between(line, f5 + "|", "|");
    Text f7 = Between(line, f5 + "|" + f6 + "|", "|");
    Text f8 = f7.empty() ? Between(line, f6 + "||", "|") : Between(line, f6 + "|" + f7 + "|", "|");
    if (UpperFirst(d) == drive) {
      number = f1;
      style = f8;
      return true;
    }
  }
  return false;
}

Text RunPartitionTool(bool write_tool) {
  const PayloadEntry* tool = FindPayloadEntry(kPayloadQzDir);
  if (!tool) return Text();
  Text path = PayloadTargetPath(*tool);
  if (path.empty()) return Text();  // no work directory yet: nothing to run
  if (write_tool)
    WritePayloadFile(kPayloadQzDir);
  else if (!PayloadFileInPlace(kPayloadQzDir))
    return Text();
  return plat().RunProgram(path, {"-tavrin"});  // started directly, no command interpreter
}

void TakePartitionListing(const Text& output) {
  Text number, style;
  if (ParsePartitionListing(output, SystemDrive(), number, style)) SetSystemPartitionValues(number, style);
}

void ListPartitions() { TakePartitionListing(RunPartitionTool()); }

}  // namespace mv
