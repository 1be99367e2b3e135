#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <string_view>

#include "profile/Findings.h"

namespace brindel::cli {

// The report of --json: one JSON document on standard output, in a shape that stays
// as it is ("version" changes when it must change). Texts are UTF-8, ids lower case.
//
//   { "format": "brindel-report", "version": 2, "command": "repair",
//     "runs": [ { "profile", "profileTree", "found", "done", "backup", "result" } ],
//     "result": { "ok": true, "message": "" } }
//
// "profiles" lists the profiles instead of "runs", "versions" the installations. A run
// for one named user (--user) says so in "user". With --all-users the runs (or the
// profiles) of each user are one entry of "users", { "user", "runs", "result" }, and
// "skipped" names the profiles left out with the reason. Version 1 had no users.
class TJsonReport {
 public:
  static constexpr int kVersion = 2;

  explicit TJsonReport(std::string_view Command);

  // The user a run for one named user worked for.
  void SetUser(std::u16string_view User);
  // --all-users: what follows, up to EndUser, belongs to this user.
  void BeginUser(std::u16string_view User);
  // A user without Outlook profiles is reported with a note, not as a failure.
  void EndUser(bool Ok, std::u16string_view Message, std::u16string_view Note);
  void AddSkipped(std::u16string_view Who, std::u16string_view Why);

  // profiles: one entry per profile of the tree.
  void AddProfile(std::u16string_view Name, std::u16string_view Display, bool IsDefault);
  // versions: one entry per installation found.
  void AddInstallation(std::u16string_view Name, std::int32_t Version,
                       std::u16string_view OutlookExe);

  // analyse, repair, restore: one run per profile, in the order they ran.
  void BeginRun(std::u16string_view Profile, std::u16string_view ProfileTree);
  void SetFound(const profile::TFindings& Findings);
  // What a completed repair did: entries and keys, each counted once.
  void SetDone(const profile::TFindings& Findings);
  void AddBackupFile(std::u16string_view Role, std::u16string_view Path, bool Proven);
  void SetBackupProof(std::size_t Keys, std::size_t Values);
  void EndRun(bool Ok, std::u16string_view Message);

  // The result of the whole command; false when anything failed.
  void SetResult(bool Ok, std::u16string_view Message);
  std::string Text() const;

 private:
  nlohmann::ordered_json& Run();
  // The document, or the entry of the user being reported.
  nlohmann::ordered_json& Scope();

  std::string command_;
  nlohmann::ordered_json document_;
  bool inUser_ = false;
};

}  // namespace brindel::cli
