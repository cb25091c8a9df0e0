#include "window/StatusRelay.h"

StatusRelay& statusRelay() {
    static StatusRelay relay;
    return relay;
}
