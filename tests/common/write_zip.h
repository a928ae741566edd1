// Writes a zip holding the given entries (name, bytes), stored in order.
#pragma once

#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace dialsift::test {

inline void WriteZip(const std::filesystem::path& path,
                     const std::vector<std::pair<std::string, std::string>>& entries) {
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  ASSERT_NE(z, nullptr);
  for (const auto& [name, bytes] : entries) {
    zip_source_t* src = zip_source_buffer(z, bytes.data(), bytes.size(), 0);
    zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE);
  }
  ASSERT_EQ(zip_close(z), 0);
}

// Writes an .xlsx of one sheet, named `sheet_name`, whose part holds `sheet_xml`.
inline void WriteOneSheetXlsx(const std::filesystem::path& path, const std::string& sheet_name,
                              const std::string& sheet_xml) {
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  const std::string package_rel =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" Type=\"" +
      rel;
  WriteZip(path, {{"[Content_Types].xml",
                   "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                   "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
                   "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/></Types>"},
                  {"_rels/.rels",
                   package_rel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
                  {"xl/workbook.xml",
                   "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                   "xmlns:r=\"" +
                       rel + "\"><sheets><sheet name=\"" + sheet_name +
                       "\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
                  {"xl/_rels/workbook.xml.rels",
                   package_rel + "/worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>"},
                  {"xl/worksheets/sheet1.xml", sheet_xml}});
}

}  // namespace dialsift::test
