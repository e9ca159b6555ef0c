// A fresh temporary folder that is the current directory for the life of the object.
#pragma once

#include <string>

namespace yulo::test {

class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::string& Path() const { return path_; }
  // Writes bytes to a file in the folder (relative name).
  void Write(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
  std::string previous_;
};

}  // namespace yulo::test
