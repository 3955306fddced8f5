#include "QamCVSCheckOut.h"

#include <string>

#include "QamUtil.h"

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
  const I18NString text = outputText;
  const I18NString locksMarker(kLocksMarker);
  const I18NString accessListMarker(kAccessListMarker);

  // Both markers are searched from the start: the header comes first, so
  // their first occurrences are the header's own lines.
  const int locksAt = text.find(locksMarker, 0);
  const int accessListAt = text.find(accessListMarker, 0);

  // Skip the marker and the one character after it (the line end, or the
  // carriage return of a CR LF pair; the line feed is filtered out below).
  int start = locksAt;
  for (int step = 0; step <= locksMarker.length() && start != -1; ++step) {
    start = text.incrementOffset(start);
  }
  if (start == -1 || accessListAt == -1) return;

  // "access list:" before the end of the skipped marker: the two lines do
  // not frame a lock list (a non-strict header followed by a later "locks:
  // strict", or the markers out of order). substr would take a count of -1
  // as "to the end", so this must be refused before the cut.
  if (accessListAt < start) return;

  I18NString region = text.substr(start, accessListAt - start);
  const int colonAt = region.find(I18NString(kNameEnd), 0);
  if (colonAt == -1) return;

  // Only the first lock's user is reported: everything from its colon on
  // (its revision and any further lock lines) goes.
  const I18NString name = region.substr(0, colonAt);

  const char* encoding = I18NGetPlatformDefaultEncoding();
  QamCodeConverter converter(encoding, name);
  const char* narrow = converter.toCharPtr(nullptr);

  // The name is taken whole, however long: the work buffer grows with it, so
  // no lock holder's name is cut or overflows a fixed buffer.
  std::string filtered;
  for (const char* byte = narrow; *byte != '\0'; ++byte) {
    if (!IsDroppedByte(*byte)) filtered += *byte;
  }

  checkedOutBy = I18NString(filtered.c_str(), encoding, -1);
  QamSystemUtils::TrimLeft(checkedOutBy);
  QamSystemUtils::TrimRight(checkedOutBy);
  isCheckedOut = !checkedOutBy.empty();
}
