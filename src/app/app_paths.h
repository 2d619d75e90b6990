// Folders of the installation medium, derived from the executable's path.
#pragma once

#include <string>

// The parent of the executable's folder with a trailing '/': cut after the
// last '/', drop that '/', cut after the new last '/'. Each step is skipped
// when no '/' is left: "/m/bin/x" gives "/m/", "/x" gives "" (so the page
// folder becomes the relative "HTML/").
std::string BaseFolderFromExecutable(const std::string& exe_path);
// The page folder: base folder + "HTML/".
std::string HtmlFolderFromBase(const std::string& base_folder);
// The running program's own full path; empty when it can't be found.
std::string CurrentExecutablePath();
