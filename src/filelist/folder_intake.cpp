#include "filelist/folder_intake.h"

#include <algorithm>

#include "filelist/folder_walk.h"
#include "platform/dir_listing.h"
#include "platform/file_attributes.h"

namespace dialsift::filelist {
namespace {

// Hidden and archive, and no other bit: a hidden file the user may write,
// the kind of file an application leaves beside a workbook it has open.
constexpr std::uint32_t kHiddenWritableFile = platform::kAttrHidden | platform::kAttrArchive;

}  // namespace

Intake FolderIntake(const std::string& folder, std::string_view pattern,
                    const std::function<void()>& yield, const std::function<bool()>& stopped) {
  std::vector<std::string> folders{folder + "/"};
  Intake intake;
  CollectSubfolders(folders, yield, stopped, &intake.problems);
  if (stopped && stopped()) return {};
  std::vector<std::string>& rows = intake.rows;
  for (const auto& entry : folders) {
    const std::string parent = entry.substr(0, entry.size() - 1);
    // A folder the walk could not list cannot be listed for its files
    // either: it is named once.
    std::vector<WalkProblem> unlisted;
    const auto names = ListFolderFiles(parent, pattern, &unlisted);
    for (auto& problem : unlisted) {
      if (std::find(intake.problems.begin(), intake.problems.end(), problem) ==
          intake.problems.end())
        intake.problems.push_back(std::move(problem));
    }
    for (const auto& name : names) {
      if (name.front() == '~') continue;
      std::string path = parent + "/" + name;
      // Only a name beginning with "." is hidden, so only such a file can
      // have exactly the attributes hidden + archive.
      if (name.front() == '.' && platform::FileAttributes(path) == kHiddenWritableFile) continue;
      rows.push_back(RepairJoinedPath(std::move(path)));
    }
  }
  return intake;
}

std::string WalkProblemsText(const std::vector<WalkProblem>& problems, std::size_t shown) {
  std::string text;
  for (std::size_t i = 0; i < problems.size() && i < shown; ++i) {
    if (!text.empty()) text += "\r\n";
    text += "Cannot read \"" + problems[i].path + "\": " + problems[i].reason + ".";
  }
  if (problems.size() > shown) {
    text += "\r\n(and " + std::to_string(problems.size() - shown) + " more)";
  }
  return text;
}

DroppedPath ExamineDroppedPath(const std::string& path) {
  std::string reason;
  const auto attributes = platform::FileAttributes(path, &reason);
  if (!attributes) return {DroppedPath::Kind::kProblem, std::move(reason)};
  // A folder as the listing of the path itself sees it: visible, and with
  // the directory bit. A hidden folder is taken like a file.
  const bool listed = (*attributes & (platform::kAttrHidden | platform::kAttrSystem)) == 0;
  if (!listed || (*attributes & platform::kAttrDirectory) == 0) return {};
  if (auto error = platform::FolderReadError(path)) {
    return {DroppedPath::Kind::kProblem, std::move(*error)};
  }
  return {DroppedPath::Kind::kFolder, {}};
}

std::string DropProblemText(std::string_view path, std::string_view reason) {
  std::string text = "Cannot add \"";
  text += path;
  text += "\": ";
  text += reason;
  text += '.';
  return text;
}

std::string SamplesFolder(std::string_view program_folder) {
  return std::string(program_folder) + "/Samples/";
}

std::vector<std::string> SampleRows(std::string_view program_folder) {
  const std::string folder = SamplesFolder(program_folder);
  std::vector<std::string> rows;
  for (const auto& name : ListFolderFiles(folder, "*.*")) rows.push_back(folder + name);
  return rows;
}

}  // namespace dialsift::filelist
