#include "core/service_host.h"

#include <string>

#ifndef MV_SERVICE_HOST
#error "MV_SERVICE_HOST must be set by the build"
#endif
#ifndef MV_MAKER_HOME_PAGE
#error "MV_MAKER_HOME_PAGE must be set by the build"
#endif

namespace mv::service {

const char kNetProbeOk[] = "正常";
const char kLinkType[] = "?type=";
const char kLinkLocalWim[] = "localWIM";
const char kLinkBlank[] = "blank";
const char kLinkMd5[] = "&md5=";
const char kLinkOsName[] = "&os_name=";
const char kPeLinkStart[] = "http";
const char kPeFileName[] = "&filename=";
const char kPeMd5[] = "&md5=";
const char kValueEnd[] = "&";

Text Host() {
  Text h = MV_SERVICE_HOST;
  while (!h.empty() && h.back() == '/') h.pop_back();
  return h;
}

Text NetProbeUrl() { return Host() + "/net_available/available.txt"; }

Text CatalogueUrl(bool gpt) { return Host() + (gpt ? "/sys_img/gpt.html" : "/sys_img/mbr.html"); }

Text PePageUrl(bool x64) { return Host() + (x64 ? "/pe_wim/win10x64.html" : "/pe_wim/win10x86.html"); }

Text SoftPageUrl(int n) {
  if (n < 1 || n > 5) n = 1;
  return Host() + "/soft/" + std::to_string(n) + ".html";
}

Text ToolboxUrl() { return Host() + "/petoolbox/petoolbox.html"; }

Text MakerHomePage() { return MV_MAKER_HOME_PAGE; }

}  // namespace mv::service
