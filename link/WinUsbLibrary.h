#pragma once

#include "link/UsbLibrary.h"

#include <memory>
#include <string>

// Windows only: the device's vendor library, loaded at run time and reached by
// ordinal. Null when the library or one of its entries is missing; `error`
// then says which.
std::unique_ptr<UsbLibrary> loadVendorUsbLibrary(std::string* error);
