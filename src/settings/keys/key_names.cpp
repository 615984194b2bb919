#include "settings/keys/key_names.h"

#include "platform/input/virtual_key_map.h"

#include <algorithm>
#include <array>

namespace qorve {
namespace {

constexpr std::array<bool, 256> MakeBindableTable() {
  std::array<bool, 256> table{};
  constexpr int kRanges[][2] = {{1, 4},     {8, 9},     {12, 13},   {16, 20},   {27, 29},   {32, 57},
                                {65, 91},   {96, 127},  {144, 145}, {160, 165}, {172, 179}, {183, 183},
                                {186, 192}, {219, 222}, {226, 226}, {240, 240}, {242, 243}};
  for (const auto& range : kRanges) {
    for (int code = range[0]; code <= range[1]; ++code) table[code] = true;
  }
  return table;
}

constexpr std::array<bool, 256> kBindable = MakeBindableTable();

constexpr auto MakeBindableList() {
  std::array<uint8_t, std::count(kBindable.begin(), kBindable.end(), true)> list{};
  std::size_t at = 0;
  for (int code = 0; code < 256; ++code) {
    if (kBindable[code]) list[at++] = static_cast<uint8_t>(code);
  }
  return list;
}

constexpr auto kBindableList = MakeBindableList();

struct FixedName {
  int code;
  const char* name;
};

constexpr FixedName kFixedNames[] = {
    {1, "マウス左"},      {2, "マウス右"},        {4, "マウス中央"},   {12, "CLEAR"},       {19, "PAUSE"},
    {20, "CAPS LOCK"},    {33, "PAGE UP"},        {34, "PAGE DOWN"},   {35, "END"},         {36, "HOME"},
    {37, "←"},            {38, "↑"},              {39, "→"},           {40, "↓"},           {41, "SELECT"},
    {42, "PRINT SCREEN"}, {43, "EXECUTE"},        {44, "SNAPSHOT"},    {45, "INSERT"},      {46, "DELETE"},
    {47, "HELP"},         {91, "WINDOWS"},        {93, "OPTIONS"},     {108, "NUM ENTER"},  {110, "NUM ."},
    {124, "F13"},         {125, "F14"},           {126, "F15"},        {127, "F16"},        {144, "NUM LOCK"},
    {229, "変換"},
};

}  // namespace

std::span<const uint8_t> BindableKeys() { return kBindableList; }

bool IsBindableKey(int code) { return code >= 0 && code < 256 && kBindable[code]; }

int BindableIndexOf(int code) {
  return static_cast<int>(std::lower_bound(kBindableList.begin(), kBindableList.end(), code) - kBindableList.begin());
}

std::string KeyName(int code) {
  if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9')) return std::string(1, static_cast<char>(code));
  for (const FixedName& fixed : kFixedNames) {
    if (fixed.code == code) return fixed.name;
  }
  return KeyboardKeyName(code);
}

}  // namespace qorve
