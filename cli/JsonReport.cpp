#include "cli/JsonReport.h"

#include <filesystem>

#include "platform/Text.h"

namespace brindel::cli {
namespace {

using nlohmann::ordered_json;
using platform::ToUtf8;

ordered_json Sections(const std::vector<profile::TFoundSection>& sections) {
  ordered_json list = ordered_json::array();
  for (const auto& section : sections)
    list.push_back({{"id", ToUtf8(section.Id)}, {"name", ToUtf8(section.Name)}});
  return list;
}

int RemovedRepeats(const profile::TFindings& Findings) {
  int removed = 0;
  for (const auto& entry : Findings.RepeatedEntries)
    removed += entry.Count - 1;
  return removed;
}

}  // namespace

TJsonReport::TJsonReport(std::string_view Command) : command_(Command) {
  document_["format"] = "brindel-report";
  document_["version"] = kVersion;
  document_["command"] = command_;
}

nlohmann::ordered_json& TJsonReport::Scope() {
  return inUser_ ? document_["users"].back() : document_;
}

void TJsonReport::SetUser(std::u16string_view User) {
  document_["user"] = ToUtf8(User);
}

void TJsonReport::BeginUser(std::u16string_view User) {
  // Every user has the list, also one without profiles.
  document_["users"].push_back(
      {{"user", ToUtf8(User)},
       {command_ == "profiles" ? "profiles" : "runs", ordered_json::array()}});
  inUser_ = true;
}

void TJsonReport::EndUser(bool Ok, std::u16string_view Message, std::u16string_view Note) {
  if (!Note.empty())
    Scope()["note"] = ToUtf8(Note);
  Scope()["result"] = {{"ok", Ok}, {"message", ToUtf8(Message)}};
  inUser_ = false;
}

void TJsonReport::AddSkipped(std::u16string_view Who, std::u16string_view Why) {
  document_["skipped"].push_back({{"user", ToUtf8(Who)}, {"reason", ToUtf8(Why)}});
}

void TJsonReport::AddProfile(std::u16string_view Name, std::u16string_view Display,
                             bool IsDefault) {
  Scope()["profiles"].push_back(
      {{"name", ToUtf8(Name)}, {"display", ToUtf8(Display)}, {"default", IsDefault}});
}

void TJsonReport::AddInstallation(std::u16string_view Name, std::int32_t Version,
                                  std::u16string_view OutlookExe) {
  document_["installations"].push_back(
      {{"name", ToUtf8(Name)}, {"version", Version}, {"outlookExe", ToUtf8(OutlookExe)}});
}

void TJsonReport::BeginRun(std::u16string_view Profile, std::u16string_view ProfileTree) {
  Scope()["runs"].push_back({{"profile", ToUtf8(Profile)}, {"profileTree", ToUtf8(ProfileTree)}});
}

ordered_json& TJsonReport::Run() {
  return Scope()["runs"].back();
}

void TJsonReport::SetFound(const profile::TFindings& Findings) {
  ordered_json repeated = ordered_json::array();
  for (const auto& entry : Findings.RepeatedEntries)
    repeated.push_back({{"id", ToUtf8(entry.Id)}, {"count", entry.Count}});
  ordered_json accounts = ordered_json::array();
  for (const auto& account : Findings.FaultyAccounts) {
    accounts.push_back(
        {{"account", ToUtf8(account.Account)},
         {"name", ToUtf8(account.Name)},
         {"reason", account.Why == profile::TFaultyAccount::Reason::NoServiceUid ? "noServiceUid"
                                                                                 : "notListed"}});
  }
  Run()["found"] = {{"sections", Findings.Sections},
                    {"providerEntries", Findings.Providers},
                    {"usedIds", Findings.UsedIds},
                    {"emptySections", Sections(Findings.EmptySections)},
                    {"unusedSections", Sections(Findings.UnusedSections)},
                    {"unlinkedProviders", Sections(Findings.UnlinkedProviders)},
                    {"repeatedEntries", repeated},
                    {"faultyAccounts", accounts}};
}

void TJsonReport::SetDone(const profile::TFindings& Findings) {
  Run()["done"] = {{"sectionsDeleted", Findings.UnusedSections.size()},
                   {"providerEntriesUnlinked", Findings.UnlinkedProviders.size()},
                   {"repeatedEntriesRemoved", RemovedRepeats(Findings)},
                   {"accountsDeleted", Findings.FaultyAccounts.size()}};
}

void TJsonReport::AddBackupFile(std::u16string_view Role, std::u16string_view Path, bool Proven) {
  std::error_code error;
  const auto size = std::filesystem::file_size(std::filesystem::path(std::u16string(Path)), error);
  Run()["backup"]["files"].push_back({{"role", ToUtf8(Role)},
                                      {"path", ToUtf8(Path)},
                                      {"size", error ? 0 : size},
                                      {"proven", Proven}});
}

void TJsonReport::SetBackupProof(std::size_t Keys, std::size_t Values) {
  Run()["backup"]["keys"] = Keys;
  Run()["backup"]["values"] = Values;
}

void TJsonReport::EndRun(bool Ok, std::u16string_view Message) {
  Run()["result"] = {{"ok", Ok}, {"message", ToUtf8(Message)}};
}

void TJsonReport::SetResult(bool Ok, std::u16string_view Message) {
  document_["result"] = {{"ok", Ok}, {"message", ToUtf8(Message)}};
}

std::string TJsonReport::Text() const {
  return document_.dump(2) + "\n";
}

}  // namespace brindel::cli
