// The folder intake and the other ways whole folders and files reach the
// input file list: dropped paths and the sample files beside the program.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "filelist/folder_walk.h"

namespace dialsift::filelist {

struct Intake {
  std::vector<std::string> rows;
  // Folders that could not be read and sub-folders that could not be
  // examined, each once, in the order the walk met them.
  std::vector<WalkProblem> problems;
};

// The rows the intake of `folder` gives with `pattern`, in order: the folder's
// own files, then those of its direct sub-folders, then the next level
// (CollectSubfolders), each folder's files in name order (ListFolderFiles).
// Files whose name begins with "~" are left out, and so are hidden files the
// user may write (attributes exactly hidden + archive), and everything that
// is not a regular file. `yield` is called at the walk's fixed points; once
// `stopped` answers true the walk ends and no rows are returned.
Intake FolderIntake(const std::string& folder, std::string_view pattern,
                    const std::function<void()>& yield = {},
                    const std::function<bool()>& stopped = {});

// The problems of a walk as one message, one line per folder, naming at
// most `shown` of them and counting the rest.
std::string WalkProblemsText(const std::vector<WalkProblem>& problems, std::size_t shown = 10);

// What a dropped path becomes.
struct DroppedPath {
  enum class Kind {
    kFolder,  // a readable, visible folder: taken in with "*.*"
    kRow,     // anything else that exists: one row, exactly as given
    kProblem  // vanished, or a folder that cannot be read: `reason` says why
  };
  Kind kind = Kind::kRow;
  std::string reason;
};
DroppedPath ExamineDroppedPath(const std::string& path);

// The message shown for a dropped path that could not be taken.
std::string DropProblemText(std::string_view path, std::string_view reason);

// The sample folder beside the program, ending with "/".
std::string SamplesFolder(std::string_view program_folder);
// A row for every file of the sample folder (no filters), in name order;
// none when the folder is missing.
std::vector<std::string> SampleRows(std::string_view program_folder);

}  // namespace dialsift::filelist
