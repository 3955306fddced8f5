// Paths and names as Windows reads them. Every path handed to a Windows file
// call goes through ExtendedPath first: in "\\?\" form the system takes it
// literally and at any length, where the Win32 rules refuse a path of
// MAX_PATH (260) units or more, drop trailing dots and blanks from every
// component ("src." would name "src") and turn names such as CON into
// devices.
#include <algorithm>
#include <cstring>

#include "platform.h"
#include "platform_windows.h"

namespace platform {
namespace windows {
namespace {

constexpr std::wstring_view kExtendedPrefix = L"\\\\?\\";
constexpr std::wstring_view kNtPrefix = L"\\??\\";
constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";
constexpr std::wstring_view kExtendedUnc = L"\\\\?\\UNC\\";

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c; }

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The prefix path starts with, "\\?\", "\??\" or "\\.\", whichever of "\"
// and "/" its separators are written with ("//?/C:/cvs" from a host, or a
// root whose back-slashes became "/"); empty for none.
std::wstring_view PrefixOf(std::wstring_view path) {
  if (path.size() < 4 || !IsSeparator(path[0]) || !IsSeparator(path[3])) return {};
  if (path[1] == L'?' && path[2] == L'?') return kNtPrefix;
  if (!IsSeparator(path[1])) return {};
  if (path[2] == L'?') return kExtendedPrefix;
  if (path[2] == L'.') return kDevicePrefix;
  return {};
}

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() &&
         CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The next component of rest, which loses it and the separators after it.
std::wstring_view TakeComponent(std::wstring_view* rest) {
  while (!rest->empty() && IsSeparator(rest->front())) rest->remove_prefix(1);
  std::size_t end = 0;
  while (end < rest->size() && !IsSeparator((*rest)[end])) ++end;
  const std::wstring_view component = rest->substr(0, end);
  rest->remove_prefix(end);
  return component;
}

// Appends the components of rest to the extended path *text, whose volume
// is its first rootLength characters.
void AppendComponents(std::wstring* text, std::size_t rootLength, std::wstring_view rest) {
  while (!rest.empty()) {
    const std::wstring_view component = TakeComponent(&rest);
    if (component.empty() || component == L".") continue;
    if (component == L"..") {
      const std::size_t last = text->rfind(L'\\');
      if (last != std::wstring::npos && last >= rootLength) text->resize(last);
      continue;
    }
    *text += L'\\';
    *text += component;
  }
}

// For an absolute path (a drive and a separator, or a UNC path), its volume
// in extended form into *text and what follows into *rest.
bool SplitAbsolute(std::wstring_view path, std::wstring* text, std::wstring_view* rest) {
  if (path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == L':' && IsSeparator(path[2])) {
    *text = std::wstring(kExtendedPrefix) + AsciiUpper(path[0]) + L':';
    *rest = path.substr(3);
    return true;
  }
  if (path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2])) {
    std::wstring_view after = path.substr(2);
    const std::wstring_view server = TakeComponent(&after);
    const std::wstring_view share = TakeComponent(&after);
    *text = std::wstring(kExtendedUnc) + std::wstring(server);
    if (!share.empty()) *text += L'\\' + std::wstring(share);
    *rest = after;
    return true;
  }
  return false;
}

// What GetFullPathNameW makes of a bare prefix: "." (the current folder),
// "\" (its drive or share) or "C:" (that drive's current folder). None of
// them holds a component of the host's, so nothing of theirs is dropped.
std::wstring FullPathOf(const std::wstring& prefix) {
  const DWORD needed = GetFullPathNameW(prefix.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::wstring();
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(prefix.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return std::wstring();
  full.resize(length);
  return full;
}

}  // namespace

std::wstring ExtendedPath(std::wstring_view path) {
  if (const std::wstring_view prefix = PrefixOf(path); !prefix.empty()) {
    // Behind the prefix Windows takes "/" as a character, but no Windows
    // name can hold one: it separates here as everywhere else, and a run of
    // separators (a root ending in one, joined with "/") is one.
    std::wstring text(prefix);
    for (const wchar_t c : path.substr(prefix.size())) {
      if (!IsSeparator(c)) {
        text += c;
      } else if (text.back() != L'\\') {
        text += L'\\';
      }
    }
    return text;
  }
  std::wstring text;
  std::wstring_view rest;
  std::wstring base;
  if (!SplitAbsolute(path, &text, &rest)) {
    // Relative to a current folder, which is absolute.
    std::wstring prefix = L".";
    rest = path;
    if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == L':') {
      prefix = std::wstring(path.substr(0, 2));
      rest = path.substr(2);
    } else if (!path.empty() && IsSeparator(path[0])) {
      prefix = L"\\";
    }
    base = FullPathOf(prefix);
    std::wstring_view baseRest;
    if (StartsWith(base, kExtendedPrefix)) {
      text = base.substr(0, ExtendedRootLength(base));
      baseRest = std::wstring_view(base).substr(text.size());
    } else if (!SplitAbsolute(base, &text, &baseRest)) {
      return std::wstring(path);  // no current folder: the call fails on its own
    }
    AppendComponents(&text, text.size(), baseRest);
    if (prefix == L"\\") text.resize(ExtendedRootLength(text));
  }
  const std::size_t rootLength = ExtendedRootLength(text);
  AppendComponents(&text, rootLength, rest);
  if (text.size() == rootLength) text += L'\\';
  return text;
}

