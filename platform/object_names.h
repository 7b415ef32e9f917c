// The names other processes find the program by: its window classes and its kernel
// objects, in one place. The program, tessaren.com and the tests read them here; the
// installer's copy (object_names.nsh) is made from this file at build time by
// scripts/object-names, so a name changed here changes there too.
#pragma once

namespace tessaren {

// The hidden main window's class. Only a window of this class whose process holds the
// program record below is the running program.
inline constexpr char kMainWindowClass[] = "TESSAREN";
// The message-only window that takes /status's answer in the asking tessaren.exe.
inline constexpr char kStatusReplyClass[] = "Tessaren.StatusReply";
// The per-user mutex held by the running program for its whole life (and by /uninstall
// while it removes files): "Global\<name>.<SID>", or "Local\..." where that is refused.
inline constexpr char kSingleInstanceMutex[] = "Tessaren.SingleInstance";
// The per-user mutex around the log's rotation.
inline constexpr char kLogMutex[] = "Tessaren.Log";
// The named section in which the copy holding kSingleInstanceMutex says which process and
// window it is: "Local\<name>.<SID>".
inline constexpr char kProgramRecord[] = "Tessaren.Program";
// The soak build's question for its counters (a registered window message).
inline constexpr char kCountersMessage[] = "Tessaren.Counters";

}  // namespace tessaren
