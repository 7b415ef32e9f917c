// Every text of About and Properties fits its control at 100, 125, 150 and 200 % scaling,
// measured with the dialog's own font, no control overlaps another or leaves the dialog,
// and Properties keeps to its grid (res/resource.h). Every child control is looked at, so
// a control added later is covered too. Wine reads the scaling (LogPixels) when a process
// starts: each scale is measured by a child process started after the setting changed.
// With TESSAREN_SCREENSHOT_DIR set, each child also saves Properties as a BMP there.
#include <windows.h>
// after windows.h, which they need
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "app/program.h"
#include "app/update_feedback.h"
#include "platform/wide_text.h"
#include "res/resource.h"

namespace tessaren {
namespace {

constexpr int kScales[] = {96, 120, 144, 192};  // 100, 125, 150 and 200 %
constexpr char kScaleVariable[] = "TESSAREN_FIT_DPI";
// Two texts closer than this (in dialog units) read as one.
constexpr int kTextGap = 3;

std::string windowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), int(text.size()))));
  return utf8Text(text.c_str());
}

std::string classOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

RECT rectIn(HWND dialog, HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

int dialogUnitsToPixels(HWND dialog, int units) {
  RECT rect{0, 0, units, 0};
  MapDialogRect(dialog, &rect);
  return rect.right;
}

// The size text takes in control's font: on one line, or wrapped at width.
SIZE textSize(HWND control, const std::string& text, std::optional<int> wrapAt, bool prefix) {
  HDC dc = GetDC(control);
  const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  HGDIOBJ old = SelectObject(dc, font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
  const std::wstring wide = wideText(text);
  RECT rect{0, 0, wrapAt.value_or(0), 0};
  UINT flags = DT_CALCRECT | DT_EXPANDTABS | (wrapAt ? DT_WORDBREAK : DT_SINGLELINE);
  if (!prefix) flags |= DT_NOPREFIX;
  DrawTextW(dc, wide.c_str(), -1, &rect, flags);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

struct Measured {
  std::optional<SIZE> text;  // the space its text takes, from the control's left edge
  std::string problem;       // empty when the text fits
};

std::string tooSmall(const SIZE& needs, const SIZE& has) {
  return "needs " + std::to_string(needs.cx) + " x " + std::to_string(needs.cy) + " px, has " +
         std::to_string(has.cx) + " x " + std::to_string(has.cy);
}

// Whether control shows all of its text, by the way its class draws it.
Measured measure(HWND control) {
  const std::string kind = classOf(control);
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE));
  RECT client{};
  GetClientRect(control, &client);
  const SIZE has{client.right, client.bottom};
  const std::string text = windowText(control);
  Measured result;
  if (kind == "Static") {
    const DWORD type = style & SS_TYPEMASK;
    // An icon has no text; a path shortened with an ellipsis is meant to be.
    if (type == SS_ICON || type == SS_BITMAP || (style & SS_ELLIPSISMASK) != 0 || text.empty())
      return result;
    const bool wraps = type != SS_LEFTNOWORDWRAP && type != SS_SIMPLE;
    const SIZE needs = textSize(control, text, wraps ? std::optional<int>(has.cx) : std::nullopt,
                                (style & SS_NOPREFIX) == 0);
    result.text = needs;
    if (needs.cx > has.cx || needs.cy > has.cy) result.problem = tooSmall(needs, has);
  } else if (kind == "Button") {
    const DWORD type = style & BS_TYPEMASK;
    if (type == BS_GROUPBOX || text.empty()) return result;
    SIZE needs = textSize(control, text, std::nullopt, true);
    const bool box = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                     type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE;
    // The box and the gap before the text; a push button's frame and focus rectangle.
    needs.cx += box ? GetSystemMetrics(SM_CXMENUCHECK) + GetSystemMetrics(SM_CXEDGE) * 2
                    : (GetSystemMetrics(SM_CXEDGE) + 2) * 2;
    result.text = needs;
    if (needs.cx > has.cx || needs.cy > has.cy) result.problem = tooSmall(needs, has);
  } else if (kind == "Edit") {
    // A box that scrolls shows any text; one that does not must show all of it.
    if ((style & ES_AUTOHSCROLL) != 0 || (style & ES_MULTILINE) != 0) return result;
    RECT shown{};
    SendMessageW(control, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&shown));
    const SIZE needs = textSize(control, text, std::nullopt, false);
    const SIZE room{shown.right - shown.left, shown.bottom - shown.top};
    if (needs.cx > room.cx || needs.cy > room.cy) result.problem = tooSmall(needs, room);
  } else if (kind == "ComboBox") {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    GetComboBoxInfo(control, &info);
    const SIZE room{info.rcItem.right - info.rcItem.left, info.rcItem.bottom - info.rcItem.top};
    const auto count = SendMessageW(control, CB_GETCOUNT, 0, 0);
    for (LRESULT item = 0; item < count; ++item) {
      std::wstring entry(
          static_cast<std::size_t>(SendMessageW(control, CB_GETLBTEXTLEN, item, 0)) + 1, L'\0');
      SendMessageW(control, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(entry.data()));
      const std::string entryText = utf8Text(entry.c_str());
      const SIZE needs = textSize(control, entryText, std::nullopt, false);
      if (needs.cx > room.cx || needs.cy > room.cy)
        result.problem += "\"" + entryText + "\" " + tooSmall(needs, room) + "; ";
    }
  }
  return result;
}

