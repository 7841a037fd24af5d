// The manual page (packaging/linux/lcdwrite.1.in) documents what --help prints: the same
// options, and every exit status --help names.
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "app/commandline.h"

namespace {

std::string ReadManPage() {
  const char* source = std::getenv("LCDWRITE_SOURCE_DIR");
  if (source == nullptr) return {};
  std::ifstream in(std::string(source) + "/packaging/linux/lcdwrite.1.in", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

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
  // Only the option lines of --help: each starts with two blanks and a dash.
  std::string helpOptions;
  std::istringstream help(app::UsageText());
  for (std::string line; std::getline(help, line);) {
    if (line.rfind("  -", 0) == 0) helpOptions += line.substr(0, line.find("  ", 2)) + "\n";
  }
  EXPECT_EQ(Options(tagText), Options(helpOptions)) << "man page tags:\n" << tagText;
}

TEST(ManPage, lists_every_exit_status_of_help) {
  const std::string page = ReadManPage();
  ASSERT_FALSE(page.empty());
  std::set<std::string> documented;
  for (const std::string& tag : Tags(Section(page, "EXIT STATUS"))) {
    documented.insert(std::regex_replace(tag, std::regex(R"(^\.B\s+)"), ""));
  }
  // Statuses are the numbers that open a clause of the help's closing paragraph.
  const std::string help = app::UsageText();
  const std::string statusText = help.substr(help.rfind("\n\n"));
  const std::regex status(R"((^|[:;]\s*)(\d+)\s)");
  int found = 0;
  for (std::sregex_iterator it(statusText.begin(), statusText.end(), status), end; it != end;
       ++it, ++found) {
    EXPECT_TRUE(documented.count((*it)[2])) << "exit status " << (*it)[2] << " is not in the man page";
  }
  EXPECT_GE(found, 5) << statusText;
}

}  // namespace
