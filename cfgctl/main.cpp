#ifdef _WIN32
#include <windows.h>
#include <io.h>
#include <shellapi.h>

#include "platform/win32/win32_text.h"
#else
#include <signal.h>
#include <unistd.h>
#endif

#include <atomic>
#include <exception>
#include <iostream>

#include "cfgctl/cli.h"

namespace {

// Set by SIGINT and SIGTERM (Windows: Ctrl+C, Ctrl+Break, the console
// closing); the run looks at it between two steps.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

#ifdef _WIN32
BOOL WINAPI onConsoleStop(DWORD) {
  interrupted.store(true);
  return TRUE;
}

// The arguments as the user typed them, in UTF-8 like the Linux program's:
// the wide command line, not the ANSI code page's approximation of it.
std::vector<std::string> arguments() {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide) return args;
  for (int i = 1; i < count; ++i) args.push_back(cfg::win32::utf8FromWide(wide[i]));
  ::LocalFree(wide);
  return args;
}
#else
extern "C" void onStopSignal(int) { interrupted.store(true); }
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  (void)argc;
  (void)argv;
  ::SetConsoleCtrlHandler(onConsoleStop, TRUE);
  const bool errorsOnTerminal = ::_isatty(2) != 0;
#else
  ::signal(SIGPIPE, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  const bool errorsOnTerminal = ::isatty(2) == 1;
#endif
  try {
#ifdef _WIN32
    std::vector<std::string> args = arguments();
#else
    std::vector<std::string> args(argv + 1, argv + argc);
#endif
    return cfg::cli::run(args, std::cout, std::cerr, errorsOnTerminal, &interrupted);
  } catch (const std::exception& e) {
    std::cerr << "cfgctl: errore interno: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "cfgctl: errore interno\n";
  }
  return cfg::cli::kSetup;
}
