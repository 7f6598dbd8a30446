// Black-box test harness for qvloader.exe under Wine (no GoogleTest inside, so any test
// program can use it).
//
// Publications
//   Publication pub = MakePublication({{"GEN", PackBlock(Settings{}.Text())}, {"INFO", {}}});
//     copies bin/qvloader.exe (beside the test program) into a fresh folder whose name holds
//     blanks ("%TEMP%\qv e2e <pid>-<n>\") and writes the listed resources into it. A resource
//     with no bytes is written as a resource of 0 bytes; a resource not listed is missing.
//     RemovePublication(pub) deletes the folder and all it holds.
//   RegisteredRuntime rt(BinDir() + "qvrt_stub.exe", 5) registers a runtime under a fresh
//     GUID (rt.Id()) until it goes out of scope.
//   PackBlock(bytes) makes a packed block with the test producer; Settings{...}.Text() makes
//     the eleven settings items, each ended by CR LF.
//
// Running and watching
//   RunResult r = RunProgram({.exe = pub.exe});
//     starts the program (command line byte-exact, environment = ours plus overrides) in a
//     job, records the top-level windows of its process tree (class, caption, controls and
//     their texts, rect, visibility, first/last seen and visible), reads each message box
//     (caption, text, icon) and answers it with OK, waits for the end and returns exit code
//     and elapsed time. On timeout the whole tree is killed and r.timedOut is set;
//     r.Describe() lists everything recorded, for failure messages.
//   Session s(request) does the same step by step: WaitForWindow, WaitForMessageBox, Click,
//     Close, WaitForExit, Finish. Its destructor kills whatever of the tree still runs.
//
// Watching: the main thread's windows are polled about every millisecond, all windows of
// the tree every 100 ms, and every window the program creates is also read at its creation
// (a window event hook), so a window that never existed was really never there. A window
// that lives only a few milliseconds may still be missed in its visible state: keep the
// program busy (e.g. an installed stand-in runtime that signals late) to look at one.
// The message box icon is recognised by its pixels on the screen (icon handles cannot be
// compared across processes under Wine; its icon control is id 1088 there, not 0x14).
//
// Times are milliseconds since the process was created.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace harness {

// ---------------------------------------------------------------- publications

struct Resource {
  std::string name{};            // "GEN", "INFO", "RUN", "INST", ...
  std::vector<uint8_t> data{};   // empty: a resource of 0 bytes
  unsigned type = 10;            // RT_RCDATA
};

struct Publication {
  std::string dir;  // folder, ends with a backslash
  std::string exe;  // full path of the copied launcher
};

struct PublicationOptions {
  std::string source{};                // empty: BinDir() + "qvloader.exe"
  std::string exeName = "qvloader.exe";
};

// The folder of the running test program (where every built program lands), with a
// trailing backslash.
std::string BinDir();

// Aborts the calling test program with a message on any failure: a test cannot go on
// without its publication.
Publication MakePublication(const std::vector<Resource>& resources,
                            const PublicationOptions& options = {});
// Writes resources into an existing executable (same rules as above).
bool WriteResources(const std::string& exe, const std::vector<Resource>& resources);
void RemovePublication(const Publication& publication);

// A fresh empty folder under %TEMP% whose name holds blanks, with a trailing backslash.
std::string MakeTempFolder(const std::string& prefix = "qv e2e");
void RemoveFolder(const std::string& dir);

// ---------------------------------------------------------------- packed data

std::vector<uint8_t> ToBytes(const std::string& text);
// A packed block of the given bytes, as the publishing tool writes it (tag "ZQVC").
std::vector<uint8_t> PackBlock(const std::vector<uint8_t>& bytes);
inline std::vector<uint8_t> PackBlock(const std::string& text) { return PackBlock(ToBytes(text)); }

// The settings list of a publication, item by item; Text() ends every item with CR LF.
struct Settings {
  std::string Signature = "QVPUB";
  std::string Title = "Harness Publication";
  std::string RuntimeId = "{6B29FC40-CA47-1067-B31D-00DD010662DA}";
  std::string RequiredVersion = "5";
  std::string RunFromTemp = "0";
  std::string RuntimeEmbedded = "0";
  std::string OkCaption = "&Download";
  std::string CancelCaption = "&Cancel";
  std::string DownloadUrl = "http://example.invalid/runtime?id=1&v=5";
  std::string RuntimeFileName = "qvrt.exe";
  std::string SplashText = "Please wait...";
  std::string Text() const;
};

// ---------------------------------------------------------------- installed runtimes

// A runtime identifier in brace form, fresh for every call in every test process.
std::string FreshRuntimeId();

