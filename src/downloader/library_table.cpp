#include "downloader/library_table.h"

#include <array>

namespace qorve {

std::span<const LibraryEntry> LibraryTable() {
  static constexpr std::array<LibraryEntry, 12> kTable{{
      {"unlha32.html", "UNLHA32", LibraryKind::kBuiltInLha, "UNLHA32.DLLのインストールに失敗"},
      {"cab32.html", "CAB32", LibraryKind::kCabinet, "CAB32.DLLのインストールに失敗"},
      {"unzip32.html", "UNZIP32", LibraryKind::kArchive, "UNZIP32.DLLのインストールに失敗"},
      {"unrar32.html", "UNRAR32", LibraryKind::kArchive, "UNRAR32.DLLのインストールに失敗"},
      {"ungca32.html", "UNGCA32", LibraryKind::kArchive, "UNGCA32.DLLのインストールに失敗"},
      {"tar32.html", "TAR32", LibraryKind::kArchive, "TAR32.DLLのインストールに失敗"},
      {"yz1.html", "YZ1", LibraryKind::kArchive, "YZ1.DLLのインストールに失敗"},
      {"unbel32.html", "UNBEL32", LibraryKind::kArchive, "UNBEL32.DLLのインストールに失敗"},
      {"unimp32.html", "UNIMP32", LibraryKind::kArchive, "UNIMP32.DLLのインストールに失敗"},
      {"ish32.html", "ISH32", LibraryKind::kArchive, "ISH32.DLLのインストールに失敗"},
      {"bga32.html", "BGA32", LibraryKind::kArchive, "BGA32.DLLのインストールに失敗"},
      {"aish32.html", "AISH32", LibraryKind::kArchive, "AISH32.DLLのインストールに失敗"},
  }};
  return kTable;
}

}  // namespace qorve
