// Environment variables changed by a test and put back afterwards.
#pragma once

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

// Sets an environment variable, or removes it for a null value.
inline void set_env(const char *name, const char *value)
{
  value != nullptr ? setenv(name, value, 1) : unsetenv(name);
}

// Puts the named environment variables back as they were (their values, or their absence) when it goes out
// of scope.
class env_guard_t
{
public:
  explicit env_guard_t(std::initializer_list<const char *> names)
  {
    for ( const char *name : names )
    {
      const char *value = std::getenv(name);
      saved_.push_back({name, value != nullptr, value != nullptr ? value : ""});
    }
  }
  // Guards one variable and gives it value (null: removes it) for the guard's lifetime.
  env_guard_t(const char *name, const char *value) : env_guard_t({name}) { set_env(name, value); }
  ~env_guard_t()
  {
    for ( const saved_t &s : saved_ )
      set_env(s.name.c_str(), s.set ? s.value.c_str() : nullptr);
  }
  env_guard_t(const env_guard_t &) = delete;
  env_guard_t &operator=(const env_guard_t &) = delete;

private:
  struct saved_t
  {
    std::string name;
    bool set;
    std::string value;
  };
  std::vector<saved_t> saved_;
};