std::string nameOf(HWND control) {
  const std::string text = windowText(control);
  return classOf(control) + " " + std::to_string(GetDlgCtrlID(control)) +
         (text.empty() ? "" : " \"" + text.substr(0, 60) + "\"");
}

std::vector<HWND> childrenOf(HWND dialog) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT))
    if (IsWindowVisible(child)) children.push_back(child);
  return children;
}

bool buddies(HWND a, HWND b) {
  const auto buddyOf = [](HWND spin) {
    return classOf(spin) == UPDOWN_CLASSA
               ? reinterpret_cast<HWND>(SendMessageW(spin, UDM_GETBUDDY, 0, 0))
               : nullptr;
  };
  return buddyOf(a) == b || buddyOf(b) == a;
}

// What is wrong with the dialog as it is now: texts that do not fit, texts that run into
// the control beside them, controls that overlap or leave the dialog.
std::vector<std::string> problemsOf(HWND dialog) {
  std::vector<std::string> problems;
  RECT client{};
  GetClientRect(dialog, &client);
  const int gap = dialogUnitsToPixels(dialog, kTextGap);
  const std::vector<HWND> children = childrenOf(dialog);
  for (HWND control : children) {
    const RECT at = rectIn(dialog, control);
    const Measured measured = measure(control);
    if (!measured.problem.empty())
      problems.push_back(nameOf(control) + ": its text " + measured.problem);
    if (at.left < client.left || at.top < client.top || at.right > client.right ||
        at.bottom > client.bottom)
      problems.push_back(nameOf(control) + " reaches outside the dialog");
    for (HWND other : children) {
      if (other == control || buddies(control, other)) continue;
      const RECT there = rectIn(dialog, other);
      RECT common{};
      if (other > control && IntersectRect(&common, &at, &there))
        problems.push_back(nameOf(control) + " overlaps " + nameOf(other));
      // Text that ends right at the next control on its row reads as part of it.
      const bool sameRow = there.top < at.bottom && at.top < there.bottom;
      if (measured.text && sameRow && there.left >= at.right &&
          at.left + measured.text->cx + gap > there.left)
        problems.push_back(nameOf(control) + ": its text ends less than " +
                           std::to_string(kTextGap) + " dialog units before " + nameOf(other));
    }
  }
  return problems;
}

// Properties' grid: an edge near a column or the right margin is on it (an edge 2 px off
// is a mistake nobody meant). The dialog maps a control's place and its size to pixels
// apart, so its right edge may be a pixel from the margin's.
std::vector<std::string> offTheGrid(HWND dialog) {
  constexpr int kNear = 6;  // dialog units
  const int close = dialogUnitsToPixels(dialog, kNear);
  const int columns[] = {dialogUnitsToPixels(dialog, PROPERTIES_LABEL_X),
                         dialogUnitsToPixels(dialog, PROPERTIES_FIELD_X)};
  const int right = dialogUnitsToPixels(dialog, PROPERTIES_RIGHT);
  std::vector<std::string> problems;
  for (HWND control : childrenOf(dialog)) {
    const RECT at = rectIn(dialog, control);
    for (int column : columns)
      if (at.left != column && std::abs(at.left - column) < close)
        problems.push_back(nameOf(control) + " starts at " + std::to_string(at.left) +
                           " px, beside the column at " + std::to_string(column));
    if (std::abs(at.right - right) > 1 && std::abs(at.right - right) < close)
      problems.push_back(nameOf(control) + " ends at " + std::to_string(at.right) +
                         " px, beside the margin at " + std::to_string(right));
  }
  return problems;
}

