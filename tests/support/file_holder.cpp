// Holds a file as a preview pane or a virus scan does (others may read it; nobody may move,
// replace or delete it) until told to let go: file_holder PATH EVENTS opens PATH, sets the
// event EVENTS.held, and lets go once EVENTS.release is set (or after two minutes).
#include <windows.h>

#include <string>

int main(int argc, char** argv) {
  if (argc != 3) return 64;
  const std::string events = argv[2];
  const HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, (events + ".held").c_str());
  const HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, (events + ".release").c_str());
  const HANDLE file =
      CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (held == nullptr || release == nullptr || file == INVALID_HANDLE_VALUE) return 1;
  SetEvent(held);
  WaitForSingleObject(release, 120'000);
  return 0;
}
