// Running a program black-box: its process tree in a job, a watcher thread that records its
// windows and answers its message boxes, and a kill on timeout.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "tests/win/harness/harness.h"
#include "tests/win/harness/watch.h"

namespace harness {

struct Session::State {
  RunSpec request;
  PROCESS_INFORMATION pi{};
  HANDLE job = nullptr;
  bool started = false;
  LARGE_INTEGER t0{}, freq{};

  std::mutex mu;  // guards everything below
  std::vector<WindowRecord> records;
  std::vector<MessageBoxInfo> boxes;
  std::vector<HWND> boxesRead;
  size_t boxesReturned = 0;
  bool exited = false;
  DWORD exitCode = 0xFFFFFFFF;
  double exitMs = -1;

  std::thread watcher;
  std::atomic<bool> stop{false};

  double Now() const {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return double(c.QuadPart - t0.QuadPart) * 1000.0 / double(freq.QuadPart);
  }

  std::vector<DWORD> Pids() {
    std::vector<DWORD> pids{pi.dwProcessId};
    if (!job) return pids;
    struct {
      JOBOBJECT_BASIC_PROCESS_ID_LIST list;
      ULONG_PTR more[63];
    } ids{};
    ids.list.NumberOfAssignedProcesses = 64;
    if (QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr))
      for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList && i < 64; ++i) {
        DWORD pid = DWORD(ids.list.ProcessIdList[i]);
        if (std::find(pids.begin(), pids.end(), pid) == pids.end()) pids.push_back(pid);
      }
    return pids;
  }

  // Merges one reading of a live window into its record (a handle seen again after it was
  // gone, or with another class, is a new window).
  void Merge(const WindowRecord& seen, double now) {
    std::lock_guard<std::mutex> lock(mu);
    WindowRecord* rec = nullptr;
    for (WindowRecord& r : records)
      if (r.hwnd == seen.hwnd && !r.gone && r.cls == seen.cls) rec = &r;
    if (!rec) {
      records.push_back(seen);
      rec = &records.back();
      rec->firstSeenMs = now;
    } else if (!seen.visible && rec->EverVisible()) {
      // Hidden again (or being destroyed, which hides first): keep what the user saw.
      rec->visible = false;
      rec->style = seen.style;
    } else {
      // Controls may go before their window: keep what was seen of them.
      std::vector<Control> controls = std::move(rec->controls);
      for (const Control& c : seen.controls) {
        auto same = std::find_if(controls.begin(), controls.end(), [&](const Control& k) { return k.hwnd == c.hwnd; });
        if (same != controls.end())
          *same = c;
        else
          controls.push_back(c);
      }
      double first = rec->firstSeenMs, fv = rec->firstVisibleMs, lv = rec->lastVisibleMs;
      bool box = rec->messageBox;
      *rec = seen;
      rec->controls = std::move(controls);
      rec->firstSeenMs = first;
      rec->firstVisibleMs = fv;
      rec->lastVisibleMs = lv;
      rec->messageBox = box;
    }
    rec->messageBox = rec->IsMessageBox();
    rec->lastSeenMs = now;
    if (seen.visible) {
      if (rec->firstVisibleMs < 0) rec->firstVisibleMs = now;
      rec->lastVisibleMs = now;
    }
  }

  void Observe(HWND hwnd) {
    WindowRecord w;
    double now = Now();
    if (ReadWindow(hwnd, w)) Merge(w, now);
  }

  // Every window call on another process's window is a round trip to the Wine server, so
  // the quick poll asks only for the main thread's windows; a full one every 100 ms finds
  // those of other threads and of the programs that it started.
  void Poll(bool full) {
    std::vector<HWND> alive = full ? TopWindowsOf(Pids()) : ThreadWindows(pi.dwThreadId);
    for (HWND h : alive) Observe(h);
    std::vector<WindowRecord> newBoxes;
    {
      std::lock_guard<std::mutex> lock(mu);
      for (WindowRecord& r : records) {
        if (r.gone) continue;
        if (!IsWindow(r.hwnd)) {
          r.gone = true;
          continue;
        }
        if (r.IsMessageBox() && r.visible &&
            std::find(boxesRead.begin(), boxesRead.end(), r.hwnd) == boxesRead.end()) {
          boxesRead.push_back(r.hwnd);
          newBoxes.push_back(r);
        }
      }
    }
    for (const WindowRecord& r : newBoxes) {
      MessageBoxInfo info = ReadMessageBox(r.hwnd);
      info.seenMs = r.firstSeenMs;
      {
        std::lock_guard<std::mutex> lock(mu);
        boxes.push_back(info);
      }
      if (request.answer == Answer::Ok) Click(r.hwnd, IDOK);
      if (request.answer == Answer::Close) PostMessageA(r.hwnd, WM_CLOSE, 0, 0);
    }
  }

  static bool Click(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    DWORD_PTR result = 0;
    return button && SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 2000, &result);
  }

  void CheckExit() {
    if (exited || WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0) return;
    double now = Now();
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    std::lock_guard<std::mutex> lock(mu);
    exited = true;
    exitCode = code;
    exitMs = now;
  }

  static thread_local State* hooked;
  // Window creation is reported while the creating thread waits, so even a window that
  // lives for a moment is recorded.
  static void CALLBACK OnCreate(HWINEVENTHOOK, DWORD, HWND hwnd, LONG object, LONG child, DWORD, DWORD) {
    if (!hooked || !hwnd || object != OBJID_WINDOW || child != CHILDID_SELF) return;
    HWND root = GetAncestor(hwnd, GA_ROOT);
    hooked->Observe(root ? root : hwnd);
  }

  void Watch() {
    hooked = this;
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_CREATE, nullptr, OnCreate,
                                         pi.dwProcessId, 0, WINEVENT_OUTOFCONTEXT);
    double lastFull = -1000;
    while (!stop) {
      double now = Now();
      bool full = exited || now - lastFull >= 100;
      if (full) lastFull = now;
      Poll(full);
      CheckExit();
      // Quick while the program runs, so that short-lived windows are seen.
      PumpAndSleep(exited ? 20 : 1);
    }
    CheckExit();
    Poll(true);
    if (hook) UnhookWinEvent(hook);
    hooked = nullptr;
  }
};

