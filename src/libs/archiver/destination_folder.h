// Writes members into one destination folder without ever leaving it: every
// folder below it is entered with O_NOFOLLOW relative to the one above, so a
// symbolic link (from the archive or already on disk) is never followed, and a
// new link is made only when its target, resolved against what is on disk,
// stays inside.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace qorve::archiver {

// A member being written under a temporary name in its folder. Commit gives
// it its name (replacing a file or link of that name, never a folder); without
// Commit the destructor removes it, so a member cut short never appears.
class NewFile {
 public:
  NewFile() = default;
  NewFile(int folder, std::string temporaryName, std::string name, int fd);
  ~NewFile();
  NewFile(NewFile&& other) noexcept;
  NewFile& operator=(NewFile&& other) noexcept;
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  bool Commit();

 private:
  void Abandon();

  int folder_ = -1;
  int fd_ = -1;
  std::string temporaryName_;
  std::string name_;
};

class DestinationFolder {
 public:
  // Creates the folder (with its parents) when missing. IsOpen() tells whether
  // that worked.
  explicit DestinationFolder(const std::string& path);
  ~DestinationFolder();
  DestinationFolder(const DestinationFolder&) = delete;
  DestinationFolder& operator=(const DestinationFolder&) = delete;

  bool IsOpen() const { return root_ >= 0; }

  // Removes the destination again when this object made it and nothing was
  // put into it, so that an archive refused while unpacking leaves no empty
  // folder behind.
  void RemoveIfMadeAndEmpty();

  // Creates the folders of `components` (all of them) below the destination.
  bool MakeFolders(const std::vector<std::string>& components);

  // A new file for the last component (its folders are made); not open when
  // it cannot be made.
  NewFile CreateFile(const std::vector<std::string>& components, bool executable);

  // A symbolic link named by `components` pointing at `target`, made only when
  // the target stays inside (TargetStaysInside). A file or link of that name
  // is replaced.
  bool CreateSymlink(const std::vector<std::string>& components, const std::string& target);

  // Whether `target`, read by the kernel from the folder of the link named by
  // `components`, lands inside the destination: relative, and every component
  // before the last is a folder that exists now and is no link, so that
  // neither a link already made nor one made later can redirect it (a link
  // whose ".." would climb from wherever another link leads). The last
  // component may be anything, also another link: a link's own target is read
  // from its own folder, so a link to a link that stays inside stays inside.
  bool TargetStaysInside(const std::vector<std::string>& components, const std::string& target) const;

  // A hard link named by `components` to the already written member `target`.
  bool CreateHardLink(const std::vector<std::string>& components, const std::vector<std::string>& target);

 private:
  // Descriptor of the folder holding the last component (made when `create`),
  // or -1. The caller closes it unless it is root_.
  int OpenParent(const std::vector<std::string>& components, bool create) const;
  void CloseParent(int fd) const;
  // Whether the path below the destination is a folder reached without links.
  bool IsRealFolder(const std::vector<std::string>& path) const;
  // Removes a non-folder entry of that name so that a new one can take it.
  static void RemoveEntry(int parent, const std::string& name);

  std::string path_;
  bool made_ = false;
  int root_ = -1;
};

}  // namespace qorve::archiver
