#pragma once

// What the fuzz targets share: a scratch file for inputs that must be files, and the
// analysis and repair of every profile a registry holds.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "outlook/ProfileList.h"
#include "platform/Errors.h"
#include "profile/LogSink.h"
#include "profile/ProfileAnalysis.h"
#include "profile/Repair.h"

namespace brindel::fuzz {

// A file in the temporary folder, one per process, holding the input.
class ScratchFile {
 public:
  explicit ScratchFile(std::string_view name)
      : path_(std::filesystem::temp_directory_path() /
              ("brindel-fuzz-" + std::to_string(::getpid()) + "-" + std::string(name))) {}
  ~ScratchFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::filesystem::path& Write(const std::uint8_t* data, std::size_t size) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path_;
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A log that keeps nothing: the targets look for crashes and hangs, not texts.
class NullLog : public profile::TLogSink {
 public:
  void Log(std::u16string_view) override {}
};

// The profile trees the program looks in.
inline constexpr std::u16string_view kProfileTrees[] = {
    u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles",
    u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles",
};

// "Auslesen" of every profile found, and with `repair` "Löschen"'s repair after it.
// Errors that end an action are the program's answer to a bad registry; they are
// caught here as the window and the command line catch them.
inline void AnalyseEveryProfile(bool repair) {
  for (const std::u16string_view tree : kProfileTrees) {
    outlook::TProfileList profiles;
    try {
      profiles = outlook::GetProfileList(tree);
    } catch (const platform::Exception&) {
      continue;
    }
    for (int i = 0; i < profiles.Count(); ++i) {
      NullLog log;
      profile::TProfileAnalysis analysis(log);
      try {
        analysis.Analyse(tree, profiles[i].ProfilName);
        if (repair)
          profile::RepairProfile(analysis);
      } catch (const platform::Exception&) {
      }
    }
  }
}

}  // namespace brindel::fuzz
