// What one message pump costs when nothing is pending: the toolkit's
// ProcessMessages() against the plain PeekMessage loop it saves, with a
// shown window. Under wine each is dominated by round trips to the server.
//   wine zelbo_pump_cost.exe [CALLS]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#undef MessageBox  // the toolkit's own
#include "platform/toolkit.h"

namespace {

template <typename Pump>
double MicrosecondsPerCall(int calls, Pump pump) {
  const auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < calls; ++i) pump();
  const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - started;
  return spent.count() / calls;
}

}  // namespace

int main(int argc, char** argv) {
  const int calls = argc > 1 ? std::stoi(argv[1]) : 20000;
  zelbo::toolkit::Application application(argc, argv);
  zelbo::toolkit::Form form("MainForm", "Zelbo", 353, 222);
  ShowWindow(FindWindowW(L"ZelboForm", L"Zelbo"), SW_SHOW);
  for (int i = 0; i < 200; ++i) application.ProcessMessages();  // the window settles
  // Alternating rounds; the best of each, as other work only adds time.
  double toolkit = 1e9, peek = 1e9;
  for (int round = 0; round < 5; ++round) {
    toolkit = std::min(toolkit, MicrosecondsPerCall(calls, [&] { application.ProcessMessages(); }));
    peek = std::min(peek, MicrosecondsPerCall(calls, [] {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }));
  }
  std::printf("empty pump: ProcessMessages %.1f us, PeekMessage loop %.1f us (best of 5 x %d calls)\n",
              toolkit, peek, calls);
  return 0;
}
