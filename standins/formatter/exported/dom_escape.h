// Escaping of markup characters onto the end of a buffer: a caller that
// escapes many texts can put them all in one buffer.
#ifndef QAMCVS_STANDINS_FORMATTER_EXPORTED_DOM_ESCAPE_H_
#define QAMCVS_STANDINS_FORMATTER_EXPORTED_DOM_ESCAPE_H_

#include <cstddef>
#include <string>
#include <string_view>

/// The size of text once &, <, >, " and ' are replaced by entity
/// references: text's own size when it holds none of them.
std::size_t EscapedDomSize(std::string_view text);

/// Appends text to *out escaped as QamFormatterUtility::EscapeDOMChars
/// escapes it (EscapedDomSize(text) bytes) and returns true; appends
/// nothing and returns false when text holds no markup character.
bool AppendEscapedDom(std::string_view text, std::string* out);

#endif  // QAMCVS_STANDINS_FORMATTER_EXPORTED_DOM_ESCAPE_H_
