// Starting and stopping Xerces-C, the same on every system: the program
// starts it first and stops it last; the tests, fuzzers and benchmarks that
// write documents start it the same way.
#ifndef QAMCVS_STANDINS_FORMATTER_EXPORTED_XML_PLATFORM_H_
#define QAMCVS_STANDINS_FORMATTER_EXPORTED_XML_PLATFORM_H_

#include <string>

namespace xml_platform {

/// Starts Xerces-C with the default locale and no NLS home, panic handler or
/// memory manager. Returns false, with a reason in *why, when it cannot be
/// started.
bool Start(std::string* why);
/// Stops Xerces-C if it was started.
void Stop();
/// True between a successful Start and Stop.
bool IsUp();

}  // namespace xml_platform

#endif  // QAMCVS_STANDINS_FORMATTER_EXPORTED_XML_PLATFORM_H_
