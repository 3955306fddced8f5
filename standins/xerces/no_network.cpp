// Keeps the network stack out of the program.
//
// Debian builds Xerces-C with a libcurl network accessor, and
// XMLPlatformUtils::Initialize always constructs it. qamcvs only writes
// documents and never opens a URL, yet with the shared libxerces-c the
// dynamic loader brings in libcurl and its TLS, Kerberos and LDAP libraries
// at every start, most of a run's time. Linked against the static
// libxerces-c.a instead, the accessor's calls to libcurl resolve to the
// functions below: global start-up and clean-up succeed and do nothing;
// everything that would open a connection fails as libcurl does when it
// cannot start, so any attempt to fetch a URL raises inside Xerces as a
// network error. The build checks that libcurl is no longer linked
// (tests/driver/startup_test.cpp).
#include <cstddef>

extern "C" {

namespace {
constexpr int kCurlOk = 0;
constexpr int kCurlFailedInit = 2;  // CURLE_FAILED_INIT
constexpr int kCurlMultiBadHandle = 1;  // CURLM_BAD_HANDLE
}  // namespace

int curl_global_init(long /*flags*/) { return kCurlOk; }
void curl_global_cleanup(void) {}

void* curl_easy_init(void) { return nullptr; }
void curl_easy_cleanup(void* /*handle*/) {}
int curl_easy_setopt(void* /*handle*/, int /*option*/, ...) { return kCurlFailedInit; }
int curl_easy_getinfo(void* /*handle*/, int /*info*/, ...) { return kCurlFailedInit; }

void* curl_multi_init(void) { return nullptr; }
int curl_multi_cleanup(void* /*multi*/) { return kCurlMultiBadHandle; }
int curl_multi_add_handle(void* /*multi*/, void* /*easy*/) { return kCurlMultiBadHandle; }
int curl_multi_remove_handle(void* /*multi*/, void* /*easy*/) { return kCurlMultiBadHandle; }
int curl_multi_perform(void* /*multi*/, int* running) {
  if (running != nullptr) *running = 0;
  return kCurlMultiBadHandle;
}
int curl_multi_fdset(void* /*multi*/, void* /*read*/, void* /*write*/, void* /*except*/,
                     int* maxFd) {
  if (maxFd != nullptr) *maxFd = -1;
  return kCurlMultiBadHandle;
}
int curl_multi_timeout(void* /*multi*/, long* timeout) {
  if (timeout != nullptr) *timeout = -1;
  return kCurlMultiBadHandle;
}
void* curl_multi_info_read(void* /*multi*/, int* queued) {
  if (queued != nullptr) *queued = 0;
  return nullptr;
}

void* curl_slist_append(void* /*list*/, const char* /*text*/) { return nullptr; }
void curl_slist_free_all(void* /*list*/) {}

}  // extern "C"