thread_local Session::State* Session::State::hooked = nullptr;

namespace {

bool SameName(const std::string& entry, const std::string& name) {
  return entry.size() > name.size() && entry[name.size()] == '=' &&
         _strnicmp(entry.c_str(), name.c_str(), name.size()) == 0;
}

// Our environment with the overrides applied, as a block for CreateProcessA.
std::string EnvironmentBlock(const RunSpec& request) {
  std::vector<std::string> entries;
  char* env = GetEnvironmentStringsA();
  for (const char* p = env; *p; p += std::strlen(p) + 1) entries.emplace_back(p);
  FreeEnvironmentStringsA(env);
  auto drop = [&](const std::string& name) {
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const std::string& e) { return SameName(e, name); }),
                  entries.end());
  };
  for (const std::string& name : request.unsetEnv) drop(name);
  for (const auto& [name, value] : request.env) {
    drop(name);
    entries.push_back(name + "=" + value);
  }
  std::string block;
  for (const std::string& e : entries) block += e + '\0';
  block += '\0';
  return block;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

Session::Session(const RunSpec& request) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.request = request;
  QueryPerformanceFrequency(&s.freq);
  std::string commandLine = request.commandLine.empty() ? "\"" + request.exe + "\"" : request.commandLine;
  std::string directory = request.directory.empty() ? FolderOf(request.exe) : request.directory;
  std::string env = EnvironmentBlock(request);

  s.job = CreateJobObjectA(nullptr, nullptr);
  if (s.job) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(s.job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
  STARTUPINFOA si{};
  si.cb = sizeof si;
  QueryPerformanceCounter(&s.t0);
  s.started = CreateProcessA(request.exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                             env.data(), directory.empty() ? nullptr : directory.c_str(), &si, &s.pi) != FALSE;
  if (!s.started) {
    std::fprintf(stderr, "harness: cannot start %s (error %lu)\n", request.exe.c_str(), GetLastError());
    return;
  }
  // Everything the program starts belongs to the job too, so a kill takes the whole tree.
  if (s.job && !AssignProcessToJobObject(s.job, s.pi.hProcess)) {
    CloseHandle(s.job);
    s.job = nullptr;
  }
  s.watcher = std::thread([&s] { s.Watch(); });
  ResumeThread(s.pi.hThread);
}

Session::~Session() {
  State& s = *state_;
  if (s.watcher.joinable()) {
    s.stop = true;
    s.watcher.join();
  }
  if (s.started) {
    Kill();
    CloseHandle(s.pi.hThread);
    CloseHandle(s.pi.hProcess);
  }
  if (s.job) CloseHandle(s.job);
}

bool Session::Started() const { return state_->started; }
DWORD Session::Pid() const { return state_->pi.dwProcessId; }
std::vector<DWORD> Session::TreePids() const { return state_->Pids(); }
double Session::NowMs() const { return state_->Now(); }

