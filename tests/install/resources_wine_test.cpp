// The resources built into tessaren.exe, read the way Windows reads them: every icon at
// every size the shell asks for (100 to 300 % scaling), in 32-bit colour with alpha; the
// version resource and the About box's version line, both from the project's version.
#include <windows.h>
// after windows.h, which they need
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "res/resource.h"
#include "res/version.h"

namespace {

struct IconCase {
  int id;
  const char* name;
  std::set<int> sizes;
  bool opaque;  // the wall fills its square; the tray pictures stand on a clear ground
};

const std::set<int> kShellSizes{16, 20, 24, 32, 40, 48};

const IconCase kIcons[] = {
    {IDI_TESSAREN, "program", {16, 20, 24, 32, 40, 48, 256}, true},
    {IDI_SMALL, "small", kShellSizes, false},
    {IDI_TRAY_LOADING, "loading", kShellSizes, false},
    {IDI_TRAY_ERROR, "error", kShellSizes, false},
    {IDI_TRAY_READY, "ready", kShellSizes, false},
};

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width;
  BYTE height;
  BYTE colourCount;
  BYTE reserved;
  WORD planes;
  WORD bitCount;
  DWORD bytes;
  WORD id;
};
struct GroupIconHeader {
  WORD reserved;
  WORD type;
  WORD count;
};
#pragma pack(pop)

std::wstring widen(const char* text) { return std::wstring(text, text + std::strlen(text)); }

std::wstring exePath() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self);
  path.erase(path.find_last_of(L"\\/") + 1);
  for (wchar_t c : widen(TESSAREN_EXE_FROM_TEST)) path += c == L'/' ? L'\\' : c;
  return path;
}

struct Resource {
  const BYTE* data = nullptr;
  DWORD size = 0;
};

class TessarenResources : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = LoadLibraryExW(exePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }
  static void TearDownTestSuite() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(module_, nullptr) << "cannot load " TESSAREN_EXE_FROM_TEST; }

  static Resource find(LPCSTR name, LPCSTR type) {
    HRSRC found = FindResourceA(module_, name, type);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(module_, found);
    return {static_cast<const BYTE*>(LockResource(loaded)), SizeofResource(module_, found)};
  }

  static std::vector<GroupIconEntry> entries(int id) {
    const Resource group = find(MAKEINTRESOURCEA(id), RT_GROUP_ICON);
    std::vector<GroupIconEntry> result;
    if (group.size < sizeof(GroupIconHeader)) return result;
    GroupIconHeader header;
    std::memcpy(&header, group.data, sizeof header);
    if (group.size < sizeof header + header.count * sizeof(GroupIconEntry)) return result;
    result.resize(header.count);
    std::memcpy(result.data(), group.data + sizeof header, header.count * sizeof(GroupIconEntry));
    return result;
  }

  static HMODULE module_;
};

HMODULE TessarenResources::module_ = nullptr;

// Width, height and alpha of an icon as Windows made it.
struct IconPixels {
  int width = 0;
  int height = 0;
  int transparent = 0;
  int opaque = 0;
};

IconPixels pixelsOf(HICON icon) {
  IconPixels result;
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return result;
  BITMAP bitmap{};
  if (info.hbmColor != nullptr && GetObjectW(info.hbmColor, sizeof bitmap, &bitmap) != 0) {
    result.width = bitmap.bmWidth;
    result.height = bitmap.bmHeight;
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = bitmap.bmWidth;
    format.bmiHeader.biHeight = -bitmap.bmHeight;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> pixels(static_cast<size_t>(bitmap.bmWidth) * bitmap.bmHeight);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, info.hbmColor, 0, bitmap.bmHeight, pixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (std::uint32_t pixel : pixels) {
      const std::uint32_t alpha = pixel >> 24;
      result.transparent += alpha == 0;
      result.opaque += alpha == 255;
    }
  }
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
  return result;
}

TEST_F(TessarenResources, EveryIconHoldsEachSizeOnceIn32BitColour) {
  for (const IconCase& icon : kIcons) {
    SCOPED_TRACE(icon.name);
    std::multiset<int> sizes;
    for (const GroupIconEntry& entry : entries(icon.id)) {
      const int size = entry.width == 0 ? 256 : entry.width;
      sizes.insert(size);
      EXPECT_EQ(entry.height == 0 ? 256 : entry.height, size);
      EXPECT_EQ(entry.bitCount, 32) << size << " px";
      const Resource image = find(MAKEINTRESOURCEA(entry.id), RT_ICON);
      ASSERT_GE(image.size, 40u) << size << " px";
      EXPECT_EQ(image.size, entry.bytes) << size << " px";
      if (size > 48) {
        // Large images are PNG-compressed, as the shell expects at 256 px.
        ASSERT_EQ(std::memcmp(image.data, "\x89PNG\r\n\x1a\n", 8), 0) << size << " px";
        const BYTE* header = image.data + 16;  // IHDR: width, height, big-endian
        EXPECT_EQ((header[0] << 24) | (header[1] << 16) | (header[2] << 8) | header[3], size);
        EXPECT_EQ((header[4] << 24) | (header[5] << 16) | (header[6] << 8) | header[7], size);
      } else {
        BITMAPINFOHEADER header;
        std::memcpy(&header, image.data, sizeof header);
        EXPECT_EQ(header.biWidth, size);
        EXPECT_EQ(header.biHeight, 2 * size);  // colour and mask
        EXPECT_EQ(header.biBitCount, 32);
      }
    }
    EXPECT_EQ(sizes, std::multiset<int>(icon.sizes.begin(), icon.sizes.end()));
  }
}