std::size_t ExtendedRootLength(std::wstring_view extended) {
  const std::size_t start = PrefixOf(extended).size();
  std::wstring_view rest = extended.substr(start);
  std::size_t parts = 1;
  if (start > 0 && rest.size() >= 4 && EqualIgnoringCase(rest.substr(0, 3), L"UNC") &&
      IsSeparator(rest[3])) {
    parts = 3;  // UNC, server, share
  }
  for (std::size_t i = 0; i < parts && !rest.empty(); ++i) TakeComponent(&rest);
  // The separators between the volume and the rest belong to neither.
  std::size_t length = extended.size() - rest.size();
  while (length > start && IsSeparator(extended[length - 1])) --length;
  return length;
}

std::deque<std::wstring> Components(std::wstring_view path) {
  std::deque<std::wstring> components;
  while (!path.empty()) {
    const std::wstring_view component = TakeComponent(&path);
    if (!component.empty() && component != L".") components.emplace_back(component);
  }
  return components;
}

bool IsReservedDeviceName(std::wstring_view name) {
  // Windows reads the name up to its first dot, blanks before that dot
  // ignored, as the device: "CON", "con.txt", "Con .c" and "NUL." alike.
  std::wstring_view base = name.substr(0, name.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
  auto is = [&base](const wchar_t* word) {
    for (std::size_t i = 0; i < 3; ++i) {
      if (AsciiUpper(base[i]) != word[i]) return false;
    }
    return true;
  };
  if (base.size() == 3) return is(L"CON") || is(L"PRN") || is(L"AUX") || is(L"NUL");
  if (base.size() != 4 || !(is(L"COM") || is(L"LPT"))) return false;
  const wchar_t digit = base[3];
  return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
         digit == L'\u00B3';
}

bool HasForbiddenCharacter(std::wstring_view name) {
  for (const wchar_t c : name) {
    if ((c >= 1 && c <= 0x1F) || std::wcschr(L"<>:\"|?*", c) != nullptr) return true;
  }
  return false;
}

bool IsNameWindowsRefuses(std::wstring_view name) {
  if (name.empty()) return false;
  // Windows' own rules drop a trailing dot or blank, so no ordinary program
  // can open a folder whose name ends in one.
  return IsReservedDeviceName(name) || HasForbiddenCharacter(name) || name.back() == L'.' ||
         name.back() == L' ';
}

bool HasForbiddenComponent(std::wstring_view extended) {
  for (const std::wstring& component : Components(extended.substr(ExtendedRootLength(extended)))) {
    if (HasForbiddenCharacter(component)) return true;
  }
  return false;
}

bool ParseLinkTarget(const unsigned char* data, std::size_t size, LinkTarget* target) {
  // REPARSE_DATA_BUFFER: the tag, the data length and a reserved word, then
  // for a symbolic link four counts (substitute name offset and length,
  // print name offset and length, in bytes) and flags, for a junction the
  // four counts alone; the names follow in UTF-16.
  auto word = [data](std::size_t at) {
    return static_cast<unsigned>(data[at]) | static_cast<unsigned>(data[at + 1]) << 8;
  };
  constexpr std::size_t kHeader = 8;
  if (size < kHeader + 8) return false;
  const unsigned long tag = word(0) | static_cast<unsigned long>(word(2)) << 16;
  std::size_t names = kHeader + 8;
  bool relative = false;
  if (tag == IO_REPARSE_TAG_SYMLINK) {
    if (size < kHeader + 12) return false;
    relative = (word(kHeader + 8) & SYMLINK_FLAG_RELATIVE) != 0;
    names = kHeader + 12;
  } else if (tag != IO_REPARSE_TAG_MOUNT_POINT) {
    return false;
  }
  const std::size_t offset = word(kHeader);
  const std::size_t length = word(kHeader + 2);
  if (length == 0 || length % 2 != 0 || names + offset + length > size) return false;
  std::wstring path(length / 2, L'\0');
  for (std::size_t i = 0; i < path.size(); ++i) {
    path[i] = static_cast<wchar_t>(word(names + offset + 2 * i));
  }
  target->path = std::move(path);
  target->relative = relative;
  return true;
}

bool AbsoluteTargetBeneath(std::wstring_view target, const std::vector<std::wstring>& roots,
                           std::deque<std::wstring>* rest, bool ignoreCase) {
  std::wstring extended(target);
  if (StartsWith(extended, kNtPrefix)) extended.replace(0, kNtPrefix.size(), kExtendedPrefix);
  if (!StartsWith(extended, kExtendedPrefix)) return false;
  const std::size_t volume = ExtendedRootLength(extended);
  std::deque<std::wstring> parts = Components(std::wstring_view(extended).substr(volume));
  for (const std::wstring& root : roots) {
    const std::size_t rootVolume = ExtendedRootLength(root);
    if (!EqualIgnoringCase(std::wstring_view(extended).substr(0, volume),
                           std::wstring_view(root).substr(0, rootVolume))) {
      continue;
    }
    const std::deque<std::wstring> rootParts = Components(std::wstring_view(root).substr(rootVolume));
    if (parts.size() < rootParts.size()) continue;
    bool beneath = true;
    for (std::size_t i = 0; i < rootParts.size() && beneath; ++i) {
      beneath = ignoreCase ? EqualIgnoringCase(parts[i], rootParts[i]) : parts[i] == rootParts[i];
    }
    if (!beneath) continue;
    parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(rootParts.size()));
    *rest = std::move(parts);
    return true;
  }
  return false;
}

