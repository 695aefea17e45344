// What the transport finds: keyboards on each collection and, where the
// platform can tell, each keyboard with its collections' nodes.
#include "device/transport.h"
#include "tools/korvalinctl/json.h"
#include "tools/korvalinctl/session.h"

namespace kvctl {

int cmdDevices(Session& s) {
  if (int r = s.expectOptions({})) return r;
  if (int r = s.expectArguments(1, 0)) return r;
  if (int r = s.connect(false)) return r;
  if (s.deviceCount == 0) return s.fail(kExitNoKeyboard, "no keyboard attached");

  const kv::TransportApi& api = kv::Transport();
  auto count = [&](const kv::DeviceMatch& match) {
    int n = api.RequestGetDeviceCount ? api.RequestGetDeviceCount(&match, nullptr, 0, 0, nullptr) : 0;
    return n > 0 ? n : 0;
  };
  Json collections = Json::object();
  collections.set("command", count(kv::kCommandChannel))
      .set("consumer", count(kv::kConsumerChannel))
      .set("led", count(kv::kLedChannel));
  Json j = Json::object();
  j.set("keyboards", s.deviceCount).set("collections", std::move(collections));
  if (s.sim) {
    j.set("simulated", s.simArg);
  } else if (s.platform().listDevices) {
    Json found = Json::array();
    for (const DeviceListing& d : s.platform().listDevices()) {
      Json nodes = Json::array();
      for (const DeviceListing::Collection& c : d.collections) {
        Json n = Json::object();
        n.set("usage_page", hexCode(c.usagePage, 4)).set("usage", hexCode(c.usage, 4)).set("path", c.path);
        nodes.push(std::move(n));
      }
      Json k = Json::object();
      k.set("device", d.device).set("in_use", d.inUse).set("collections", std::move(nodes));
      found.push(std::move(k));
    }
    j.set("found", std::move(found));
  }
  s.out << j.dump() << '\n';
  return kExitOk;
}

}  // namespace kvctl
