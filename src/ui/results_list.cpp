#include "ui/results_list.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLocale>
#include <QMenu>

#include <algorithm>
#include <map>

#include "platform/file_attributes.h"
#include "results/export.h"

namespace dialsift::ui {

namespace {

// The name of our page on formatting phone numbers, beside the program.
constexpr std::string_view kFormattingPage = "phone-formatting.html";

// CopyListToClipboard: every row of the list, each followed by CR LF. A list
// without rows leaves the clipboard alone.
void CopyListToClipboard(const ReportList& list, const results::YieldFn& yield) {
  const std::vector<std::string> rows = list.Rows();
  if (rows.empty()) return;
  const std::string text = results::ClipboardText(rows, yield);
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  clipboard->setText(QString::fromStdString(text));
}

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A region code as stored: two ASCII letters, upper case; empty otherwise.
std::string RegionCode(std::string_view text) {
  if (text.size() != 2) return {};
  std::string code;
  for (const char c : text) {
    if (c >= 'a' && c <= 'z') {
      code += static_cast<char>(c - 'a' + 'A');
    } else if (c >= 'A' && c <= 'Z') {
      code += c;
    } else {
      return {};
    }
  }
  return code;
}

// Appends a field of a tab-separated line: tabs and line breaks become blanks.
void AppendField(std::string_view field, std::string& out) {
  for (const char c : field) out += (c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
}

Record ToRecord(const ListRow& row) {
  Record record;
  record.number = row.text;
  if (row.found_in) {
    record.path = row.found_in->path;
    record.sheet = row.found_in->sheet;
  }
  record.row = row.row;
  record.column = row.column;
  return record;
}

// The regions a user can pick: every territory the locale data knows, by
// name, each with its two-letter code.
std::vector<std::pair<std::string, std::string>> KnownRegions() {
  std::map<QString, std::string> by_name;
  for (int t = 1; t <= static_cast<int>(QLocale::LastTerritory); ++t) {
    const auto territory = static_cast<QLocale::Territory>(t);
    const std::string code = RegionCode(QLocale::territoryToCode(territory).toStdString());
    if (code.empty()) continue;
    by_name.emplace(QLocale::territoryToString(territory), code);
  }
  std::vector<std::pair<std::string, std::string>> regions;
  for (const auto& [name, code] : by_name) regions.emplace_back(code, name.toStdString());
  return regions;
}

}  // namespace

std::string LocaleRegion() {
  const std::string code =
      RegionCode(QLocale::territoryToCode(QLocale::system().territory()).toStdString());
  return code.empty() ? std::string("US") : code;
}

std::string SourceLines(std::span<const ListRow> rows, const results::E164* e164) {
  std::string text;
  for (const ListRow& row : rows) {
    AppendField(row.text, text);
    text += '\t';
    if (e164) AppendField(e164->Normalise(row.text).e164, text);
    text += '\t';
    if (row.found_in) {
      AppendField(row.found_in->path, text);
      text += '\t';
      AppendField(row.found_in->sheet, text);
      text += '\t';
      text += CellReference(row.row, row.column);
    } else {
      text += "\t\t";
    }
    text += "\r\n";
  }
  return text;
}

ResultsList::ResultsList(WindowServices& window, ReportList& list, std::filesystem::path beside)
    : window_(window), list_(list), beside_(std::move(beside)) {}

std::string ResultsList::AskSavePath(std::string_view where) {
  std::string path;
  // Statements 106 to 112 set the dialog's file name, flags, title and filter.
  window_.Statement(where, 114, [&] {
    path = window_.Ui().SaveFile(results::kSaveFileName, results::kSaveTitle, results::kSaveFilter);
  });
  return path;  // 116
}

void ResultsList::SaveResultsAsText() {
  constexpr auto where = location::kPushButton6;
  const std::string path = AskSavePath(where);
  if (path.empty()) return;  // 118

  UserInterface::Answer answer = UserInterface::Answer::kYes;  // 124
  if (platform::FileExists(path)) {                            // 120
    window_.Statement(where, 122, [&] {
      answer = window_.Ui().Message(results::OverwriteQuestion(path), {},
                                    UserInterface::Buttons::kYesNo, UserInterface::Icon::kNone);
    });
  }
  if (answer != UserInterface::Answer::kYes) return;  // 126

  window_.SetPointer(Pointer::kBusy);  // 128
  const std::vector<std::string> rows = list_.Rows();
  if (const auto failure =
          results::WriteRows(path, rows, results::Layout::kLines, [this] { window_.Yield(); })) {
    using Step = results::WriteFailure::Step;
    const int line = failure->step == Step::kOpen ? 130 : failure->step == Step::kWrite ? 136 : 140;
    window_.ShowErrorReport({path + ": " + failure->description, where, line});
  }
  window_.SetPointer(Pointer::kArrow);  // 142
}

void ResultsList::SaveResultsCommaDelimited() {
  constexpr auto where = location::kPushButton2;
  const std::string path = AskSavePath(where);
  if (path.empty()) return;  // 118

  window_.SetPointer(Pointer::kBusy);  // 120
  const std::vector<std::string> rows = list_.Rows();
  if (const Status status =
          results::SaveListCommaDelimited(rows, path, window_.Ui(), [this] { window_.Yield(); });
      !status) {
    window_.ShowErrorReport({path + ": " + status.error().reason, where, 122});
  }
  window_.SetPointer(Pointer::kArrow);  // 124
}

void ResultsList::CopyResultsToClipboard() {
  constexpr auto where = location::kPushButton8;
  window_.Statement(where, 106,
                    [this] { CopyListToClipboard(list_, [this] { window_.Yield(); }); });
  window_.Statement(where, 108, [this] {
    window_.Ui().Message(results::kCopiedMessage, {}, UserInterface::Buttons::kOk,
                         UserInterface::Icon::kNone);
  });
}

void ResultsList::ClearResults() {
  window_.Statement(location::kPushButton9, 100, [this] { list_.ClearRows(); });
}

void ResultsList::OpenFormattingPage() {
  window_.Statement(location::kPushButton10, 100,
                    [this] { window_.Ui().OpenWithShell((beside_ / kFormattingPage).string()); });
}

void ResultsList::RemoveSelectedRow() {
  if (const int row = list_.SelectedRow(); row > 0) list_.RemoveRow(row);
}

// ---- The context menu ----

std::unique_ptr<QMenu> ResultsList::MakeContextMenu(int row) {
  auto menu = std::make_unique<QMenu>(&list_);
  menu->setObjectName(QStringLiteral("ResultsMenu"));
  const bool has_rows = list_.RowCount() > 0;
  const ListRow* under = list_.Row(row);
  const bool has_source = under != nullptr && under->found_in != nullptr;
  const auto add = [&](std::string_view text, bool enabled, auto handler) {
    QAction* action = menu->addAction(Q(text));
    action->setEnabled(enabled);
    QObject::connect(action, &QAction::triggered, menu.get(), handler);
  };
  add(kMenuCopyWithSource, has_rows, [this] { CopyWithSource(); });
  add(kMenuSaveWithSource, true, [this] { SaveWithSourceAsCsv(); });
  menu->addSeparator();
  add(kMenuOpenWorkbook, has_source, [this, row] { OpenWorkbook(row); });
  add(kMenuShowInFolder, has_source, [this, row] { ShowInFolder(row); });
  menu->addSeparator();
  add(kMenuRegion, true, [this] { ChooseRegion(); });
  return menu;
}

void ResultsList::ShowContextMenu(QPoint global, int row) {
  const std::unique_ptr<QMenu> menu = MakeContextMenu(row);
  menu->exec(global);
}

const results::E164* ResultsList::Numbering() {
  const std::string region = Region();
  if (e164_ && e164_region_ == region) return &*e164_;
  e164_.reset();
  if (!e164_module_) {
    const std::filesystem::path path =
        e164_module_path_.empty() ? results::E164Module::BesideProgram() : e164_module_path_;
    std::string error = "the program's own folder is unknown";
    if (!path.empty()) e164_module_ = results::E164Module::Load(path, error);
    if (!e164_module_) {
      window_.Ui().Message(
          "The E.164 forms need " +
              (path.empty() ? std::string(results::kE164ModuleFile) : path.string()) +
              ", which cannot be loaded: " + error,
          {}, UserInterface::Buttons::kOk, UserInterface::Icon::kWarning);
      return nullptr;
    }
  }
  e164_ = e164_module_->ForRegion(region);
  if (!e164_) {
    window_.Ui().Message("The phone number library knows no numbering plan for the region " +
                             region + ". Choose another one: " + std::string(kMenuRegion),
                         {}, UserInterface::Buttons::kOk, UserInterface::Icon::kWarning);
    return nullptr;
  }
  e164_region_ = region;
  return &*e164_;
}

void ResultsList::CopyWithSource() {
  const std::vector<int> selected = list_.SelectedRows();
  const std::vector<ListRow> rows = list_.RowsWithSource(selected);
  if (rows.empty()) return;
  const results::E164* e164 = Numbering();
  if (!e164) return;
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  clipboard->setText(QString::fromStdString(SourceLines(rows, e164)));
}

void ResultsList::SaveWithSourceAsCsv() {
  constexpr auto where = location::kSaveWithSource;
  std::string path;
  window_.Statement(where, 100, [&] {
    path = window_.Ui().SaveFile("results.csv", results::kSaveTitle,
                                 "CSV Files (*.csv)|*.csv|All Files (*.*)|*.*|");
  });
  if (path.empty()) return;
  if (platform::FileExists(path) &&
      window_.Ui().Message(results::OverwriteQuestion(path), {}, UserInterface::Buttons::kYesNo,
                           UserInterface::Icon::kNone) != UserInterface::Answer::kYes) {
    return;
  }
  const results::E164* e164 = Numbering();
  if (!e164) return;

  window_.SetPointer(Pointer::kBusy);
  std::vector<Record> records;
  for (const ListRow& row : list_.RowsWithSource()) records.push_back(ToRecord(row));
  if (const auto failure = results::WriteRecords(path, records, results::Format::kCsv, e164,
                                                 [this] { window_.Yield(); })) {
    using Step = results::WriteFailure::Step;
    const int line = failure->step == Step::kOpen ? 102 : failure->step == Step::kWrite ? 104 : 106;
    window_.ShowErrorReport({path + ": " + failure->description, where, line});
  }
  window_.SetPointer(Pointer::kArrow);
}

void ResultsList::OpenOrSay(const std::string& target, std::string_view what) {
  const std::string error = window_.Ui().OpenWithShell(target);
  if (error.empty()) return;
  window_.Ui().Message(std::string(what) + " " + target + " cannot be opened: " + error, {},
                       UserInterface::Buttons::kOk, UserInterface::Icon::kWarning);
}

void ResultsList::OpenWorkbook(int row) {
  const ListRow* found = list_.Row(row);
  if (found == nullptr || !found->found_in) return;
  OpenOrSay(found->found_in->path, "The workbook");
}

void ResultsList::ShowInFolder(int row) {
  const ListRow* found = list_.Row(row);
  if (found == nullptr || !found->found_in) return;
  const std::filesystem::path workbook(found->found_in->path);
  if (!platform::FileExists(workbook.string())) {
    window_.Ui().Message("The workbook " + workbook.string() + " is no longer there.", {},
                         UserInterface::Buttons::kOk, UserInterface::Icon::kWarning);
    return;
  }
  OpenOrSay(workbook.parent_path().string(), "The folder");
}

std::string ResultsList::Region() const {
  const std::string stored = RegionCode(window_.Settings().Read(kRegionKey, ""));
  return stored.empty() ? LocaleRegion() : stored;
}

void ResultsList::ChooseRegion() {
  const auto regions = KnownRegions();
  const std::string current = Region();
  std::vector<std::string> items;
  int current_index = -1;
  for (const auto& [code, name] : regions) {
    if (code == current) current_index = static_cast<int>(items.size());
    items.push_back(name + " (" + code + ")");
  }
  const int chosen = window_.Ui().ChooseItem("Region",
                                             "Numbers written without a country code are read as "
                                             "numbers of:",
                                             items, current_index);
  if (chosen < 0 || chosen >= static_cast<int>(regions.size())) return;
  const std::string& code = regions[static_cast<std::size_t>(chosen)].first;
  if (!window_.Settings().Write(kRegionKey, code)) {
    window_.Ui().Message(
        "The settings store " + window_.Settings().FileName() + " cannot be written", {},
        UserInterface::Buttons::kOk, UserInterface::Icon::kWarning);
  }
}

void ResultsList::StartOver() {
  queued_.clear();
  found_in_.reset();
  since_flush_.invalidate();  // the run's first rows show at once
  list_.ClearRows();
}

void ResultsList::QueueRow(const Record& record) {
  if (!found_in_ || found_in_->sheet != record.sheet || found_in_->path != record.path)
    found_in_ = std::make_shared<const FoundIn>(FoundIn{record.path, record.sheet});
  queued_.push_back({record.number, found_in_, record.row, record.column});
}

void ResultsList::FlushQueuedRows() {
  list_.AppendRows(queued_);
  since_flush_.start();
}

void ResultsList::FlushQueuedRowsPaced() {
  if (queued_.empty()) return;
  if (since_flush_.isValid() && since_flush_.elapsed() < kRowsInterval) return;
  FlushQueuedRows();
}

}  // namespace dialsift::ui
