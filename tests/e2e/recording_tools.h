// The external programs of an end-to-end run: associations stored in the private settings before akui starts,
// and a viewer that records how it was called.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// One association as the settings store keeps it: the extension, then the viewer, diff and merge programs
// with their argument templates (the merge one per method, automatic first).
struct stored_association_t
{
  std::string ext;
  std::string view;
  std::string view_args;
  std::string diff;
  std::string diff_args;
  std::string merge;
  std::vector<std::string> merge_args; // four templates, or none
};

// Replaces akui's stored associations in the settings folder `config` (what XDG_CONFIG_HOME names for it).
// False with *error when the store cannot be written.
bool store_associations(const std::filesystem::path &config, const std::vector<stored_association_t> &list,
                        std::string *error);

// The disassembler's association for databases as a new installation has it: the stand-in beside the program
// with the default diff and merge templates.
stored_association_t database_association(const std::string &ext);

// A viewer program (a shell script in `folder`) that appends one line per run to its record: the arguments
// separated by blanks, each followed by "=" and the content of the file it names.
class recording_viewer_t
{
public:
  explicit recording_viewer_t(const std::filesystem::path &folder);

  [[nodiscard]] const std::string &program() const { return program_; }
  // The runs recorded so far, one line each.
  [[nodiscard]] std::vector<std::string> runs() const;

private:
  std::string program_;
  std::string record_;
};
