// The input file list's own words and the rows that "Add Excel File(s)",
// "Add All Excel File(s) In Folder" and "Load Sample/Example Files" produce.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/user_interface.h"

namespace dialsift::filelist {

inline constexpr std::string_view kAddFilesTitle =
    "Add File(s) - Hold Ctrl to select multiple files";
inline constexpr std::string_view kAddFilesFilter = "Excel Files (*.xls*)|*.xls*|";
// Characters the open dialog's result holds: the folder and every name, each
// followed by a NUL.
inline constexpr std::size_t kDialogResultChars = 30000;
inline constexpr std::string_view kTooManyFilesMessage =
    "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.";

inline constexpr std::string_view kChooseFolderTitle = "Please select folder:";
inline constexpr std::string_view kExtensionKey = "Extension";
inline constexpr std::string_view kExcelExtension = "xls*";
inline constexpr std::string_view kOpenSamplesQuestion =
    "Would you like this software to open the folder where these sample files are stored (so "
    "that you can view them before working with them)?";

// The rows that the open dialog's result gives: one full path unchanged, or
// folder + "/" + name for each name in dialog order with the doubled
// separator repaired. Nothing when the result would not fit the dialog's
// 30000 characters: the caller shows kTooManyFilesMessage and adds nothing.
std::optional<std::vector<std::string>> RowsFromDialog(
    const UserInterface::OpenFilesResult& result);

}  // namespace dialsift::filelist
