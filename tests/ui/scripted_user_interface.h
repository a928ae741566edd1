// A UserInterface for tests: records every message and answers from a script.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/user_interface.h"

namespace dialsift::test {

class ScriptedUserInterface final : public UserInterface {
 public:
  struct Shown {
    std::string text;
    std::string title;
    Buttons buttons;
    Icon icon;
  };

  // Answers for the next Yes/No boxes, in order; kYes when the script is out.
  std::deque<Answer> answers;
  std::deque<OpenFilesResult> open_results;
  std::deque<std::string> save_results;
  std::deque<std::string> folder_results;
  // Everything shown and asked, in order.
  std::vector<Shown> messages;
  std::vector<std::string> shell_opened;
  // What the shell says to the next opens, in order ("" when it took them).
  std::deque<std::string> shell_answers;
  // Answers of the list picks, in order (-1 cancels; -1 when out), and the
  // lists and first picks shown.
  std::deque<int> item_results;
  std::vector<std::vector<std::string>> item_lists;
  std::vector<int> item_current;
  std::vector<std::string> dialog_titles;
  std::vector<std::string> dialog_filters;
  std::vector<std::string> save_file_names;
  // Called inside every message box, e.g. to act while a box is open.
  std::function<void(const Shown&)> on_message;

  Answer Message(std::string_view text, std::string_view title, Buttons buttons,
                 Icon icon) override {
    messages.push_back({std::string(text), std::string(title), buttons, icon});
    if (on_message) on_message(messages.back());
    if (buttons == Buttons::kOk) return Answer::kOk;
    if (answers.empty()) return Answer::kYes;
    const Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  OpenFilesResult OpenFiles(std::string_view title, std::string_view filter) override {
    dialog_titles.emplace_back(title);
    dialog_filters.emplace_back(filter);
    if (open_results.empty()) return {};
    OpenFilesResult r = open_results.front();
    open_results.pop_front();
    return r;
  }
  std::string SaveFile(std::string_view file_name, std::string_view title,
                       std::string_view filter) override {
    save_file_names.emplace_back(file_name);
    dialog_titles.emplace_back(title);
    dialog_filters.emplace_back(filter);
    if (save_results.empty()) return {};
    std::string r = save_results.front();
    save_results.pop_front();
    return r;
  }
  std::string ChooseFolder(std::string_view title) override {
    dialog_titles.emplace_back(title);
    if (folder_results.empty()) return {};
    std::string r = folder_results.front();
    folder_results.pop_front();
    return r;
  }
  int ChooseItem(std::string_view title, std::string_view, std::span<const std::string> items,
                 int current) override {
    dialog_titles.emplace_back(title);
    item_lists.emplace_back(items.begin(), items.end());
    item_current.push_back(current);
    if (item_results.empty()) return -1;
    const int r = item_results.front();
    item_results.pop_front();
    return r;
  }
  std::string OpenWithShell(std::string_view target) override {
    shell_opened.emplace_back(target);
    if (shell_answers.empty()) return {};
    std::string r = shell_answers.front();
    shell_answers.pop_front();
    return r;
  }

  // Texts of the messages shown, in order.
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const Shown& m : messages) out.push_back(m.text);
    return out;
  }
};

}  // namespace dialsift::test
