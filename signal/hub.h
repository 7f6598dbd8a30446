// The message hub: gives a thread one hidden top-level window and routes chosen window
// messages to attached handlers. Any thread may use it; one named mutex guards its table.
#pragma once
#include <windows.h>

#include "base/list.h"

typedef void (*TMsgHandlerProc)(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
typedef void (*TBoundMsgHandlerCode)(void* context, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     LRESULT& result);

struct TBoundMsgHandler {
  TBoundMsgHandlerCode Code = nullptr;
  void* Context = nullptr;
};

struct TMsgHandler {
  UINT Message;
  TMsgHandlerProc Procedure;
  TBoundMsgHandlerCode BoundCode;
  void* BoundContext;
};

typedef TPodList<TMsgHandler> TMsgHandlers;

struct THubThread {
  DWORD ThreadId;
  HWND Window;
  TMsgHandlers* Handlers;
};

extern TPodList<THubThread> HubThreads;
extern HANDLE HubMutex;

HWND GetHubWindow(DWORD threadId);
UINT AttachMessageHandler(TMsgHandlerProc procedure, UINT message, DWORD threadId,
                          TBoundMsgHandler bound = TBoundMsgHandler());
void DetachMessageHandler(TMsgHandlerProc procedure, UINT message, DWORD threadId,
                          TBoundMsgHandler bound = TBoundMsgHandler());
LRESULT CALLBACK HubWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Writes "$<thread id>$<address of GetHubWindow>" (lowercase hex) into out; for tests too.
void BuildHubNameSuffix(DWORD threadId, char* out, unsigned outSize);
