// The real media files made by other people that some tests read: the folder
// named by QORVE_TEST_MEDIA, or shared/media beside the project. Where it is
// missing those tests skip and say why; under CI=true a missing folder or file
// is a failure, so a CI run never passes by skipping them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace qorve::test {

std::filesystem::path SharedMedia();

// True when a missing shared file must fail the test rather than skip it.
bool SharedMediaRequired();

// Why `path` (below the shared folder) cannot be used, or "" when it exists.
std::string SharedMediaMissing(const std::filesystem::path& path);

}  // namespace qorve::test

// Skips the calling test (or fails it under CI=true) when `path` is missing.
// Use at the top of a test body or SetUp; `path` defaults to the whole folder.
#define QORVE_NEED_SHARED_MEDIA_AT(path)                                        \
  do {                                                                          \
    const std::string qorve_missing_ = ::qorve::test::SharedMediaMissing(path); \
    if (!qorve_missing_.empty()) {                                              \
      if (::qorve::test::SharedMediaRequired()) FAIL() << qorve_missing_;       \
      GTEST_SKIP() << qorve_missing_;                                           \
    }                                                                           \
  } while (0)
#define QORVE_NEED_SHARED_MEDIA() QORVE_NEED_SHARED_MEDIA_AT(::qorve::test::SharedMedia())
