#include "QamCVSCheckOut.h"

#include <cstring>
#include <string>
#include <string_view>

#include "QamUtil.h"
#include "utf8_text.h"

namespace {

// rlog and cvs log print the lock list of a strictly locked file between
// these two header lines, one "\tuser: revision" line per lock.
constexpr const char* kLocksMarker = "locks: strict";
constexpr const char* kAccessListMarker = "access list:";
constexpr const char* kNameEnd = ":";

// Bytes dropped from the user name wherever they stand. They are all ASCII,
// so dropping them never splits a multi-byte character.
bool IsDroppedByte(char byte) {
  return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n';
}

}  // namespace

QamCVSCheckOut::QamCVSCheckOut(QamInputParams& params) : QamCheckedOut(params) {}

void QamCVSCheckOut::ProceesOutPut() {
  const std::string_view text = outputText.utf8();
  // Both markers are searched from the start: the header comes first, so
  // their first occurrences are the header's own lines.
  const std::size_t locksAt = text.find(kLocksMarker);
  const std::size_t accessListAt = text.find(kAccessListMarker);
  if (locksAt == std::string_view::npos || accessListAt == std::string_view::npos) return;

  // Skip the marker and the one character after it (the line end, or the
  // carriage return of a CR LF pair; the line feed is filtered out below).
  std::size_t start = locksAt + std::strlen(kLocksMarker);
  if (start >= text.size()) return;
  start += Utf8SequenceLength(text[start]);
  // "access list:" before the end of the skipped marker: the two lines do
  // not frame a lock list (a non-strict header followed by a later "locks:
  // strict", or the markers out of order).
  if (start >= text.size() || accessListAt < start) return;

  // Only the first lock's user is reported: everything from its colon on
  // (its revision and any further lock lines) goes.
  const std::string_view region = text.substr(start, accessListAt - start);
  const std::size_t colonAt = region.find(kNameEnd);
  if (colonAt == std::string_view::npos) return;

  // The name is taken whole, however long, and filtered byte by byte.
  std::string filtered;
  for (const char byte : region.substr(0, colonAt)) {
    if (!IsDroppedByte(byte)) filtered += byte;
  }
  checkedOutBy = I18NString::FromUtf8(filtered);
  QamSystemUtils::TrimLeft(checkedOutBy);
  QamSystemUtils::TrimRight(checkedOutBy);
  isCheckedOut = !checkedOutBy.empty();
}
