// The message hub: numbering, handler lists, routing, threads, names and lost windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "signal/hub.h"

namespace {

// Every call any test handler sees, in order.
struct TCall {
  int Tag;
  UINT Message;
  DWORD Thread;
  void* Context;
};
std::vector<TCall> Calls;

template <int Tag>
void Record(HWND, UINT message, WPARAM, LPARAM, LRESULT& result) {
  Calls.push_back({Tag, message, GetCurrentThreadId(), nullptr});
  result = result * 10 + Tag;  // leaves a trace of the order and of the result it was given
}

void BoundRecord(void* context, HWND, UINT message, WPARAM, LPARAM, LRESULT& result) {
  Calls.push_back({9, message, GetCurrentThreadId(), context});
  result = 99;
}

const TMsgHandlers* HandlersOf(DWORD threadId) {
  if (!threadId) threadId = GetCurrentThreadId();
  for (uint32_t i = 0; i < HubThreads.Count(); ++i)
    if (HubThreads[i].ThreadId == threadId) return HubThreads[i].Handlers;
  return nullptr;
}

void Pump() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
}

std::string Hex(unsigned long long v) {
  char buf[32];
  snprintf(buf, sizeof buf, "%llx", v);
  return buf;
}

std::string ClassOf(HWND window) {
  char buf[128] = {};
  GetClassNameA(window, buf, sizeof buf);
  return buf;
}

class Hub : public ::testing::Test {
protected:
  void SetUp() override { Calls.clear(); }
  // Leaves no handler behind for the next case in the same process.
  void TearDown() override {
    for (TMsgHandlerProc p : {&Record<1>, &Record<2>, &Record<3>}) DetachMessageHandler(p, 0, 0);
    DetachMessageHandler(nullptr, 0, 0, {BoundRecord, &context_});
    EXPECT_EQ(HandlersOf(0), nullptr);
  }
  int context_ = 0;
};

TEST_F(Hub, FreeNumberIsTheFirstUnusedFromWmUser) {
  struct Case {
    std::vector<UINT> taken;
    UINT expected;
  } cases[] = {
      {{}, 0x400},
      {{0x400, 0x401}, 0x402},
      {{0x401, 0x400}, 0x402},  // a single pass would stop at the taken 0x401
      {{0x401}, 0x400},
      {{0x400, 0x402}, 0x401},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    for (UINT m : c.taken) ASSERT_EQ(AttachMessageHandler(Record<1>, m, 0), m);
    UINT got = AttachMessageHandler(Record<2>, 0, 0);
    EXPECT_EQ(got, c.expected);
    Calls.clear();
    SendMessageA(GetHubWindow(0), got, 0, 0);
    ASSERT_EQ(Calls.size(), 1u);
    EXPECT_EQ(Calls[0].Tag, 2);
    DetachMessageHandler(Record<1>, 0, 0);
    DetachMessageHandler(Record<2>, 0, 0);
  }
}

TEST_F(Hub, HandlerListsAndWindowLifetime) {
  // The same handler twice for one message: refused, one entry.
  EXPECT_EQ(AttachMessageHandler(Record<1>, 0x500, 0), 0x500u);
  EXPECT_EQ(AttachMessageHandler(Record<1>, 0x500, 0), 0u);
  ASSERT_NE(HandlersOf(0), nullptr);
  EXPECT_EQ(HandlersOf(0)->Count(), 1u);
  // Detaching a handler that is not attached changes nothing.
  DetachMessageHandler(Record<2>, 0x500, 0);
  DetachMessageHandler(Record<1>, 0x501, 0);
  EXPECT_EQ(HandlersOf(0)->Count(), 1u);

  // One procedure for two messages, detached with message 0: both go, and the window with them.
  EXPECT_EQ(AttachMessageHandler(Record<1>, 0x501, 0), 0x501u);
  EXPECT_EQ(HandlersOf(0)->Count(), 2u);
  HWND first = GetHubWindow(0);
  std::string firstClass = ClassOf(first);
  DetachMessageHandler(Record<1>, 0, 0);
  EXPECT_EQ(HandlersOf(0), nullptr);
  EXPECT_FALSE(IsWindow(first));

  // The next attach makes a new window under the same class name.
  EXPECT_EQ(AttachMessageHandler(Record<1>, 0x500, 0), 0x500u);
  HWND second = GetHubWindow(0);
  EXPECT_TRUE(IsWindow(second));
  EXPECT_NE(second, first);
  EXPECT_EQ(ClassOf(second), firstClass);
}

