#include "link/Platform.h"

Platform& platform() {
    static Platform instance;
    return instance;
}
