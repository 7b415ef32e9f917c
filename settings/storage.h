// Typed registry values: the only code that reads or writes raw registry data for
// Tessaren. Every read names the type it accepts; a value of another type or size counts
// as missing, never as bytes to be reinterpreted ("30" as text is not the number 0x3033).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaren {

// Read results: 0 read; -1 the key cannot be opened; -2 the value is missing or of
// another type or size. A failed read leaves the destination as it was.
constexpr std::int32_t kReadOk = 0;
constexpr std::int32_t kReadNoKey = -1;
constexpr std::int32_t kReadNoValue = -2;

// Values under Tessaren's own key. Written per user under HKEY_CURRENT_USER\Software\Classes;
// read from there, or from the machine-wide HKEY_CLASSES_ROOT when the per-user key is absent.
class RegistryAccess {
 public:
  // A REG_DWORD of exactly four bytes.
  std::int32_t readNumber(const std::string& subkey, const std::string& name,
                          std::int32_t& destination) const;
  // A REG_SZ, or a REG_EXPAND_SZ with its %NAME% references expanded; the text ends at
  // its first NUL.
  std::int32_t readText(const std::string& subkey, const std::string& name,
                        std::string& destination) const;
  void writeText(const std::string& subkey, const std::string& name, const std::string& text) const;
  void writeNumber(const std::string& subkey, const std::string& name, std::int32_t number) const;
  void deleteValue(const std::string& subkey, const std::string& name) const;
};

// Values elsewhere under HKEY_CURRENT_USER (the Run key and its Explorer companion).
std::optional<std::string> readUserText(const std::string& subkey, const std::string& name);
std::optional<std::vector<std::uint8_t>> readUserBinary(const std::string& subkey,
                                                        const std::string& name);
bool writeUserText(const std::string& subkey, const std::string& name, const std::string& text);
bool writeUserBinary(const std::string& subkey, const std::string& name,
                     const std::vector<std::uint8_t>& data);
// True when the value is gone afterwards, also when it never existed.
bool deleteUserValue(const std::string& subkey, const std::string& name);

}  // namespace tessaren
