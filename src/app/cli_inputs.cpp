#include "app/cli_inputs.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "app/cli_options.h"
#include "filelist/folder_intake.h"
#include "platform/path_kinds.h"

namespace dialsift::cli {

std::optional<std::vector<std::string>> ReadPathList(const std::string& source, bool null) {
  std::string data;
  if (source == "-") {
    data.assign(std::istreambuf_iterator<char>(std::cin), {});
  } else {
    std::ifstream in(source, std::ios::binary);
    if (!in) return std::nullopt;
    data.assign(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) return std::nullopt;
  }
  std::vector<std::string> paths;
  const char sep = null ? '\0' : '\n';
  std::size_t start = 0;
  while (start < data.size()) {
    std::size_t end = data.find(sep, start);
    if (end == std::string::npos) end = data.size();
    if (end > start) paths.push_back(data.substr(start, end - start));
    start = end + 1;
  }
  return paths;
}

std::vector<std::string> ExpandPaths(const std::vector<std::string>& paths, bool& missing) {
  std::vector<std::string> files;
  const std::vector<platform::PathKind> kinds = platform::PathKinds(paths);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string& p = paths[i];
    const platform::PathKind& kind = kinds[i];
    if (kind.type == std::filesystem::file_type::not_found) {
      std::cerr << Printable(p) << ": file not found\n";
      missing = true;
    } else if (kind.error) {
      std::cerr << Printable(p) << ": " << kind.error.message() << "\n";
      missing = true;
    } else if (kind.type == std::filesystem::file_type::directory) {
      std::string folder = p;
      while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
      auto intake = filelist::FolderIntake(folder, "*.xls*");
      files.insert(files.end(), intake.rows.begin(), intake.rows.end());
      for (const auto& problem : intake.problems) {
        std::cerr << Printable(problem.path) << ": cannot read the folder (" << problem.reason
                  << ")\n";
        missing = true;
      }
    } else {
      files.push_back(p);  // anything else is the reader's to judge
    }
  }
  return files;
}

std::optional<std::string> OutputClash(const std::string& output,
                                       const std::vector<std::string>& files) {
  std::error_code error;
  if (output.empty() || !std::filesystem::exists(output, error)) return std::nullopt;
  for (const auto& file : files) {
    // One device and inode: links and hard links are seen through.
    if (std::filesystem::equivalent(output, file, error)) return file;
  }
  return std::nullopt;
}

}  // namespace dialsift::cli
