// A throw-away installation medium for tests: <tmp>/bin/quenlo-setup (a
// path only) and <tmp>/HTML/ with the INI files a test writes.
#pragma once

#include <string>

class MediumDir {
 public:
  MediumDir();
  ~MediumDir();
  MediumDir(const MediumDir&) = delete;
  MediumDir& operator=(const MediumDir&) = delete;

  const std::string& Root() const { return root_; }  // ends with '/'
  std::string ExePath() const { return root_ + "bin/quenlo-setup"; }
  std::string HtmlFolder() const { return root_ + "HTML/"; }
  // Writes raw bytes to a file under HTML/.
  void WriteHtmlFile(const std::string& name, const std::string& bytes) const;

 private:
  std::string root_;
};
