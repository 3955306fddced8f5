// The one line of a trace, the same on every port.
#include <string>
#include <string_view>

#include "platform.h"

namespace platform {

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
