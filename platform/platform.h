// What a port of qamcvs must provide: the only home of operating-system
// differences. platform_posix.cpp is the Linux port; a Windows port would
// implement the same functions (the Windows meaning is given with each).
#ifndef QAMCVS_PLATFORM_PLATFORM_H_
#define QAMCVS_PLATFORM_PLATFORM_H_

#include <functional>
#include <string>
#include <string_view>

namespace platform {

/// Sends text to the debugger trace channel: syslog at LOG_USER|LOG_DEBUG
/// here, OutputDebugStringA on Windows. Never standard output or error.
void Trace(std::string_view text);

/// Replaces the trace channel (tests read what is traced); an empty function
/// restores the default.
void SetTraceSink(std::function<void(std::string_view)> sink);

/// The last system error of the calling thread: errno here, GetLastError on
/// Windows. Read it right after the failing call.
int LastSystemError();

/// "context: reason" for a system error number (strerror here).
std::string SystemErrorText(const std::string& context, int error);

/// The system error number meaning "no such file or folder" (ENOENT, 2; on
/// Windows ERROR_FILE_NOT_FOUND, also 2).
constexpr int kFileNotFound = 2;

/// Wide-character format for a wide string argument: glibc's wide printf and
/// scanf read "%s" as narrow and need "%ls", where Windows reads "%s" as wide.
#define QAM_WIDE_STRING_FORMAT L"%ls"

/// Starts the XML platform (Xerces-C) with the default locale and no NLS
/// home, panic handler or memory manager. Returns false, with a reason in
/// *why, when it cannot be started.
bool StartXmlPlatform(std::string* why);
/// Stops the XML platform if it was started.
void StopXmlPlatform();
/// True between a successful StartXmlPlatform and StopXmlPlatform.
bool XmlPlatformIsUp();

/// Flushes every C and C++ output stream (_flushall on Windows).
void FlushAllStreams();

}  // namespace platform

#endif  // QAMCVS_PLATFORM_PLATFORM_H_
