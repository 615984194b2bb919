// Writes members into one destination folder without ever leaving it: every
// folder below it is entered with O_NOFOLLOW relative to the one above, so a
// symbolic link (from the archive or already on disk) is never followed.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace qorve::archiver {

class DestinationFolder {
 public:
  // Creates the folder (with its parents) when missing. IsOpen() tells whether
  // that worked.
  explicit DestinationFolder(const std::string& path);
  ~DestinationFolder();
  DestinationFolder(const DestinationFolder&) = delete;
  DestinationFolder& operator=(const DestinationFolder&) = delete;

  bool IsOpen() const { return root_ >= 0; }

  // Creates the folders of `components` (all of them) below the destination.
  bool MakeFolders(const std::vector<std::string>& components);

  // Creates or replaces the file named by the last component (its folders are
  // made) and returns a descriptor to write it, or -1. An existing link of
  // that name is replaced, never written through; a folder is not replaced.
  int CreateFile(const std::vector<std::string>& components, bool executable);

  // A symbolic link named by `components` pointing at `target` (which the
  // caller has checked stays inside).
  bool CreateSymlink(const std::vector<std::string>& components, const std::string& target);

  // A hard link named by `components` to the already written member `target`.
  bool CreateHardLink(const std::vector<std::string>& components, const std::vector<std::string>& target);

 private:
  // Descriptor of the folder holding the last component (made when `create`),
  // or -1. The caller closes it unless it is root_.
  int OpenParent(const std::vector<std::string>& components, bool create);
  void CloseParent(int fd) const;
  // Removes a non-folder entry of that name so that a new one can take it.
  static void RemoveEntry(int parent, const std::string& name);

  int root_ = -1;
};

}  // namespace qorve::archiver
