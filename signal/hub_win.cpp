#include "signal/hub.h"

#include <new>

TPodList<THubThread> HubThreads;
HANDLE HubMutex = nullptr;

namespace {

// The mutex may appear while a thread works without it (its creation failed earlier), so each
// unlock releases the handle its own lock waited on, never whatever HubMutex holds by then.
HANDLE LockHub() {
  HANDLE mutex = HubMutex;
  WaitForSingleObject(mutex, INFINITE);
  return mutex;
}

void UnlockHub(HANDLE mutex) { ReleaseMutex(mutex); }

int FindThreadRecord(DWORD threadId) {
  for (uint32_t i = 0; i < HubThreads.Count(); ++i)
    if (HubThreads[i].ThreadId == threadId) return static_cast<int>(i);
  return -1;
}

int FindWindowRecord(HWND window) {
  for (uint32_t i = 0; i < HubThreads.Count(); ++i)
    if (HubThreads[i].Window == window) return static_cast<int>(i);
  return -1;
}

void FreeHandlers(TMsgHandlers* handlers) {
  if (!handlers) return;
  handlers->~TMsgHandlers();
  QvFree(handlers);
}

void RemoveThreadRecord(uint32_t index) {
  FreeHandlers(HubThreads[index].Handlers);
  HubThreads.RemoveMovingLast(index);
}

bool SameHandler(const TMsgHandler& a, const TMsgHandler& b) {
  return a.Message == b.Message && a.Procedure == b.Procedure && a.BoundCode == b.BoundCode &&
         a.BoundContext == b.BoundContext;
}

// The messages a hub window passes on: system-wide notifications, WM_USER and above, and the
// registered range. Creation, painting, input and closing stay with the default procedure.
bool IsHubMessage(UINT message) {
  switch (message) {
    case 0x0011: case 0x0012: case 0x0015: case 0x0016: case 0x0017: case 0x001A: case 0x001B:
    case 0x001C: case 0x001D: case 0x001E: case 0x002A: case 0x0041: case 0x0048: case 0x0050:
    case 0x0051: case 0x0054: case 0x007E:
      return true;
    default:
      return message >= 0x0218;
  }
}

char* AppendHex(char* p, char* end, UINT_PTR value) {
  char digits[2 * sizeof(UINT_PTR)];
  int n = 0;
  do {
    digits[n++] = "0123456789abcdef"[value & 0xF];
    value >>= 4;
  } while (value);
  while (n && p < end) *p++ = digits[--n];
  return p;
}

void BuildName(const char* prefix, const char* suffix, char* out, unsigned outSize) {
  lstrcpynA(out, prefix, outSize);
  unsigned used = lstrlenA(out);
  if (used < outSize) lstrcpynA(out + used, suffix, outSize - used);
}

// Makes sure HubMutex exists and takes it. Returns the handle to unlock (null: no lock).
HANDLE LockHubCreatingMutex(const char* suffix) {
  if (HubMutex) return LockHub();
  char name[64];
  BuildName("QVLoadMutex", suffix, name, sizeof name);
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  if (!mutex) return nullptr;
  WaitForSingleObject(mutex, INFINITE);
  if (InterlockedCompareExchangePointer(&HubMutex, mutex, nullptr) == nullptr) return mutex;
  // Another thread stored its mutex meanwhile: use that one.
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  return LockHub();
}

HWND CreateHubWindow(const char* suffix) {
  char className[64];
  BuildName("QVLoadWindow", suffix, className, sizeof className);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc;
  ZeroMemory(&wc, sizeof wc);
  wc.lpfnWndProc = HubWindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = className;
  RegisterClassA(&wc);  // fails harmlessly when an earlier window of this thread registered it
  return CreateWindowExA(WS_EX_TOOLWINDOW, className, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                         instance, nullptr);
}

bool WindowAlive(HWND window, DWORD threadId) {
  return IsWindow(window) && GetWindowThreadProcessId(window, nullptr) == threadId;
}

// Frees the tables when the process ends. Windows and classes go with the process.
struct THubRelease {
  ~THubRelease() {
    HANDLE mutex = InterlockedExchangePointer(&HubMutex, nullptr);
    if (mutex) CloseHandle(mutex);
    for (uint32_t i = 0; i < HubThreads.Count(); ++i) FreeHandlers(HubThreads[i].Handlers);
    HubThreads.Release();
  }
} HubRelease;

}  // namespace

void BuildHubNameSuffix(DWORD threadId, char* out, unsigned outSize) {
  if (!outSize) return;
  char* p = out;
  char* end = out + outSize - 1;
  if (p < end) *p++ = '$';
  p = AppendHex(p, end, threadId);
  if (p < end) *p++ = '$';
  p = AppendHex(p, end, reinterpret_cast<UINT_PTR>(&GetHubWindow));
  *p = 0;
}

