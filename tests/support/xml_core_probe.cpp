// A program that starts Xerces-C as qamcvs does, only its core
// (standins/xerces/xml_core_only.cpp), then reaches one feature that start-up
// left out: xml_core_probe parser|dom|regex. It prints "reached" before
// and "survived" after; BinaryStartupTest.UnstartedXmlFeaturesFailLoudly expects
// the process to die in between.
#include <xercesc/dom/DOMImplementationRegistry.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/regx/RegularExpression.hpp>

#include <cstdio>
#include <cstring>
#include <memory>

using namespace xercesc;

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  XMLPlatformUtils::Initialize();
  std::printf("reached %s\n", argv[1]);
  std::fflush(stdout);
  if (std::strcmp(argv[1], "parser") == 0) {
    static const char kDocument[] = "<?xml version=\"1.0\"?><QAM_DOC>&amp;</QAM_DOC>";
    std::unique_ptr<SAX2XMLReader> reader(XMLReaderFactory::createXMLReader());
    MemBufInputSource input(reinterpret_cast<const XMLByte*>(kDocument),
                            sizeof kDocument - 1, "probe");
    reader->parse(input);
  } else if (std::strcmp(argv[1], "dom") == 0) {
    static const XMLCh kCore[] = {'C', 'o', 'r', 'e', 0};
    DOMImplementation* dom = DOMImplementationRegistry::getDOMImplementation(kCore);
    std::printf("implementation %p\n", static_cast<void*>(dom));
  } else if (std::strcmp(argv[1], "regex") == 0) {
    RegularExpression expression("[a-z]+\\p{Lu}");
    std::printf("match %d\n", expression.matches("abcD") ? 1 : 0);
  } else {
    return 2;
  }
  std::printf("survived\n");
  XMLPlatformUtils::Terminate();
  return 0;
}
