// FormatMessage, once for the program.
#include <windows.h>

#include "platform/kernel_handles.h"
#include "platform/system_error.h"

namespace tessaren {

std::string systemErrorText(unsigned long code) {
  LocalMemory<char*> text;
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument receives the text's address.
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(text.receive()), 0, nullptr);
  std::string message = length > 0 && text ? std::string(text.get(), length) : "error";
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  return message + " (" + std::to_string(code) + ")";
}

}  // namespace tessaren
