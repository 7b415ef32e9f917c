// Holds a file as a preview pane or a virus scan does (others may read it; nobody may move,
// replace or delete it) until it is ended: file_holder PATH EVENT opens PATH, then sets the
// event EVENT and waits (two minutes at most).
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 3) return 64;
  const HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
  const HANDLE file =
      CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (held == nullptr || file == INVALID_HANDLE_VALUE) return 1;
  SetEvent(held);
  Sleep(120'000);
  return 0;
}
