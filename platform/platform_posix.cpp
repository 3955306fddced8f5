// The Linux port of the platform layer.
#include <syslog.h>

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "platform.h"

namespace platform {
namespace {

std::function<void(std::string_view)>& TraceSink() {
  static std::function<void(std::string_view)> sink;
  return sink;
}

bool xmlPlatformUp = false;

}  // namespace

void Trace(std::string_view text) {
  if (TraceSink()) {
    TraceSink()(text);
    return;
  }
  // The text is data, never the format.
  std::string line(text);
  syslog(LOG_USER | LOG_DEBUG, "%s", line.c_str());
}

void SetTraceSink(std::function<void(std::string_view)> sink) {
  TraceSink() = std::move(sink);
}

int LastSystemError() { return errno; }

std::string SystemErrorText(const std::string& context, int error) {
  return context + ": " + std::strerror(error);
}

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

void FlushAllStreams() {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
}

}  // namespace platform
