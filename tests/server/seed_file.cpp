// Seed data of the test server: a readable text file of users, groups, sites, commits and worklists.
#include "tests/server/seed_file.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

// Splits a line into words; false for an unterminated quote.
bool split_words(const std::string &line, std::vector<std::string> *words)
{
  std::string word;
  bool in_word = false;
  bool quoted = false;
  for ( size_t i = 0; i < line.size(); ++i )
  {
    const char c = line[i];
    if ( quoted )
    {
      if ( c == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\') )
        word += line[++i];
      else if ( c == '"' )
        quoted = false;
      else
        word += c;
    }
    else if ( c == '"' )
    {
      quoted = true;
      in_word = true;
    }
    else if ( c == ' ' || c == '\t' || c == '\r' )
    {
      if ( in_word )
        words->push_back(std::move(word));
      word.clear();
      in_word = false;
    }
    else
    {
      word += c;
      in_word = true;
    }
  }
  if ( in_word )
    words->push_back(std::move(word));
  return !quoted;
}

// Applies one entry; the reason when it is not understood.
std::string apply_entry(server_repository_t &repository, const std::vector<std::string> &w)
{
  const std::string &kind = w[0];
  if ( kind == "user" && w.size() >= 3 )
  {
    bool admin = false;
    std::string name;
    std::string email;
    for ( size_t i = 3; i < w.size(); ++i )
    {
      if ( w[i] == "admin" )
        admin = true;
      else if ( w[i].starts_with("name=") )
        name = w[i].substr(5);
      else if ( w[i].starts_with("email=") )
        email = w[i].substr(6);
      else
        return "unknown user option " + w[i];
    }
    repository.add_user(w[1], w[2], admin, name, email);
    return "";
  }
  if ( kind == "group" && w.size() >= 2 )
  {
    repository.add_group(w[1], std::vector<std::string>(w.begin() + 2, w.end()));
    return "";
  }
  if ( kind == "site" && w.size() == 5 )
  {
    repository.add_site(w[1], w[2], w[3], w[4]);
    return "";
  }
  if ( kind == "commit" && w.size() >= 5 )
  {
    std::vector<std::pair<std::string, std::string>> files;
    for ( size_t i = 4; i < w.size(); ++i )
    {
      const size_t equals = w[i].find('=');
      if ( equals == std::string::npos || equals == 0 )
        return "a committed file is PATH=CONTENT";
      files.emplace_back(w[i].substr(0, equals), w[i].substr(equals + 1));
    }
    repository.commit_files(w[1], w[2], w[3], files);
    return "";
  }
  if ( kind == "worklist" && w.size() == 4 )
  {
    repository.add_worklist(w[1], w[2], w[3]);
    return "";
  }
  if ( kind == "permission" && w.size() == 4 )
  {
    char *end = nullptr;
    const long number = std::strtol(w[3].c_str(), &end, 10);
    if ( *end != '\0' )
      return "a permission number is decimal";
    repository.add_permission(w[1], w[2], int32_t(number));
    return "";
  }
  if ( kind == "filter" && w.size() >= 2 )
  {
    repository.set_site_filters(w[1], std::vector<std::string>(w.begin() + 2, w.end()));
    return "";
  }
  return "not an entry: " + kind;
}

}  // namespace

bool load_seed_text(server_repository_t &repository, const std::string &text, std::string *error)
{
  std::istringstream in(text);
  std::string line;
  for ( int number = 1; std::getline(in, line); ++number )
  {
    std::vector<std::string> words;
    if ( !split_words(line, &words) )
    {
      *error = std::to_string(number) + ": unterminated quote";
      return false;
    }
    if ( words.empty() || words[0].starts_with("#") )
      continue;
    const std::string reason = apply_entry(repository, words);
    if ( !reason.empty() )
    {
      *error = std::to_string(number) + ": " + reason;
      return false;
    }
  }
  return true;
}

bool load_seed_file(server_repository_t &repository, const std::string &path, std::string *error)
{
  std::ifstream in(path);
  if ( !in )
  {
    *error = "cannot read " + path;
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return load_seed_text(repository, text.str(), error);
}
