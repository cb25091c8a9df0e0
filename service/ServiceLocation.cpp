#include "link/DeviceIds.h"
#include "link/RuntimePaths.h"
#include "service/ServiceClient.h"

#include <cstdlib>

// The unit a client means and where its service would listen: the same on
// every platform, whether or not a service can run there.
namespace service {

bool wantedDeviceId(const std::string& wanted, std::string* id, std::string* complaint,
                    bool* several) {
    *several = false;
    *id = wanted;
    if (const char* env = std::getenv("KORVANTA_DEVICE"); id->empty() && env)
        *id = env;
    if (!id->empty())
        return true;
    DeviceEntry picked{};
    if (!pickDevice({}, &picked, complaint, several))
        return false;
    *id = picked.id;
    return true;
}

bool serviceSocketPath(const std::string& deviceId, std::string* path, std::string* complaint) {
    return socketPathFor(deviceId, path, complaint);
}

} // namespace service