std::vector<WindowRecord> Session::Windows() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->records;
}

std::vector<MessageBoxInfo> Session::Boxes() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->boxes;
}

std::optional<WindowRecord> Session::WaitForWindow(const std::function<bool(const WindowRecord&)>& match,
                                                   unsigned timeoutMs) {
  double until = NowMs() + timeoutMs;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(state_->mu);
      for (const WindowRecord& r : state_->records)
        if (match(r)) return r;
    }
    if (!Started() || NowMs() >= until) return std::nullopt;
    Sleep(2);
  }
}

std::optional<MessageBoxInfo> Session::WaitForMessageBox(unsigned timeoutMs) {
  double until = NowMs() + timeoutMs;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(state_->mu);
      if (state_->boxesReturned < state_->boxes.size()) return state_->boxes[state_->boxesReturned++];
    }
    if (!Started() || NowMs() >= until) return std::nullopt;
    Sleep(2);
  }
}

bool Session::Click(HWND dialog, int id) { return State::Click(dialog, id); }

bool Session::Close(HWND window) { return PostMessageA(window, WM_CLOSE, 0, 0) != FALSE; }

bool Session::WaitForExit(unsigned timeoutMs) {
  State& s = *state_;
  if (!s.started) return false;
  if (WaitForSingleObject(s.pi.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
  s.CheckExit();
  return true;
}

void Session::Kill() {
  State& s = *state_;
  if (!s.started) return;
  if (s.job) TerminateJobObject(s.job, 1);
  TerminateProcess(s.pi.hProcess, 1);
  WaitForSingleObject(s.pi.hProcess, 5000);
}

RunResult Session::Finish(unsigned timeoutMs) {
  State& s = *state_;
  RunResult result;
  result.started = s.started;
  if (!s.started) return result;
  if (!WaitForExit(timeoutMs)) {
    result.timedOut = true;
    std::fprintf(stderr, "harness: %s still ran after %u ms; killed\n", s.request.exe.c_str(), timeoutMs);
    Kill();
  }
  if (s.watcher.joinable()) {
    s.stop = true;
    s.watcher.join();
  }
  s.CheckExit();
  std::lock_guard<std::mutex> lock(s.mu);
  result.exitCode = s.exitCode;
  result.elapsedMs = s.exitMs;
  result.windows = s.records;
  result.boxes = s.boxes;
  return result;
}

RunResult RunProgram(const RunSpec& request) {
  Session session(request);
  return session.Finish(request.timeoutMs);
}

std::vector<const WindowRecord*> RunResult::VisibleWindows() const {
  std::vector<const WindowRecord*> out;
  for (const WindowRecord& w : windows)
    if (w.EverVisible() && !w.IsMessageBox()) out.push_back(&w);
  return out;
}

const WindowRecord* RunResult::FindWindow(const std::function<bool(const WindowRecord&)>& match) const {
  for (const WindowRecord& w : windows)
    if (match(w)) return &w;
  return nullptr;
}

std::string RunResult::Describe() const {
  char line[512];
  std::string out;
  std::snprintf(line, sizeof line, "exit %lu after %.0f ms%s\n", exitCode, elapsedMs, timedOut ? " (killed)" : "");
  out += line;
  for (const WindowRecord& w : windows) {
    std::snprintf(line, sizeof line,
                  "window %p pid %lu \"%s\" \"%s\" at (%ld,%ld)-(%ld,%ld) seen %.0f-%.0f visible %.0f-%.0f%s\n",
                  static_cast<void*>(w.hwnd), w.pid, w.cls.c_str(), w.caption.c_str(), w.rect.left, w.rect.top,
                  w.rect.right, w.rect.bottom, w.firstSeenMs, w.lastSeenMs, w.firstVisibleMs, w.lastVisibleMs,
                  w.gone ? " gone" : "");
    out += line;
    for (const Control& c : w.controls) {
      std::snprintf(line, sizeof line, "  control %d \"%s\" \"%s\"%s\n", c.id, c.cls.c_str(), c.text.c_str(),
                    c.visible ? " visible" : "");
      out += line;
    }
  }
  for (const MessageBoxInfo& b : boxes) {
    std::snprintf(line, sizeof line, "box \"%s\" \"%s\" icon %s at %.0f ms\n", b.caption.c_str(), b.text.c_str(),
                  IconName(b.icon), b.seenMs);
    out += line;
  }
  return out;
}

}  // namespace harness
