// The CLI's command line against Qt's parser, set up as the CLI used to set
// it up (bundled short options, options after operands): the same options,
// values, operands and error texts for the same words.
#include "app/command_line.h"

#include <gtest/gtest.h>
#include <QCommandLineOption>
#include <QCommandLineParser>

#include <string>
#include <vector>

namespace dialsift::app {
namespace {

constexpr OptionSpec kTable[] = {
    {"l", "lengths", "LIST", ""}, {"", "e164", "REGION", ""}, {"c", "comma", "", ""},
    {"q", "quiet", "", ""},       {"j", "jobs", "N", ""},     {"0", "null", "", ""},
    {"", "unique", "", ""},
};

// What a parser made of a command line, in a form both can give.
struct Reading {
  std::string error;
  std::vector<std::string> options;  // "name=value" for each option set, in table order
  std::vector<std::string> operands;
  bool operator==(const Reading&) const = default;
};

std::string Latin1(const QString& s) {
  return s.toLatin1().toStdString();
}

Reading ByQt(const std::vector<std::string>& words) {
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
  parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
  for (const auto& o : kTable) {
    QStringList names;
    if (*o.short_name) names << o.short_name;
    names << o.long_name;
    parser.addOption(QCommandLineOption(names, "", o.value));
  }
  QStringList args{"dialsift-cli"};
  for (const auto& w : words)
    args << QString::fromLatin1(w.data(), static_cast<qsizetype>(w.size()));
  Reading r;
  if (!parser.parse(args)) {
    r.error = Latin1(parser.errorText());
    return r;
  }
  for (const auto& o : kTable) {
    if (parser.isSet(o.long_name)) {
      r.options.push_back(std::string(o.long_name) + "=" + Latin1(parser.value(o.long_name)));
    }
  }
  for (const auto& p : parser.positionalArguments()) r.operands.push_back(Latin1(p));
  return r;
}

Reading Ours(const std::vector<std::string>& words) {
  std::vector<const char*> args{"dialsift-cli"};
  for (const auto& w : words) args.push_back(w.c_str());
  const CommandLine line(kTable, args);
  Reading r;
  if (!line.error().empty()) {
    r.error = line.error();
    return r;
  }
  for (const auto& o : kTable) {
    if (line.IsSet(o.long_name))
      r.options.push_back(std::string(o.long_name) + "=" + line.Value(o.long_name));
  }
  r.operands = line.operands();
  return r;
}

std::string Show(const Reading& r) {
  std::string s = "error '" + r.error + "' options";
  for (const auto& o : r.options) s += " [" + o + "]";
  s += " operands";
  for (const auto& o : r.operands) s += " [" + o + "]";
  return s;
}

TEST(CommandLine, ReadsEveryCommandLineAsQtsParserDid) {
  const std::vector<std::vector<std::string>> lines = {
      {},
      {"a.xlsx", "b.xls"},
      {"-l", "7,10", "a.xlsx"},
      {"-l7-11", "a.xlsx"},
      {"-l=7", "a.xlsx"},
      {"--lengths", "7", "--lengths=10", "a"},  // the last value counts
      {"--lengths="},                           // an empty value is a value
      {"a.xlsx", "-q", "b.xlsx"},               // options after operands
      {"-qcj2", "a"},                           // switches bundled, then a value
      {"-qcj", "2", "a"},
      {"-qj=3", "a"},
      {"-", "--", "-q", "--jobs", "x"},  // "-" and everything after "--" are operands
      {"--e164", "-q"},                  // a value may begin with a dash
      {"-0", "--null", "--unique"},
      {"--jobs"},  // missing values
      {"a", "-qj"},
      {"--e164"},
      {"--quiet=yes"},  // a value for a switch
      {"-q=yes"},
      {"-cq=1", "a"},
      {"--bogus", "a"},  // unknown options, one or several
      {"-x", "-q", "-yz"},
      {"--bogus=1", "--other"},
      {"--bogus", "--jobs"},  // a missing value outweighs unknown names
      {"--", "--bogus"},
      {"-\xe9", "\xff\xfe.xlsx", "caf\xe9.xlsx"},  // bytes in any encoding come back as given
      {"---q"},
      {"--=x"},
  };
  for (const auto& words : lines) {
    std::string shown;
    for (const auto& w : words) shown += " " + w;
    EXPECT_EQ(Show(Ours(words)), Show(ByQt(words))) << "for:" << shown;
  }
}

}  // namespace
}  // namespace dialsift::app