// The About box's lines as they read after a day of updates, at their longest.
class AboutSample final : public AboutView {
 public:
  void dialogShown(HWND) override {}
  void dialogGone(HWND) override {}
  AboutState aboutState() override {
    const std::time_t now = 1'800'000'000;
    UpdateRecord success;
    success.when = now - 3600;
    success.host = "satellite-images.weather.example.com";
    success.width = 3840;
    success.height = 2160;
    success.format = "JPEG";
    success.bytes = 2'400'000;
    success.unchanged = true;
    success.pictureUrl = "https://cdn.weather.example.com/images/2027/01/15/europe-full.jpg";
    success.origin = "og:image";
    UpdateRecord failure;
    failure.when = now - 90'000;
    failure.host = success.host;
    failure.reason = "the page names a picture on a private network address: 192.168.100.100";
    return {lastUpdateLine(success, now), pictureLine(success), lastFailureLine(failure, now),
            nextUpdateLine(now + 86'000, false, now + 86'000, now)};
  }
  std::string logPath() override { return "C:\\tessaren.log"; }
};

// Properties with settings as long as people type them; Check answers nothing.
class PropertiesSample final : public PropertiesHost {
 public:
  void dialogShown(HWND) override {}
  void dialogGone(HWND) override {}
  Settings storedSettings() override {
    return Settings{"https://satellite-images.weather.example.com/latest/europe.jpg",
                    "C:\\Users\\Somebody\\Pictures\\Tessaren\\",
                    kLongestInterval,
                    DisplayMode::Span,
                    true,
                    "/images/0/url"};
  }
  bool startsWithWindows() override { return true; }
  CheckedFields checkedFields(const PropertiesFields& fields, const Settings& loaded) override {
    return checkFields(fields, loaded, platformFiles(), 1'800'000'000);
  }
  void saveSettings(const Settings&, bool) override {}
  void checkAddress(const Settings&, std::shared_ptr<CancelToken>,
                    std::function<void(const std::string&)>) override {}
};

// The answers Check gives, the longest of each kind.
std::vector<std::string> checkAnswers() {
  PropertiesSample sample;
  const Settings loaded = sample.storedSettings();
  PropertiesFields fields = fieldsFor(loaded);
  std::vector<std::string> answers;
  for (const auto& [url, pointer] : std::vector<std::pair<std::string, std::string>>{
           {"ftp://files.example/picture.jpg", ""},
           {"https://maps.example/{utc:%Q}.png", ""},
           {"https://maps.example/data.json", "images/0/url"},
           {"https://maps.example/data.json", "/images/~2/url"}}) {
    fields.url = url;
    fields.pointer = pointer;
    const CheckedFields checked = sample.checkedFields(fields, loaded);
    if (checked.problem) answers.push_back(checked.problem->message);
  }
  UpdateOutcome found;
  found.kind = OutcomeKind::Updated;
  found.pictureUrl =
      "https://satellite-images.weather.example.com/images/2027/01/15/europe-full-disk.jpg";
  found.origin = "feed item \"Europe, full disk, 15 January\"";
  found.width = 10'000;
  found.height = 10'000;
  found.format = "JPEG";
  found.bytes = 24'000'000;
  answers.push_back(checkResultText(found));
  answers.push_back(checkResultText(failedOutcome(
      "127.0.0.1", Failure{FailureKind::Unreachable, "can't connect to 127.0.0.1:9"})));
  return answers;
}

// Shows a dialog and lets it draw itself.
void show(HWND dialog) {
  ShowWindow(dialog, SW_SHOW);
  UpdateWindow(dialog);
  MSG message;
  for (int round = 0; round < 20; ++round) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(10);
  }
}

