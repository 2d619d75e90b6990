// The About box: its texts, built from the window title.
#pragma once

#include <string>

class CAboutDlg {
 public:
  explicit CAboutDlg(std::string title) : m_title(std::move(title)) {}
  std::string Caption() const { return "About " + m_title; }
  // The box's main line: the window title, under the program's icon.
  const std::string& TitleText() const { return m_title; }
  static constexpr const char* kVersionText = "Version 1.0";

 private:
  std::string m_title;
};
