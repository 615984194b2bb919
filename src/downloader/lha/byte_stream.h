// Byte input and output for the LHA reader: files at the edge of the program,
// memory for tests and fuzzing. Reads and writes report short counts instead
// of throwing, so a reader can stop cleanly at the end of the data.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>

namespace qorve {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to `size` bytes into `buffer`; fewer only at the end of the data.
  virtual std::size_t Read(uint8_t* buffer, std::size_t size) = 0;
  // Moves to an absolute offset; false (position unchanged) when it cannot.
  virtual bool Seek(uint64_t offset) = 0;
  virtual uint64_t Tell() const = 0;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // False when not everything could be written; the writer then stops.
  virtual bool Write(const uint8_t* data, std::size_t size) = 0;
  // Completes the output after the last write; false when it could not be
  // completed (a file whose buffered bytes did not reach the disk).
  virtual bool Finish() { return true; }
  // Drops an output that was not completed, so that no truncated copy
  // remains (a file is removed).
  virtual void Abandon() {}
};

// A source over bytes the caller keeps alive.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  std::size_t Read(uint8_t* buffer, std::size_t size) override;
  bool Seek(uint64_t offset) override;
  uint64_t Tell() const override { return position_; }

 private:
  std::span<const uint8_t> bytes_;
  uint64_t position_ = 0;
};

// A file opened for reading; IsOpen() is false when it could not be opened.
class FileSource final : public ByteSource {
 public:
  explicit FileSource(const std::filesystem::path& path);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  bool IsOpen() const { return file_ != nullptr; }
  std::size_t Read(uint8_t* buffer, std::size_t size) override;
  bool Seek(uint64_t offset) override;
  uint64_t Tell() const override;

 private:
  std::FILE* file_ = nullptr;
};

// A file created anew (an existing one is emptied) for writing.
class FileSink final : public ByteSink {
 public:
  explicit FileSink(const std::filesystem::path& path);
  ~FileSink() override;
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;
  bool IsOpen() const { return file_ != nullptr; }
  bool Write(const uint8_t* data, std::size_t size) override;
  bool Finish() override;  // closes the file
  void Abandon() override;

 private:
  std::filesystem::path path_;
  std::FILE* file_ = nullptr;
};

}  // namespace qorve
