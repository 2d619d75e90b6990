// What the wizard hands to the desktop to open: web addresses, and files of
// its own installation medium. A menu target of Config.ini or an address a
// page links to can point nowhere else.
#pragma once

#include <optional>
#include <string>

// True for an "http://" or "https://" address (the scheme in any letter
// case). These are the only schemes the wizard opens; a target with any
// other scheme ("file:", "javascript:", "mailto:", ...) is never opened.
bool IsWebAddress(const std::string& target);

// What to open for `target`: a web address as it is; otherwise a file path,
// a relative one taken from `medium_root` (never from the current folder),
// given as its canonical path when that lies inside the medium. Nothing for
// an empty target, another scheme, or a file that ".." or a symlink leads
// out of the medium.
std::optional<std::string> ResolveLaunchTarget(const std::string& target,
                                               const std::string& medium_root);
