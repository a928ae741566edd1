// The per-format entry points that OpenWorkbook dispatches to once it has
// looked at a file's content. Each lives in the folder of its format.
#pragma once

#include <filesystem>
#include <memory>
#include <span>

#include "sheet/result.h"
#include "sheet/workbook.h"
#include "sheet/zip_archive.h"

namespace dialsift::sheet {

using WorkbookResult = Result<std::unique_ptr<Workbook>>;

// A zip whose content types name a SpreadsheetML workbook part (.xlsx, .xlsm,
// .xltx, .xltm, Strict included).
WorkbookResult OpenXlsx(const std::filesystem::path& path, ZipArchive zip);
// A zip whose content types name a binary workbook part (.xlsb).
WorkbookResult OpenXlsb(const std::filesystem::path& path, ZipArchive zip);
// A zip whose "mimetype" entry names an OpenDocument spreadsheet.
WorkbookResult OpenOds(const std::filesystem::path& path, ZipArchive zip);
// An OLE2 compound file: .xls (BIFF5/7/8), or an encrypted OOXML package.
WorkbookResult OpenCompoundFile(const std::filesystem::path& path);
// A bare BIFF stream: BIFF2-4 files, which are not compound files, and
// BIFF5-8 workbook streams stored without their container.
WorkbookResult OpenBareBiff(const std::filesystem::path& path);
// A text file a spreadsheet application opens as one sheet (.csv, .txt and
// the like). Answers "not a workbook" when the content is not text.
WorkbookResult OpenTextWorkbook(const std::filesystem::path& path);
// A flat OpenDocument spreadsheet (.fods), the content.xml of an .ods as one file.
WorkbookResult OpenFlatOds(const std::filesystem::path& path);

}  // namespace dialsift::sheet
