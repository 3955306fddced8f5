#include "QamCVSIsFileDifferent.h"

#include "QamUtil.h"

namespace {

// "diff --brief --report-identical-files" says "Files A and B are identical"
// or "Files A and B differ"; cmp says "A B differ: byte N, line M". An empty
// output is what cvs diff and cmp print for equal files.
constexpr const char* kIdenticalWord = "identical";
constexpr const char* kDifferWord = "differ";

// The failure message quotes this many characters of the text at most, so a
// long tool message cannot swell the failure document.
constexpr int kExcerptLength = 120;

// The start of text, with line ends turned into blanks, for the failure message.
I18NString Excerpt(const I18NString& text) {
  I18NString excerpt = text;
  QamSystemUtils::TrimLeft(excerpt);
  QamSystemUtils::TrimRight(excerpt);
  const bool cut = excerpt.length() > kExcerptLength;
  if (cut) excerpt = excerpt.substr(0, kExcerptLength);
  I18NString flat;
  for (int at = 0; at < excerpt.length(); ++at) {
    const char32_t code = excerpt.charAt(at);
    flat += (code == U'\r' || code == U'\n') ? U' ' : code;
  }
  if (cut) flat += "...";
  return flat;
}

}  // namespace

QamCVSIsFileDifferent::QamCVSIsFileDifferent(QamInputParams& params)
    : QamIsFileDifferent(params) {}

void QamCVSIsFileDifferent::ProceesOutPut() {
  if (outputText.empty()) {
    isDifferent = false;
    return;
  }
  // "identical" is tested first, so a text holding both words counts as equal.
  if (outputText.find(I18NString(kIdenticalWord), 0) != -1) {
    isDifferent = false;
    return;
  }
  if (outputText.find(I18NString(kDifferWord), 0) != -1) {
    isDifferent = true;
    return;
  }

  // Neither word: most likely a message of the tool about a missing file or
  // revision. Guessing would give the host a wrong answer, so it is an error.
  const I18NString excerpt = Excerpt(outputText);
  I18NString text(
      "The comparison output says neither \"identical\" nor \"differ\", so it does not "
      "tell whether the files differ. ");
  if (excerpt.empty()) {
    text += "It holds only white space.";
  } else {
    text += "It begins: \"";
    text += excerpt;
    text += "\".";
  }
  QamMessage message(kQamInputError, text);
  QamException exception(static_cast<long>(kQamInputError));
  (exception << message)
      .Raise(SourceLocation(__FILE__, __LINE__), "QamCVSIsFileDifferent::ProceesOutPut",
             "PYL_THROW");
}