HWND GetHubWindow(DWORD threadId) {
  DWORD self = GetCurrentThreadId();
  if (!threadId) threadId = self;
  char suffix[48];
  BuildHubNameSuffix(threadId, suffix, sizeof suffix);

  HANDLE lock = LockHubCreatingMutex(suffix);
  HWND window = nullptr;
  int index = FindThreadRecord(threadId);
  if (index >= 0) {
    window = HubThreads[index].Window;
    // A window destroyed behind the hub's back (a WM_CLOSE sent to every top-level window, say)
    // can deliver nothing any more: forget it, so that its thread gets a new one below.
    if (!WindowAlive(window, threadId)) {
      RemoveThreadRecord(static_cast<uint32_t>(index));
      window = nullptr;
    }
  }
  UnlockHub(lock);
  if (window || threadId != self) return window;

  window = CreateHubWindow(suffix);
  if (!window) return nullptr;
  void* block = QvAlloc(sizeof(TMsgHandlers));
  lock = LockHub();
  bool recorded = block && HubThreads.Add(THubThread{threadId, window, new (block) TMsgHandlers()});
  UnlockHub(lock);
  if (!recorded) {
    // Without a record nothing could ever be routed through the window.
    if (block) FreeHandlers(static_cast<TMsgHandlers*>(block));
    DestroyWindow(window);
    return nullptr;
  }
  return window;
}

UINT AttachMessageHandler(TMsgHandlerProc procedure, UINT message, DWORD threadId, TBoundMsgHandler bound) {
  HWND window = GetHubWindow(threadId);
  if (!window) return 0;
  HANDLE lock = LockHub();
  UINT result = 0;
  int index = FindWindowRecord(window);
  if (index >= 0) {
    TMsgHandlers& list = *HubThreads[index].Handlers;
    TMsgHandler entry{message, procedure, bound.Code, bound.Context};
    bool taken = false;
    if (!message) {
      entry.Message = 0x400;
      for (uint32_t i = 0; i < list.Count(); ++i) {
        if (list[i].Message == entry.Message) {
          ++entry.Message;
          i = static_cast<uint32_t>(-1);  // scan again from the start
        }
      }
    } else {
      for (uint32_t i = 0; i < list.Count() && !taken; ++i) taken = SameHandler(list[i], entry);
    }
    if (!taken && list.Add(entry)) result = entry.Message;
  }
  UnlockHub(lock);
  return result;
}

void DetachMessageHandler(TMsgHandlerProc procedure, UINT message, DWORD threadId, TBoundMsgHandler bound) {
  if (!HubMutex) return;
  DWORD self = GetCurrentThreadId();
  if (!threadId) threadId = self;
  HANDLE lock = LockHub();
  HWND closing = nullptr;
  int index = FindThreadRecord(threadId);
  if (index >= 0) {
    THubThread& record = HubThreads[index];
    TMsgHandlers& list = *record.Handlers;
    for (uint32_t i = list.Count(); i-- > 0;) {
      const TMsgHandler& h = list[i];
      if (h.Procedure == procedure && h.BoundCode == bound.Code && h.BoundContext == bound.Context &&
          (!message || h.Message == message))
        list.RemoveMovingLast(i);
    }
    if (!list.Count() && IsWindow(record.Window)) {
      closing = record.Window;
      RemoveThreadRecord(static_cast<uint32_t>(index));
    }
  }
  UnlockHub(lock);
  if (!closing) return;
  if (threadId == self)
    DestroyWindow(closing);
  else
    PostMessageA(closing, WM_CLOSE, 0, 0);  // only its own thread may destroy it
}

LRESULT CALLBACK HubWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = DefWindowProcA(window, message, wParam, lParam);
  if (!IsHubMessage(message)) return result;

  // Handlers run from a copy and outside the lock, so they may attach and detach freely.
  HANDLE lock = LockHub();
  uint32_t count = 0;
  TMsgHandler* copy = nullptr;
  int index = FindWindowRecord(window);
  if (index >= 0) copy = HubThreads[index].Handlers->CopyItems(&count);
  UnlockHub(lock);

  for (uint32_t i = 0; i < count; ++i) {
    const TMsgHandler& h = copy[i];
    if (h.Message != message) continue;
    if (h.Procedure)
      h.Procedure(window, message, wParam, lParam, result);
    else if (h.BoundCode)
      h.BoundCode(h.BoundContext, window, message, wParam, lParam, result);
  }
  QvFree(copy);
  return result;
}
