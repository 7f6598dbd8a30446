// Reading windows of other processes: records, message boxes and their icons.
#include <windows.h>

#include <cstring>

#include "tests/win/harness/harness.h"
#include "tests/win/harness/watch.h"

namespace harness {
namespace {

std::string ClassOf(HWND hwnd) {
  char buf[256];
  int n = GetClassNameA(hwnd, buf, sizeof buf);
  return std::string(buf, n > 0 ? n : 0);
}

// GetWindowTextA reads the text that the system keeps for a window of another process
// without sending it a message, so a busy launcher cannot stall the watcher. Rich edit
// controls keep their text themselves and are asked, with a short time limit.
std::string TextOf(HWND hwnd, const std::string& cls) {
  if (_strnicmp(cls.c_str(), "RichEdit", 8) == 0) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 200, &length)) return {};
    std::string text(length + 1, '\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                             200, &got))
      return {};
    text.resize(got < text.size() ? got : text.size() - 1);
    return text;
  }
  int n = GetWindowTextLengthA(hwnd);
  std::string text(n + 1, '\0');
  n = GetWindowTextA(hwnd, text.data(), n + 1);
  text.resize(n > 0 ? n : 0);
  return text;
}

BOOL CALLBACK AddControl(HWND hwnd, LPARAM lp) {
  auto* controls = reinterpret_cast<std::vector<Control>*>(lp);
  Control c;
  c.hwnd = hwnd;
  c.id = GetDlgCtrlID(hwnd);
  c.cls = ClassOf(hwnd);
  c.text = TextOf(hwnd, c.cls);
  c.style = GetWindowLongA(hwnd, GWL_STYLE);
  GetWindowRect(hwnd, &c.rect);
  c.visible = IsWindowVisible(hwnd) != FALSE;
  controls->push_back(std::move(c));
  return TRUE;
}

BOOL CALLBACK AddHandle(HWND hwnd, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
  return TRUE;
}

struct EnumTop {
  const std::vector<DWORD>* pids;
  std::vector<HWND> found;
};

BOOL CALLBACK AddTop(HWND hwnd, LPARAM lp) {
  auto* e = reinterpret_cast<EnumTop*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  for (DWORD p : *e->pids)
    if (p == pid) {
      e->found.push_back(hwnd);
      break;
    }
  return TRUE;
}

// A 32-bit top-down bitmap that a DC can draw into; pixels in Bits.
struct Canvas {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  uint32_t* bits = nullptr;
  int w, h;

  Canvas(int width, int height) : w(width), h(height) {
    HDC screen = GetDC(nullptr);
    dc = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* p = nullptr;
    bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<uint32_t*>(p);
    old = SelectObject(dc, bitmap);
    ReleaseDC(nullptr, screen);
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  bool Same(const Canvas& other) const {
    if (!bits || !other.bits) return false;
    for (int i = 0; i < w * h; ++i)
      if ((bits[i] & 0xFFFFFF) != (other.bits[i] & 0xFFFFFF)) return false;
    return true;
  }
};

// Icon handles belong to the process that loaded them, so the box's icon cannot be compared
// by handle. What the user sees can: the icon control's pixels on the screen against each
// standard icon drawn the way a static icon control draws it.
IconKind IconByPixels(HWND icon) {
  RECT r;
  if (!GetWindowRect(icon, &r)) return IconKind::Unknown;
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0 || w > 256 || h > 256) return IconKind::Unknown;
  static const struct {
    LPCSTR id;
    IconKind kind;
  } kinds[] = {{IDI_HAND, IconKind::Error},
               {IDI_EXCLAMATION, IconKind::Warning},
               {IDI_ASTERISK, IconKind::Information},
               {IDI_QUESTION, IconKind::Question}};
  std::vector<std::unique_ptr<Canvas>> refs;
  for (const auto& k : kinds) {
    auto c = std::make_unique<Canvas>(w, h);
    RECT all{0, 0, w, h};
    FillRect(c->dc, &all, GetSysColorBrush(COLOR_3DFACE));
    DrawIconEx(c->dc, 0, 0, LoadIconA(nullptr, k.id), w, h, 0, nullptr, DI_NORMAL);
    refs.push_back(std::move(c));
  }
  GdiFlush();
  // The box paints a moment after it appears; give it a second.
  for (int attempt = 0; attempt < 100; ++attempt) {
    Canvas shot(w, h);
    HDC screen = GetDC(nullptr);
    BitBlt(shot.dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    GdiFlush();
    for (size_t i = 0; i < refs.size(); ++i)
      if (shot.Same(*refs[i])) return kinds[i].kind;
    PumpAndSleep(10);
  }
  return IconKind::Unknown;
}

}  // namespace

void PumpAndSleep(DWORD ms) {
  MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

const char* IconName(IconKind kind) {
  switch (kind) {
    case IconKind::None: return "none";
    case IconKind::Error: return "error";
    case IconKind::Warning: return "warning";
    case IconKind::Information: return "information";
    case IconKind::Question: return "question";
    case IconKind::Unknown: break;
  }
  return "unknown";
}

const Control* WindowRecord::Find(int id) const {
  for (const Control& c : controls)
    if (c.id == id) return &c;
  return nullptr;
}

std::string WindowRecord::ControlText(int id) const {
  const Control* c = Find(id);
  return c ? c->text : std::string();
}

bool WindowRecord::IsMessageBox() const {
  if (messageBox) return true;
  const Control* text = Find(0xFFFF);
  return cls == "#32770" && text && _stricmp(text->cls.c_str(), "Static") == 0;
}

std::vector<HWND> TopWindowsOf(const std::vector<DWORD>& pids) {
  EnumTop e{&pids, {}};
  EnumWindows(AddTop, reinterpret_cast<LPARAM>(&e));
  return e.found;
}

std::vector<HWND> ThreadWindows(DWORD tid) {
  std::vector<HWND> found;
  EnumThreadWindows(tid, AddHandle, reinterpret_cast<LPARAM>(&found));
  return found;
}

bool ReadWindow(HWND hwnd, WindowRecord& out) {
  out.hwnd = hwnd;
  GetWindowThreadProcessId(hwnd, &out.pid);
  out.cls = ClassOf(hwnd);
  out.caption = TextOf(hwnd, out.cls);
  out.style = GetWindowLongA(hwnd, GWL_STYLE);
  out.exStyle = GetWindowLongA(hwnd, GWL_EXSTYLE);
  GetWindowRect(hwnd, &out.rect);
  out.controls.clear();
  EnumChildWindows(hwnd, AddControl, reinterpret_cast<LPARAM>(&out.controls));
  // Destroying a window hides it before its controls go, so a window still visible after
  // its controls were read had them intact.
  out.visible = IsWindowVisible(hwnd) != FALSE;
  // A window destroyed while it was read yields a mixture; drop it.
  return IsWindow(hwnd) != FALSE;
}

MessageBoxInfo ReadMessageBox(HWND box) {
  MessageBoxInfo info;
  info.hwnd = box;
  WindowRecord w;
  ReadWindow(box, w);
  info.caption = w.caption;
  info.text = w.ControlText(0xFFFF);
  info.icon = IconKind::None;
  for (const Control& c : w.controls) {
    if (_stricmp(c.cls.c_str(), "Static") != 0 || (c.style & SS_TYPEMASK) != SS_ICON) continue;
    DWORD_PTR icon = 0;
    SendMessageTimeoutA(c.hwnd, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 500, &icon);
    if (icon && c.visible) info.icon = IconByPixels(c.hwnd);
    break;
  }
  return info;
}

}  // namespace harness
