#include "automation/process.h"

#include <windows.h>

#include "platform/win32/win32_text.h"

namespace cfg {

namespace {

// One word quoted so that the C runtime of the started program splits it
// back into the same argument: backslashes are literal except before a
// quote, where they and the quote are escaped.
std::wstring quoted(const std::wstring& word) {
  if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos) return word;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') out.append(backslashes * 2 + 1, L'\\');
    else out.append(backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  out += L'"';
  return out;
}

}  // namespace

// A program whose ChildProcess went away keeps running on its own; its
// handle was closed, so nothing is left to collect.
void collectOrphanedChildren() {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    letGo();
    pid_ = other.pid_;
    status_ = other.status_;
    process_ = std::move(other.process_);
    other.pid_ = -1;
  }
  return *this;
}

ChildProcess::~ChildProcess() { letGo(); }

void ChildProcess::letGo() noexcept {
  process_.reset();
  pid_ = -1;
}

bool ChildProcess::start(std::string_view commandLine, std::string* error) {
  std::vector<std::string> words;
  if (!wordsToStart(commandLine, words, error)) return false;
  std::wstring line;
  for (const std::string& w : words) {
    if (!line.empty()) line += L' ';
    line += quoted(win32::wideFromUtf8(w));
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // No handle is inherited: the program never holds a port, a lock or an archive.
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    if (error) *error = win32::errorText(::GetLastError());
    return false;
  }
  ::CloseHandle(info.hThread);
  process_.reset(info.hProcess);
  pid_ = static_cast<pid_t>(info.dwProcessId);
  status_ = 0;
  return true;
}

bool ChildProcess::ended() {
  if (pid_ <= 0) return true;
  if (::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) return false;
  DWORD code = 0;
  status_ = ::GetExitCodeProcess(process_.get(), &code) ? static_cast<int>(code) : 0;
  process_.reset();
  pid_ = -1;
  return true;
}

}  // namespace cfg