TEST_F(Hub, HandlersRunInOrderOnTheResultLeftBefore) {
  UINT unhandled = RegisterWindowMessageA("QVHubTestNobodyListens");
  ASSERT_EQ(AttachMessageHandler(Record<1>, 0x600, 0), 0x600u);
  ASSERT_EQ(AttachMessageHandler(Record<2>, 0x600, 0), 0x600u);
  ASSERT_EQ(AttachMessageHandler(Record<3>, 0x601, 0), 0x601u);
  HWND hub = GetHubWindow(0);
  EXPECT_EQ(SendMessageA(hub, 0x600, 0, 0), 12);  // 0 from the default procedure, then 1, then 2
  EXPECT_EQ(SendMessageA(hub, unhandled, 0, 0), 0);
  ASSERT_EQ(Calls.size(), 2u);
  EXPECT_EQ(Calls[0].Tag, 1);
  EXPECT_EQ(Calls[1].Tag, 2);

  // A bound handler gets its context; with a procedure as well, only the procedure runs.
  Calls.clear();
  ASSERT_EQ(AttachMessageHandler(nullptr, 0x602, 0, {BoundRecord, &context_}), 0x602u);
  ASSERT_EQ(AttachMessageHandler(Record<3>, 0x603, 0, {BoundRecord, &context_}), 0x603u);
  EXPECT_EQ(SendMessageA(hub, 0x602, 0, 0), 99);
  EXPECT_EQ(SendMessageA(hub, 0x603, 0, 0), 3);
  ASSERT_EQ(Calls.size(), 2u);
  EXPECT_EQ(Calls[0].Tag, 9);
  EXPECT_EQ(Calls[0].Context, &context_);
  EXPECT_EQ(Calls[1].Tag, 3);
  DetachMessageHandler(Record<3>, 0, 0, {BoundRecord, &context_});
}

TEST_F(Hub, OnlyNotificationsAndWmUserAndAboveReachHandlers) {
  const UINT handled[] = {0x0011, 0x0015, 0x0017, 0x001A, 0x001E, 0x002A, 0x0041, 0x0048,
                          0x0054, 0x007E, 0x0218, 0x0400, 0x8000, 0xC123, 0xFFFF};
  const UINT ignored[] = {0x0013, 0x0018, 0x001F, 0x0049, 0x0060, 0x007F, 0x0100, 0x0217};
  for (UINT m : handled) ASSERT_EQ(AttachMessageHandler(Record<1>, m, 0), m);
  for (UINT m : ignored) ASSERT_EQ(AttachMessageHandler(Record<1>, m, 0), m);
  HWND hub = GetHubWindow(0);
  for (UINT m : ignored) SendMessageA(hub, m, 0, 0);
  EXPECT_TRUE(Calls.empty());
  for (UINT m : handled) SendMessageA(hub, m, 0, 0);
  ASSERT_EQ(Calls.size(), std::size(handled));
  for (size_t i = 0; i < Calls.size(); ++i) EXPECT_EQ(Calls[i].Message, handled[i]);
}

TEST_F(Hub, DetachBeforeAnyAttachDoesNothing) {
  uint32_t before = HubThreads.Count();
  std::thread([] {
    DetachMessageHandler(Record<1>, 0x400, 0);
    DetachMessageHandler(Record<1>, 0, 0);
  }).join();
  EXPECT_EQ(HubThreads.Count(), before);
}

