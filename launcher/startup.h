// The launcher's entry sequence and its two ends.
#pragma once

// Walks the start-up sequence; returns at the normal end of the run.
void RunLoader();
// Destroys the wait window if there is one and ends the process with exit code 0.
[[noreturn]] void ErrorExit();
// A message box with the error icon, owned by the active window, then the error exit.
[[noreturn]] void FailWithMessage(const char* caption, const char* text);
