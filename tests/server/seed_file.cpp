// Seed data of the test server: a readable text file of users, groups, sites, commits and worklists.
#include "tests/server/seed_file.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

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

std::string count_words(size_t n)
{
  return std::to_string(n) + (n == 1 ? " word" : " words");
}

using words_t = std::vector<std::string>;

// Applies the entries of a seed to a repository, refusing what names nothing or would silently replace.
class seed_loader_t
{
public:
  seed_loader_t(server_repository_t &repository, const std::string &site_root_base)
    : repository_(repository), site_root_base_(site_root_base)
  {
  }

  // Applies one entry; the reason when it is refused.
  std::string apply(const words_t &w)
  {
    constexpr size_t any_number = SIZE_MAX;
    static constexpr entry_form_t entry_forms[] = {
      {"user", 2, any_number, "LOGIN PASSWORD [admin] [name=TEXT] [email=TEXT]", &seed_loader_t::user},
      {"group", 1, any_number, "NAME [MEMBER...]", &seed_loader_t::group},
      {"site", 4, 4, "NAME USER ROOT HOST", &seed_loader_t::site},
      {"commit", 4, any_number, "USER SITE DESCRIPTION PATH=CONTENT...", &seed_loader_t::commit},
      {"worklist", 3, 3, "USER SITE DESCRIPTION", &seed_loader_t::worklist},
      {"permission", 3, 3, "WHO PATTERN NUMBER", &seed_loader_t::permission},
      {"filter", 1, any_number, "SITE LINE...", &seed_loader_t::filter},
    };
    for ( const entry_form_t &form : entry_forms )
    {
      if ( w[0] != form.kind )
        continue;
      const size_t given = w.size() - 1;
      if ( given < form.least || given > form.most )
        return w[0] + " expects " + form.words + ", found " + count_words(given);
      return (this->*form.apply)(w);
    }
    return "unknown entry " + w[0] + " (user, group, site, commit, worklist, permission or filter)";
  }

private:
  // An entry kind: the words it takes after its own, and what applies it.
  struct entry_form_t
  {
    const char *kind;
    size_t least;
    size_t most;
    const char *words;
    std::string (seed_loader_t::*apply)(const words_t &);
  };

  std::string known_user(const std::string &login) const
  {
    return repository_.has_user(login) ? "" : "no user " + login;
  }
  std::string known_site(const std::string &name) const
  {
    return repository_.has_site(name) ? "" : "no site " + name;
  }
  // The first of the two that does not exist.
  std::string user_and_site(const std::string &login, const std::string &site) const
  {
    std::string reason = known_user(login);
    return reason.empty() ? known_site(site) : reason;
  }
  static std::string server_path(const std::string &path)
  {
    return path.starts_with("//") ? "" : "path " + path + " does not start with //";
  }

  std::string user(const words_t &w)
  {
    if ( repository_.has_user(w[1]) )
      return "duplicate user " + w[1];
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
    repository_.add_user(w[1], w[2], admin, name, email);
    return "";
  }

  std::string group(const words_t &w)
  {
    if ( repository_.has_group(w[1]) )
      return "duplicate group " + w[1];
    for ( size_t i = 2; i < w.size(); ++i )
      if ( !repository_.has_user(w[i]) )
        return "group " + w[1] + ": no user " + w[i];
    repository_.add_group(w[1], std::vector<std::string>(w.begin() + 2, w.end()));
    return "";
  }

  std::string site(const words_t &w)
  {
    if ( repository_.has_site(w[1]) )
      return "duplicate site " + w[1];
    if ( std::string reason = known_user(w[2]); !reason.empty() )
      return reason;
    std::string root = w[3];
    if ( !root.starts_with('/') )
    {
      std::error_code failure;
      const fs::path placed = fs::absolute(fs::path(site_root_base_) / root, failure).lexically_normal();
      if ( !failure )
        fs::create_directories(placed, failure);
      if ( failure )
        return "cannot make the site root " + root + " under " + site_root_base_ + ": " + failure.message();
      root = placed.string();
      if ( root.size() > 1 && root.ends_with('/') )
        root.pop_back();
    }
    repository_.add_site(w[1], w[2], root, w[4]);
    return "";
  }

  std::string commit(const words_t &w)
  {
    if ( std::string reason = user_and_site(w[1], w[2]); !reason.empty() )
      return reason;
    std::vector<std::pair<std::string, std::string>> files;
    for ( size_t i = 4; i < w.size(); ++i )
    {
      const size_t equals = w[i].find('=');
      if ( equals == std::string::npos || equals == 0 )
        return "a committed file is PATH=CONTENT";
      std::string path = w[i].substr(0, equals);
      if ( std::string reason = server_path(path); !reason.empty() )
        return reason;
      files.emplace_back(std::move(path), w[i].substr(equals + 1));
    }
    repository_.commit_files(w[1], w[2], w[3], files);
    return "";
  }

  std::string worklist(const words_t &w)
  {
    std::string reason = user_and_site(w[1], w[2]);
    if ( reason.empty() )
      repository_.add_worklist(w[1], w[2], w[3]);
    return reason;
  }

  std::string filter(const words_t &w)
  {
    std::string reason = known_site(w[1]);
    if ( reason.empty() )
      repository_.set_site_filters(w[1], words_t(w.begin() + 2, w.end()));
    return reason;
  }

  std::string permission(const words_t &w)
  {
    const std::string &who = w[1];
    if ( who != "*" && !repository_.has_user(who) && !repository_.has_group(who) )
      return "no user or group " + who;
    if ( std::string reason = server_path(w[2]); !reason.empty() )
      return reason;
    int32_t number = 0;
    const char *end = w[3].data() + w[3].size();
    const auto [stop, failure] = std::from_chars(w[3].data(), end, number);
    if ( w[3].empty() || failure != std::errc() || stop != end )
      return "a permission number is decimal";
    repository_.add_permission(who, w[2], number);
    return "";
  }

  server_repository_t &repository_;
  const std::string site_root_base_;
};

}  // namespace

bool load_seed_text(server_repository_t &repository, const std::string &text, std::string *error,
                    const std::string &site_root_base)
{
  seed_loader_t loader(repository, site_root_base);
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
    const std::string reason = loader.apply(words);
    if ( !reason.empty() )
    {
      *error = std::to_string(number) + ": " + reason;
      return false;
    }
  }
  return true;
}

bool load_seed_file(server_repository_t &repository, const std::string &path, std::string *error,
                    const std::string &site_root_base)
{
  std::error_code failure;
  if ( fs::is_directory(path, failure) )
  {
    *error = path + ": a folder, not a seed file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if ( !in )
  {
    *error = path + ": cannot read: " + std::strerror(errno);
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if ( load_seed_text(repository, text.str(), error, site_root_base) )
    return true;
  *error = path + ":" + *error;
  return false;
}
