#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "xml_platform.h"

namespace xml_platform {
namespace {

bool xmlPlatformUp = false;

}  // namespace

bool Start(std::string* why) {
  try {
    xercesc::XMLPlatformUtils::Initialize(xercesc::XMLUni::fgXercescDefaultLocale,
                                          nullptr, nullptr, nullptr);
    xmlPlatformUp = true;
    return true;
  } catch (const xercesc::XMLException& error) {
    char* text = xercesc::XMLString::transcode(error.getMessage());
    if (why != nullptr) *why = text != nullptr ? text : "unknown reason";
    xercesc::XMLString::release(&text);
  } catch (...) {
    if (why != nullptr) *why = "unknown reason";
  }
  return false;
}

void Stop() {
  if (!xmlPlatformUp) return;
  xercesc::XMLPlatformUtils::Terminate();
  xmlPlatformUp = false;
}

bool IsUp() { return xmlPlatformUp; }

}  // namespace xml_platform
