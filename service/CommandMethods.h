#pragma once

#include "service/Methods.h"

#include <string>
#include <vector>

// The service's methods: the operations korvanta's subcommands run, driven
// from a params object, on the device this process already has open (never found, opened or closed
// here). Each answers the document `korvanta --json` prints for the same
// command, and what korvanta would say on stderr. No method reads or writes a
// file: EDIDs and backups travel as hex and documents.
namespace service {

MethodHandler makeMethodHandler();
MethodList makeMethodList();
// The names makeMethodList gives, in the order documented.
std::vector<std::string> methodNames();

} // namespace service
