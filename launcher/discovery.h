// Runtime discovery: is an installed runtime of the required version registered, and where.
#pragma once

constexpr const char* kRuntimeKeyPrefix = "SOFTWARE\\ROZozeve\\";

// Reads Run.RuntimeId and Run.RequiredVersion; sets HaveRuntime and RuntimePath; clears
// UseTempRuntime when the runtime is accepted.
void FindInstalledRuntime();
// After the installer: takes any existing registered executable, without a version test.
void ReadInstalledRuntimePath();
// A path names an existing file: attributes can be read and it is not a directory.
bool FileExists(const char* path);
