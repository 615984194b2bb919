// The APE tag (versions 1 and 2) at the end of a Monkey's Audio file, before an
// ID3v1 tag if there is one: the SDK's tag object and its fields.
#pragma once

#include "byte_reader.h"

#include <memory>
#include <string>
#include <vector>

class CAPETagField {
 public:
  CAPETagField(std::string name, std::string value, uint32_t flags)
      : name_(std::move(name)), value_(std::move(value)), flags_(flags) {}

  // The item key (ASCII); matched case-insensitively by users of the tag.
  const char* GetFieldName() const { return name_.c_str(); }
  // The value as stored: UTF-8 in version 2, the writer's code page in version
  // 1; trailing NULs of a text value are not part of it. Binary values may hold
  // NULs: GetFieldValueSize tells their length.
  const char* GetFieldValue() const { return value_.c_str(); }
  int GetFieldValueSize() const { return static_cast<int>(value_.size()); }
  int GetFieldFlags() const { return static_cast<int>(flags_); }
  // Text, as opposed to binary data or an external reference.
  bool GetIsUTF8Text() const { return (flags_ & 6u) == 0; }

 private:
  std::string name_;
  std::string value_;
  uint32_t flags_;
};

class CAPETag {
 public:
  // The tag of `reader`'s file; nothing is read until Analyze (the reader must
  // outlive the tag).
  explicit CAPETag(monkeys_audio::ByteReader& reader) : reader_(reader) {}

  // Reads the tag once; later calls do nothing. Never fails: a missing or
  // damaged tag leaves the object without fields.
  void Analyze();
  bool GetAnalyzed() const { return analyzed_; }
  bool GetHasAPETag() const { return version_ != 0; }
  // 1000 or 2000; 0 without a tag.
  int GetAPETagVersion() const { return version_; }

  // Walks the fields: `first` restarts at the first. False (and *field null)
  // after the last.
  bool GetNextTagField(bool first, CAPETagField** field);

 private:
  monkeys_audio::ByteReader& reader_;
  bool analyzed_ = false;
  int version_ = 0;
  std::vector<std::unique_ptr<CAPETagField>> fields_;
  std::size_t next_ = 0;
};
