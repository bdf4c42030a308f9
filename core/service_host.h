// The web service the program talks to: its host (a build setting) and every
// path and link marker the program relies on. Nothing else in the program
// spells a service address.
#pragma once

#include "platform/platform.h"

namespace mv::service {

// "http://host[:port]" without a trailing slash (build setting MV_SERVICE_HOST).
Text Host();

// Network probe; the body is exactly the four GBK bytes of "正常" while the
// service is usable.
Text NetProbeUrl();
extern const char kNetProbeOk[];

// Catalogue page of system images for the firmware mode.
Text CatalogueUrl(bool gpt);

// The page that names the current PE image, by the command interpreter's bitness.
Text PePageUrl(bool x64);

// Software pages 1 to 5 (other numbers give page 1) and the toolbox page.
Text SoftPageUrl(int n);
Text ToolboxUrl();

// The maker's home page, whose cookies the start-up expires (build setting
// MV_MAKER_HOME_PAGE).
Text MakerHomePage();

// Markers of catalogue links: download address + "?type=" + one of
// "localWIM", "blank", or file name + "&md5=" MD5 "&" + "&os_name=" name "&".
extern const char kLinkType[];
extern const char kLinkLocalWim[];
extern const char kLinkBlank[];
extern const char kLinkMd5[];
extern const char kLinkOsName[];
// Markers of the PE page: link starting with "http", "&filename=", "&md5=",
// each value closed by "&".
extern const char kPeLinkStart[];
extern const char kPeFileName[];
extern const char kPeMd5[];
extern const char kValueEnd[];

}  // namespace mv::service
