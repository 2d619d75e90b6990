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
// True when `path` names something strictly below `folder` once both are
// canonical: ".." and symlinks (of the parts that exist) are followed before
// comparing, so neither can lead out. Both must be absolute.
bool PathInsideFolder(const std::string& path, const std::string& folder);
// The running program's own full path; empty when it can't be found.
std::string CurrentExecutablePath();
