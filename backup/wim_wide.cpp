// The WIM tool's XML file as program text: its UTF-16LE bytes converted to
// code page 936 through the platform (the wide-XML fuzzer links this file
// with the fake platform's conversions).
#include "backup/wim_info.h"

namespace mv {

Text WideXmlToText(const Bytes& bytes) {
  std::u16string wide;
  wide.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char16_t u = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (u == 0) break;  // the text ends at its first zero character
    wide.push_back(u);
  }
  if (wide.empty()) return Text();
  Text out = plat().WideToAnsi(wide);
  const size_t zero = out.find('\0');
  if (zero != Text::npos) out.resize(zero);
  return out;
}

}  // namespace mv
