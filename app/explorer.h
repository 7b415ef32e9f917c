// The shell's ways to show files: Explorer on a folder, with one of its files selected when
// it is there, and a document in the program that opens its type. Windows only.
#pragma once

#include <windows.h>

#include <string>

namespace tessaren {

// Says so in a message box owned by owner when the folder cannot be shown.
void showInExplorer(HWND owner, const std::string& folder, const std::string& fileName);

// Opens path with the program Windows associates with its type, or with Notepad where
// there is none. 0 when a program started, else the system's error number. process, when
// given, receives the started program's process when the shell hands one out (the caller
// closes it).
unsigned long openDocument(HWND owner, const std::string& path, HANDLE* process = nullptr);

}  // namespace tessaren
