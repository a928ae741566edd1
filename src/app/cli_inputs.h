// The workbooks of a dialsift-cli run: named, found in folders, listed in
// a file; and the check that the output is none of them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace dialsift::cli {

// The paths listed in a file, or on standard input for "-", separated by
// line breaks or, with `null`, by NUL characters; nothing when the file
// cannot be read.
std::optional<std::vector<std::string>> ReadPathList(const std::string& source, bool null);

// The workbooks named, folders taken in as the window's "Add All Excel
// File(s) In Folder" does. A path that is missing or cannot be examined is
// said on standard error and sets `missing`.
std::vector<std::string> ExpandPaths(const std::vector<std::string>& paths, bool& missing);

// The input that is the very file the output would replace (through a link,
// a folder or another name), if any: writing would destroy the workbook.
std::optional<std::string> OutputClash(const std::string& output,
                                       const std::vector<std::string>& files);

}  // namespace dialsift::cli
