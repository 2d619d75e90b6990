// Where the live viewer saves a picture: a file name made from the camera's
// name and the time, safe on every file system the Pictures folder may be on.
#pragma once

#include <ctime>
#include <functional>
#include <string>

// "<name> YYYY-MM-DD HH-MM-SS.png" for the camera's `name` (UTF-8) at
// `local_time`. Characters a file name can't hold or that shells and other
// systems trip over (/ \ : * ? " < > |) and bytes of no whole UTF-8
// character become '_'; control characters and those that change the text's
// direction (marks, embeddings, overrides, isolates) are dropped;
// leading and trailing spaces and dots go (a leading dot would hide the file);
// the name is cut to kMaxPictureNameBytes at a character boundary; an empty
// name becomes "Camera".
std::string PictureFileName(const std::string& name, const std::tm& local_time);
constexpr size_t kMaxPictureNameBytes = 100;

// `folder` + `file_name`, or, when `exists` says that file is there already,
// the first free "<stem> (2).png", "<stem> (3).png", ...: a second save in
// the same second keeps the first picture. Empty when none up to 99 is free.
std::string FreePicturePath(const std::string& folder, const std::string& file_name,
                            const std::function<bool(const std::string&)>& exists);