TEST_F(TessarenResources, WindowsPicksTheMatchingImageForEachSize) {
  for (const IconCase& icon : kIcons) {
    SCOPED_TRACE(icon.name);
    const Resource group = find(MAKEINTRESOURCEA(icon.id), RT_GROUP_ICON);
    ASSERT_NE(group.data, nullptr);
    for (int size : icon.sizes) {
      const int id = LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group.data), TRUE, size, size,
                                                 LR_DEFAULTCOLOR);
      const Resource image = find(MAKEINTRESOURCEA(id), RT_ICON);
      ASSERT_NE(image.data, nullptr) << size << " px";
      HICON handle = CreateIconFromResourceEx(const_cast<BYTE*>(image.data), image.size, TRUE,
                                              0x00030000, size, size, LR_DEFAULTCOLOR);
      ASSERT_NE(handle, nullptr) << size << " px";
      const IconPixels pixels = pixelsOf(handle);
      DestroyIcon(handle);
      EXPECT_EQ(pixels.width, size);
      EXPECT_EQ(pixels.height, size);
      const int area = size * size;
      if (icon.opaque) {
        EXPECT_EQ(pixels.opaque, area) << size << " px";
      } else {
        // A picture with a clear surround, not a filled square: alpha made it through.
        EXPECT_GT(pixels.transparent, area / 20) << size << " px";
        EXPECT_GT(pixels.opaque, area / 3) << size << " px";
      }
    }
  }
}

// LoadIconMetric, which the tray uses, and LoadIconWithScaleDown, which it is built on,
// pick the image for the size asked: each size must come back exactly, not scaled.
// mingw-w64's import library lacks LoadIconWithScaleDown, so it is looked up.
TEST_F(TessarenResources, ShellIconLoadersGiveEachSize) {
  using LoadScaled = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
  HMODULE controls = LoadLibraryW(L"comctl32.dll");
  ASSERT_NE(controls, nullptr);
  // Through void*: a FARPROC does not convert to another function type without a warning.
  const auto loadScaled = reinterpret_cast<LoadScaled>(
      reinterpret_cast<void*>(GetProcAddress(controls, "LoadIconWithScaleDown")));
  ASSERT_NE(loadScaled, nullptr);
  const int small = GetSystemMetrics(SM_CXSMICON);
  for (const IconCase& icon : kIcons) {
    SCOPED_TRACE(icon.name);
    for (int size : icon.sizes) {
      HICON handle = nullptr;
      ASSERT_EQ(loadScaled(module_, MAKEINTRESOURCEW(icon.id), size, size, &handle), S_OK)
          << size << " px";
      const IconPixels pixels = pixelsOf(handle);
      DestroyIcon(handle);
      EXPECT_EQ(pixels.width, size);
      EXPECT_EQ(pixels.height, size);
    }
    HICON handle = nullptr;
    ASSERT_EQ(LoadIconMetric(module_, MAKEINTRESOURCEW(icon.id), LIM_SMALL, &handle), S_OK);
    const IconPixels pixels = pixelsOf(handle);
    DestroyIcon(handle);
    EXPECT_EQ(pixels.width, small);
    EXPECT_GT(pixels.opaque, small * small / 3) << "the small image, not an empty one";
  }
  FreeLibrary(controls);
}

TEST_F(TessarenResources, VersionResourceAndAboutBoxCarryTheProjectVersion) {
  const std::wstring path = exePath();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS,
            DWORD(MAKELONG(TESSAREN_VERSION_MINOR, TESSAREN_VERSION_MAJOR)));
  EXPECT_EQ(fixed->dwFileVersionLS, DWORD(MAKELONG(0, TESSAREN_VERSION_PATCH)));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

  auto text = [&](const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT characters = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value),
                        &characters)) {
      return std::wstring(L"<missing>");
    }
    return std::wstring(value);  // up to its terminator, so a missing one shows as junk
  };
  EXPECT_EQ(text(L"FileVersion"), widen(TESSAREN_VERSION) + L".0");
  EXPECT_EQ(text(L"ProductVersion"), widen(TESSAREN_VERSION));
  EXPECT_EQ(text(L"ProductName"), L"Tessaren");

  // The About box's template holds its texts as UTF-16, each ending in a NUL.
  const Resource about = find(MAKEINTRESOURCEA(IDD_ABOUTBOX), RT_DIALOG);
  ASSERT_NE(about.data, nullptr);
  const std::wstring line = L"Tessaren Version " + widen(TESSAREN_VERSION);
  const std::wstring templateText(reinterpret_cast<const wchar_t*>(about.data),
                                  about.size / sizeof(wchar_t));
  EXPECT_NE(templateText.find(line + L'\0'), std::wstring::npos);
}

}  // namespace
