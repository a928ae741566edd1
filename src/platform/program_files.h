// Where the program finds the files it reads beside itself: the hand pointer
// HAND-M.CUR, the skin x/o.cjs, the sample workbooks in Samples/ and the page
// phone-formatting.html.
#pragma once

#include <array>
#include <filesystem>
#include <string_view>

namespace dialsift {

// The names looked for, relative to the folder that holds them.
inline constexpr std::array<std::string_view, 4> kProgramFileNames = {
    "HAND-M.CUR", "phone-formatting.html", "Samples", "x/o.cjs"};

// The folder of those files for a program in `executable_folder`: that folder
// itself when it holds any of them (the build tree, a portable copy), else
// `../share/dialsift` beside it when that holds any (an installed tree, given
// without the ".."), else `executable_folder`, where each is then missing.
std::filesystem::path ProgramFilesFolder(const std::filesystem::path& executable_folder);

// The folder of the running program's executable, links resolved; empty when
// the system does not say.
std::filesystem::path ExecutableFolder();

// The folder of an installed program's private modules, relative to the
// program's own: "../lib/<multiarch triplet>/dialsift" (or "../lib/dialsift"
// where the build knows no triplet).
std::string_view InstalledModuleFolder();

// Where a program in `executable_folder` finds its private module `name` (a
// shared object it loads only when one of its features asks for it): beside
// itself when it is there (the build tree, a portable copy), else in the
// InstalledModuleFolder (an installed tree, given without the ".."). Never
// the current folder or the library path.
std::filesystem::path ModulePath(const std::filesystem::path& executable_folder,
                                 std::string_view name);

}  // namespace dialsift
