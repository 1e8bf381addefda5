#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace velnor::test {

// A folder of the test's own under /tmp, removed with everything in it at the end.
class TempDir {
  public:
    TempDir() {
        std::string pattern = "/tmp/velnor-test-XXXXXX";
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace velnor::test