// A runtime installed as the launcher looks for it: HKLM\SOFTWARE\ROZozeve\<fresh GUID>
// with "Path" (REG_SZ) and "Version" (REG_DWORD). The destructor removes the key.
class RegisteredRuntime {
public:
  RegisteredRuntime(const std::string& path, DWORD version);
  ~RegisteredRuntime();
  RegisteredRuntime(const RegisteredRuntime&) = delete;
  RegisteredRuntime& operator=(const RegisteredRuntime&) = delete;

  bool Ok() const { return ok_; }
  const std::string& Id() const { return id_; }  // with braces, for Settings::RuntimeId

private:
  std::string id_;
  bool ok_ = false;
};

// ---------------------------------------------------------------- windows

enum class IconKind { None, Error, Warning, Information, Question, Unknown };
const char* IconName(IconKind kind);

struct Control {
  HWND hwnd = nullptr;
  int id = 0;
  std::string cls;
  std::string text;
  LONG style = 0;
  RECT rect{};       // screen coordinates
  bool visible = false;
};

struct WindowRecord {
  HWND hwnd = nullptr;
  DWORD pid = 0;
  std::string cls;
  std::string caption;
  LONG style = 0;
  LONG exStyle = 0;
  // Caption, rect and controls as last seen while the window was visible (as last seen at
  // all for a window never visible): what the user saw, not a window being torn down.
  RECT rect{};                 // screen coordinates
  bool visible = false;        // as last seen
  std::vector<Control> controls;  // every descendant (kept when it vanishes first)
  double firstSeenMs = -1, lastSeenMs = -1;
  double firstVisibleMs = -1, lastVisibleMs = -1;  // -1: never visible
  bool gone = false;           // no longer exists (or the process ended)
  bool messageBox = false;     // was seen as a message box

  bool EverVisible() const { return firstVisibleMs >= 0; }
  const Control* Find(int id) const;
  std::string ControlText(int id) const;  // "" when there is no such control
  bool IsMessageBox() const;              // "#32770" with a text static of id 0xFFFF (ever)
};

struct MessageBoxInfo {
  HWND hwnd = nullptr;
  std::string caption;
  std::string text;
  IconKind icon = IconKind::Unknown;
  double seenMs = -1;
};

// ---------------------------------------------------------------- running

enum class Answer { None, Ok, Close };

struct RunSpec {
  std::string exe{};          // application name given to CreateProcessA
  std::string commandLine{};  // byte-exact; empty: the exe in double quotes
  std::string directory{};    // empty: the folder of exe
  std::vector<std::pair<std::string, std::string>> env{};  // set or replace
  std::vector<std::string> unsetEnv{};                      // remove
  unsigned timeoutMs = 15000;
  Answer answer = Answer::Ok;  // what to do with each message box once it is read
};

struct RunResult {
  bool started = false;
  bool timedOut = false;   // the tree was killed
  DWORD exitCode = 0xFFFFFFFF;
  double elapsedMs = -1;
  std::vector<WindowRecord> windows;
  std::vector<MessageBoxInfo> boxes;

  // Windows other than message boxes that were ever visible.
  std::vector<const WindowRecord*> VisibleWindows() const;
  const WindowRecord* FindWindow(const std::function<bool(const WindowRecord&)>& match) const;
  // Everything recorded, one line per window, control and box: for failure messages.
  std::string Describe() const;
};

class Session {
public:
  explicit Session(const RunSpec& request);
  ~Session();  // kills what still runs
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool Started() const;
  DWORD Pid() const;
  std::vector<DWORD> TreePids() const;  // the program first, then the live processes it started
  double NowMs() const;  // since the process was created

  std::vector<WindowRecord> Windows() const;
  std::vector<MessageBoxInfo> Boxes() const;
  // Polls until a recorded window matches (alive or not); nullopt on timeout.
  std::optional<WindowRecord> WaitForWindow(const std::function<bool(const WindowRecord&)>& match,
                                            unsigned timeoutMs);
  // The next message box not yet returned by this call, read but not answered (with
  // Answer::None; with other answers the watcher answers it itself).
  std::optional<MessageBoxInfo> WaitForMessageBox(unsigned timeoutMs);
  bool Click(HWND dialog, int id);  // BM_CLICK on a dialog's button
  bool Close(HWND window);          // WM_CLOSE
  bool WaitForExit(unsigned timeoutMs);
  // Waits for the end (kills the tree after timeoutMs) and returns everything recorded.
  RunResult Finish(unsigned timeoutMs);
  void Kill();

  struct State;

private:
  std::unique_ptr<State> state_;
};

// Session(request).Finish(request.timeoutMs).
RunResult RunProgram(const RunSpec& request);

// Reads one message box of any process: caption, text of static 0xFFFF, icon.
MessageBoxInfo ReadMessageBox(HWND box);

}  // namespace harness
