// Starts only the part of Xerces-C that writing a document needs.
//
// XMLPlatformUtils::Initialize ends with XMLInitializer::initializeStaticData,
// which builds the static tables of every Xerces-C subsystem: the regular
// expressions' Unicode range tables (about 13 million instructions, most of
// a run), schema datatypes, DTD entities, DOM and XInclude. qamcvs writes
// documents with XMLFormatter and never parses, validates or builds a DOM,
// so it needs none of them. Linked ahead of the static libxerces-c.a, the
// two functions below stand in for the archive's own (its XMLInitializer
// object is then never linked; were it linked too, the link would fail on
// the duplicate definitions). Initialize still starts the memory manager,
// the mutexes, the transcoding service and the message loader's settings;
// this starts the exceptions' message texts, which a transcoding error
// raised inside the formatter loads.
//
// The subsystems not started keep the null pointers their static data
// starts with. Each is reached through one of them (a parser's scanner
// locks a null mutex, the DOM registry and the regular expressions read
// null tables), so the first use dereferences a null pointer and the
// process dies at once (SIGSEGV; an access violation on Windows) before
// it writes anything: it cannot run on half-built data.
// BinaryStartupTest.UnstartedXmlFeaturesFailLoudly checks this. Programs that
// parse (the tests, the fuzz targets) link Xerces-C's own initializer.
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLInitializer.hpp>

XERCES_CPP_NAMESPACE_BEGIN

void XMLInitializer::initializeStaticData() {
  try {
    initializeXMLException();
  } catch (...) {
    XMLPlatformUtils::panic(PanicHandler::Panic_AllStaticInitErr);
  }
}

void XMLInitializer::terminateStaticData() { terminateXMLException(); }

XERCES_CPP_NAMESPACE_END
