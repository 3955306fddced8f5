// Starting and stopping Xerces-C: the same on every port.
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "platform.h"

namespace platform {
namespace {

bool xmlPlatformUp = false;

}  // namespace

bool StartXmlPlatform(std::string* why) {
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

void StopXmlPlatform() {
  if (!xmlPlatformUp) return;
  xercesc::XMLPlatformUtils::Terminate();
  xmlPlatformUp = false;
}

bool XmlPlatformIsUp() { return xmlPlatformUp; }

}  // namespace platform
