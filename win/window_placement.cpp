#include "win/window_placement.h"

#include <algorithm>

#include "game/board_painting.h"

namespace {
// Each growth may make the menu bar wrap anew, and the client area change again.
constexpr int kMostGrowths = 4;

SIZE ClientSize(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  return {client.right, client.bottom};
}

SIZE OuterSize(HWND window) {
  RECT outer;
  GetWindowRect(window, &outer);
  return {outer.right - outer.left, outer.bottom - outer.top};
}
}  // namespace

void FitMainWindow(HWND window) {
  for (int growth = 0; growth < kMostGrowths; ++growth) {
    const SIZE client = ClientSize(window);
    if (client.cx >= kPaintingWidth && client.cy >= kPaintingHeight) break;
    const SIZE outer = OuterSize(window);
    SetWindowPos(window, nullptr, 0, 0, outer.cx + std::max(0L, kPaintingWidth - client.cx),
                 outer.cy + std::max(0L, kPaintingHeight - client.cy), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  RECT outer;
  GetWindowRect(window, &outer);
  const LONG width = outer.right - outer.left;
  const LONG height = outer.bottom - outer.top;
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  const LONG spareRows = std::max(0L, ClientSize(window).cy - kPaintingHeight);
  const LONG fittedHeight = std::max(std::min(height, work.bottom - work.top), height - spareRows);
  const LONG left = std::max(work.left, std::min(outer.left, work.right - width));
  const LONG top = std::max(work.top, std::min(outer.top, work.bottom - fittedHeight));
  if (left != outer.left || top != outer.top || fittedHeight != height) {
    SetWindowPos(window, nullptr, left, top, width, fittedHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  }
}
