// The one line of a trace and the sink tests put in place of the system's
// channel, the same on every port.
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "platform.h"

namespace platform {
namespace {

std::function<void(std::string_view)>& TraceSink() {
  static std::function<void(std::string_view)> sink;
  return sink;
}

}  // namespace

void Trace(std::string_view text) {
  const std::string line = TraceLine(text);
  if (TraceSink()) {
    TraceSink()(line);
    return;
  }
  SendToSystemTrace(line);
}

void SetTraceSink(std::function<void(std::string_view)> sink) { TraceSink() = std::move(sink); }

std::string TraceLine(std::string_view text) {
  // A control character (a line feed in a path, say) would end the line in
  // a log and let the rest forge another: it is written as "#" and three
  // octal digits, as rsyslog itself shows it.
  std::string line;
  line.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      line += c;
      continue;
    }
    const char escaped[] = {'#', static_cast<char>('0' + (byte >> 6)),
                            static_cast<char>('0' + ((byte >> 3) & 7)),
                            static_cast<char>('0' + (byte & 7))};
    line.append(escaped, sizeof escaped);
  }
  return line;
}

}  // namespace platform