// The dialog as the screen shows it, as a 24-bit BMP.
void saveScreenshot(HWND dialog, const std::string& path) {
  RECT at{};
  GetWindowRect(dialog, &at);
  const int width = at.right - at.left;
  const int height = at.bottom - at.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, at.left, at.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  const DWORD size = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof file + sizeof info.bmiHeader + size), 0,
                        0, static_cast<DWORD>(sizeof file + sizeof info.bmiHeader)};
  if (FILE* out = std::fopen(path.c_str(), "wb")) {
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
    std::fwrite(bits, 1, size, out);
    std::fclose(out);
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "\n  " + line;
  return text;
}

// Run only as a child of AtEveryScale, at the scale it set.
TEST(DialogFit, DISABLED_AtThisProcessScale) {
  const char* expected = std::getenv(kScaleVariable);
  ASSERT_NE(expected, nullptr) << "run by DialogFit.AtEveryScale";
  registerMainClass(GetModuleHandleW(nullptr));
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  ASSERT_EQ(dpi, std::atoi(expected)) << "the scale did not take";
  const std::string scale = std::to_string(dpi * 100 / 96) + " %";

  AboutSample about;
  HWND aboutBox = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUTBOX),
                                     nullptr, aboutDialogProc,
                                     reinterpret_cast<LPARAM>(static_cast<AboutView*>(&about)));
  ASSERT_NE(aboutBox, nullptr);
  show(aboutBox);
  EXPECT_EQ(joined(problemsOf(aboutBox)), "") << "About at " << scale;
  DestroyWindow(aboutBox);

  PropertiesSample properties;
  HWND dialog = CreateDialogParamW(
      GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROPERTIES), nullptr, propertiesDialogProc,
      reinterpret_cast<LPARAM>(static_cast<PropertiesHost*>(&properties)));
  ASSERT_NE(dialog, nullptr);
  show(dialog);
  EXPECT_EQ(joined(offTheGrid(dialog)), "") << "Properties at " << scale;
  for (const std::string& answer : checkAnswers()) {
    SetDlgItemTextW(dialog, IDC_PROPERTIES_CHECK_RESULT, wideText(answer).c_str());
    EXPECT_EQ(joined(problemsOf(dialog)), "") << "Properties at " << scale << " answering\n"
                                              << answer;
  }
  if (const char* folder = std::getenv("TESSAREN_SCREENSHOT_DIR")) {
    SetDlgItemTextW(dialog, IDC_PROPERTIES_CHECK_RESULT, wideText(checkAnswers().back()).c_str());
    show(dialog);
    saveScreenshot(dialog,
                   std::string(folder) + "\\properties-" + std::to_string(dpi * 100 / 96) + ".bmp");
  }
  DestroyWindow(dialog);
}

// The scaling Wine gives the processes it starts, set for as long as the object lives.
class SystemScale {
 public:
  explicit SystemScale(DWORD dpi) {
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                    KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr);
    DWORD size = sizeof old_;
    hadOld_ = RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_),
                               &size) == ERROR_SUCCESS;
    RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                   sizeof dpi);
  }
  ~SystemScale() {
    if (hadOld_)
      RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_),
                     sizeof old_);
    else
      RegDeleteValueW(key_, L"LogPixels");
    RegCloseKey(key_);
  }
  SystemScale(const SystemScale&) = delete;
  SystemScale& operator=(const SystemScale&) = delete;

 private:
  HKEY key_ = nullptr;
  DWORD old_ = 0;
  bool hadOld_ = false;
};

TEST(DialogFit, AtEveryScale) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  for (const int dpi : kScales) {
    SCOPED_TRACE(std::to_string(dpi * 100 / 96) + " %");
    const SystemScale scale(static_cast<DWORD>(dpi));
    SetEnvironmentVariableA(kScaleVariable, std::to_string(dpi).c_str());
    std::wstring line = L"\"" + std::wstring(self) +
                        L"\" --gtest_also_run_disabled_tests "
                        L"--gtest_filter=DialogFit.DISABLED_AtThisProcessScale";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(code, 0u) << "the dialogs do not fit (the child's report is above)";
  }
  SetEnvironmentVariableA(kScaleVariable, nullptr);
}

}  // namespace
}  // namespace tessaren