TEST_F(Hub, AnotherThreadAttachesToAndClosesTheOwnersWindow) {
  DWORD owner = GetCurrentThreadId();
  ASSERT_EQ(AttachMessageHandler(Record<1>, 0x700, 0), 0x700u);
  HWND hub = GetHubWindow(0);
  UINT attached = 1;
  HWND seen = nullptr, noWindow = reinterpret_cast<HWND>(1);
  std::thread([&] {
    attached = AttachMessageHandler(Record<2>, 0x700, owner);
    seen = GetHubWindow(owner);
    // A thread whose window does not exist yet gets none made by someone else.
    std::thread([&, idle = GetCurrentThreadId()] { noWindow = GetHubWindow(idle); }).join();
  }).join();
  EXPECT_EQ(attached, 0x700u);
  EXPECT_EQ(seen, hub);
  EXPECT_EQ(noWindow, nullptr);

  // Handlers run on the window's own thread.
  EXPECT_EQ(SendMessageA(hub, 0x700, 0, 0), 12);
  ASSERT_EQ(Calls.size(), 2u);
  EXPECT_EQ(Calls[1].Thread, owner);

  // The last detach from another thread asks the owner to close the window.
  std::thread([&] {
    DetachMessageHandler(Record<1>, 0x700, owner);
    DetachMessageHandler(Record<2>, 0, owner);
  }).join();
  EXPECT_EQ(HandlersOf(owner), nullptr);
  EXPECT_TRUE(IsWindow(hub));
  Pump();
  EXPECT_FALSE(IsWindow(hub));
}

TEST_F(Hub, NamesAndShapeOfTheHiddenWindow) {
  ASSERT_EQ(AttachMessageHandler(Record<1>, 0x800, 0), 0x800u);
  HWND hub = GetHubWindow(0);
  std::string suffix = "$" + Hex(GetCurrentThreadId()) + "$" +
                       Hex(reinterpret_cast<uintptr_t>(&GetHubWindow));
  EXPECT_EQ(ClassOf(hub), "QVLoadWindow" + suffix);
  // The mutex carries the first thread that used the hub: this one, in a process of its own.
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, ("QVLoadMutex" + suffix).c_str());
  EXPECT_NE(mutex, nullptr) << "QVLoadMutex" + suffix;
  if (mutex) CloseHandle(mutex);

  EXPECT_EQ(GetWindowLongPtrA(hub, GWL_STYLE) & (WS_POPUP | WS_VISIBLE | WS_CHILD), WS_POPUP);
  EXPECT_TRUE(GetWindowLongPtrA(hub, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_EQ(GetWindow(hub, GW_OWNER), nullptr);
  RECT r;
  ASSERT_TRUE(GetWindowRect(hub, &r));
  EXPECT_EQ(r.right - r.left, 0);
  EXPECT_EQ(r.bottom - r.top, 0);
}

TEST_F(Hub, WindowDestroyedBehindTheHubsBackIsReplaced) {
  DWORD owner = GetCurrentThreadId();
  ASSERT_EQ(AttachMessageHandler(Record<1>, 0x900, 0), 0x900u);
  HWND dead = GetHubWindow(0);
  SendMessageA(dead, WM_CLOSE, 0, 0);  // what a WM_CLOSE to every top-level window does
  ASSERT_FALSE(IsWindow(dead));

  // The owner's next attach lands on a new, living window that delivers.
  EXPECT_EQ(AttachMessageHandler(Record<1>, 0x900, 0), 0x900u);
  HWND hub = GetHubWindow(0);
  EXPECT_TRUE(IsWindow(hub));
  EXPECT_NE(hub, dead);
  EXPECT_EQ(SendMessageA(hub, 0x900, 0, 0), 1);
  EXPECT_EQ(Calls.size(), 1u);
  EXPECT_EQ(HandlersOf(0)->Count(), 1u);

  // Other threads cannot make the owner a window: they get none rather than the dead one.
  SendMessageA(hub, WM_CLOSE, 0, 0);
  HWND fromOther = reinterpret_cast<HWND>(1);
  UINT attached = 1;
  std::thread([&] {
    fromOther = GetHubWindow(owner);
    attached = AttachMessageHandler(Record<2>, 0x900, owner);
  }).join();
  EXPECT_EQ(fromOther, nullptr);
  EXPECT_EQ(attached, 0u);
}

}  // namespace
