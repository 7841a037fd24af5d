// The manual page (packaging/linux/lcdwrite.1.in) documents the options --help prints and the
// exit statuses the tool has (app/exitstatus.h), no more and no fewer.
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/commandline.h"

namespace {

std::string ReadSource(const std::string& path) {
  const char* source = std::getenv("LCDWRITE_SOURCE_DIR");
  if (source == nullptr) return {};
  std::ifstream in(std::string(source) + "/" + path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string ReadManPage() { return ReadSource("packaging/linux/lcdwrite.1.in"); }

// The lines of one ".SH NAME" section.
std::vector<std::string> Section(const std::string& page, const std::string& name) {
  std::vector<std::string> lines;
  std::istringstream in(page);
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(".SH ", 0) == 0) {
      inside = line == ".SH " + name;
      continue;
    }
    if (inside) lines.push_back(line);
  }
  return lines;
}

// The tags of a section's ".TP" paragraphs (the line after each .TP), roff escapes undone.
std::vector<std::string> Tags(const std::vector<std::string>& lines) {
  std::vector<std::string> tags;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i] != ".TP") continue;
    std::string tag = std::regex_replace(lines[i + 1], std::regex(R"(\\-)"), "-");
    tag = std::regex_replace(tag, std::regex(R"(\\f[RBI])"), "");
    tags.push_back(tag);
  }
  return tags;
}

std::set<std::string> Options(const std::string& text) {
  std::set<std::string> options;
  const std::regex option(R"((^|[\s",])(--?[a-z][a-z-]*))");
  for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it) {
    options.insert((*it)[2]);
  }
  return options;
}

TEST(ManPage, lists_the_options_of_help) {
  const std::string page = ReadManPage();
  ASSERT_FALSE(page.empty()) << "packaging/linux/lcdwrite.1.in not found";
  std::string tagText;
  for (const std::string& tag : Tags(Section(page, "OPTIONS"))) tagText += tag + "\n";
  for (app::Language language : {app::Language::English, app::Language::German}) {
    // Only the option lines of --help: each starts with two blanks and a dash.
    std::string helpOptions;
    std::istringstream help(app::UsageText(language));
    for (std::string line; std::getline(help, line);) {
      if (line.rfind("  -", 0) == 0) helpOptions += line.substr(0, line.find("  ", 2)) + "\n";
    }
    EXPECT_EQ(Options(tagText), Options(helpOptions)) << "man page tags:\n" << tagText;
  }
}

// The statuses app/exitstatus.h names.
std::set<std::string> NamedExitStatuses() {
  const std::string header = ReadSource("app/exitstatus.h");
  std::set<std::string> named;
  const std::regex status(R"(constexpr int kExit\w+ = (\d+);)");
  for (std::sregex_iterator it(header.begin(), header.end(), status), end; it != end; ++it) {
    named.insert((*it)[1]);
  }
  return named;
}

TEST(ManPage, lists_the_exit_statuses_the_tool_has) {
  const std::string page = ReadManPage();
  ASSERT_FALSE(page.empty());
  std::set<std::string> documented;
  for (const std::string& tag : Tags(Section(page, "EXIT STATUS"))) {
    documented.insert(std::regex_replace(tag, std::regex(R"(^\.B\s+)"), ""));
  }
  const std::set<std::string> named = NamedExitStatuses();
  EXPECT_GE(named.size(), 5u);
  EXPECT_EQ(documented, named);
}

// --help's last paragraph lists every status, in both languages: each as a number standing
// alone after "Exit status:" (or a blank, or "; ") and before its text.
TEST(Help, lists_the_exit_statuses_the_tool_has) {
  const std::set<std::string> named = NamedExitStatuses();
  ASSERT_GE(named.size(), 5u);
  for (app::Language language : {app::Language::English, app::Language::German}) {
    const std::string help = app::UsageText(language);
    const std::string statuses = help.substr(help.find("\n\nExit"));
    std::set<std::string> listed;
    const std::regex number(R"((?:: |; |\n)(\d+) )");
    for (std::sregex_iterator it(statuses.begin(), statuses.end(), number), end; it != end; ++it) {
      listed.insert((*it)[1]);
    }
    EXPECT_EQ(listed, named) << statuses;
  }
}

}  // namespace
