// Member names as archives store them, turned into UTF-8 and into a path that
// can only lie inside the destination folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qorve::archiver {

// Kept when the bytes are valid UTF-8, otherwise decoded as CP932 (Shift-JIS
// as Windows writes it); bytes that are not CP932 become U+FFFD. A "/" right
// after a CP932 lead byte was a "\" second byte that a reader replaced, and
// is decoded as that byte.
std::string MemberNameToUtf8(std::string_view raw);

// The folder components of a UTF-8 member name, split at "/" and "\" (Windows
// archivers write both). Empty and "." components are dropped; a leading root
// or drive ("C:") is dropped, so an absolute name lands inside the
// destination. Nothing (nullopt) for a name with a ".." component or with no
// component left: such a member must not be written.
std::optional<std::vector<std::string>> SafeComponents(std::string_view utf8Name);

// Whether a symbolic link stored at folder depth `linkDepth` below the
// destination (0 = the destination itself) with this target stays inside the
// destination by its text: the target is relative and never climbs above the
// top. Only the first test: where it leads through links already on disk is
// DestinationFolder::TargetStaysInside's.
bool LinkStaysInside(std::string_view utf8Target, std::size_t linkDepth);

}  // namespace qorve::archiver
