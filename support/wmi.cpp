#include "support/wmi.h"

#include "support/com.h"

namespace mv::com {

std::vector<std::pair<std::string, std::string>> QueryBoardRecords() {
  // Callers normally run on a thread with COM initialised; a thread without
  // it gets it for the length of the query.
  HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::vector<std::pair<std::string, std::string>> records;
  {
    AutoObject locator = CreateObject("WbemScripting.SWbemLocator");
    AutoObject services =
        CallMethod(locator, "ConnectServer", {Variant::FromText(""), Variant::FromText("root\\CIMV2")});
    AutoObject set = CallMethod(services, "ExecQuery", {Variant::FromText("Select * From Win32_BaseBoard")});
    long count = ReadNumberProperty(set, "Count");
    Enumerator walk;
    if (count > 0 && walk.Attach(set)) {
      Variant item;
      for (long i = 0; i < count && walk.NextItem(item); ++i) {
        AutoObject props = ReadObjectProperty(ToObject(item), "Properties_");
        std::string product = ReadTextProperty(CallMethod(props, "Item", {Variant::FromText("PRODUCT")}), "Value");
        std::string maker = ReadTextProperty(CallMethod(props, "Item", {Variant::FromText("Manufacturer")}), "Value");
        records.emplace_back(product, maker);
      }
    }
  }  // every object is released here, before COM is left
  if (SUCCEEDED(init)) CoUninitialize();
  return records;
}

}  // namespace mv::com