bool LinkTargetBeneath(std::wstring_view target, const std::vector<std::wstring>& roots,
                       const FolderIdentity& reached, const FolderIdentity& root,
                       std::deque<std::wstring>* rest) {
  // A folder that distinguishes case may hold both "cvs" and "CVS": only a
  // text that names the root in its own case restarts the walk there.
  if (AbsoluteTargetBeneath(target, roots, rest, false)) return true;
  if (!reached.known || !root.known || reached.volume != root.volume) return false;
  std::deque<std::wstring> parts = Components(reached.path);
  const std::deque<std::wstring> rootParts = Components(root.path);
  if (parts.size() < rootParts.size() ||
      !std::equal(rootParts.begin(), rootParts.end(), parts.begin())) {
    return false;
  }
  parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(rootParts.size()));
  *rest = std::move(parts);
  return true;
}

}  // namespace windows

std::string RepositoryRoot(const std::string& root) {
  const std::wstring_view prefix = windows::PrefixOf(Widen(root));
  if (prefix == windows::kExtendedPrefix || prefix == windows::kNtPrefix) return root;
  // GetFullPathNameW's reading: a component followed by a separator loses
  // one trailing dot, the last one every trailing dot and blank. A
  // component of dots alone is "." or "..", resolved later, or a name.
  std::string read;
  std::size_t start = 0;
  for (std::size_t at = 0; at <= root.size(); ++at) {
    const bool last = at == root.size();
    if (!last && root[at] != '/' && root[at] != '\\') continue;
    std::string_view component = std::string_view(root).substr(start, at - start);
    if (component.find_first_not_of('.') != std::string_view::npos) {
      if (last) {
        while (!component.empty() && (component.back() == '.' || component.back() == ' ')) {
          component.remove_suffix(1);
        }
      } else if (component.back() == '.') {
        component.remove_suffix(1);
      }
    }
    read += component;
    if (!last) read += root[at];
    start = at + 1;
  }
  // A root of blanks alone stays as given: nothing would be left of it.
  return read.empty() ? root : read;
}

}  // namespace platform
