// Writes the seed corpora of the fuzz targets into a folder, from what the project
// itself holds: the demo registry, its OUTLOOK.EXE, the .reg fixtures of the tests and
// hives made from them by the project's own writer and hive store.
//
//   MakeSeeds OUTPUT-FOLDER FIXTURES-FOLDER [PE-FOLDER]
//
// It writes OUTPUT/reg (texts for RegTextFuzz and ImportFuzz), OUTPUT/hive (for the
// two hive targets) and OUTPUT/pe (for PeVersionFuzz).

#include <filesystem>
#include <fstream>
#include <iostream>
#include <span>
#include <string>
#include <string_view>

#include "app/RegistrySource.h"
#include "platform/Errors.h"
#include "registry/store/hive/HiveStore.h"
#include "registry/store/hive/EmptyHive.h"
#include "regfile/RegText.h"

namespace {

namespace fs = std::filesystem;
using namespace brindel;

void WriteFile(const fs::path& file, std::string_view bytes) {
  std::ofstream(file, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A user hive that holds what the .reg text loads below HKEY_CURRENT_USER; what it
// loads below HKEY_LOCAL_MACHINE goes into a SOFTWARE hive that is thrown away.
void WriteHive(const fs::path& file, std::string_view regText) {
  const fs::path software = file.string() + ".software";
  registry::store::hive::WriteEmptyHive(file);
  registry::store::hive::WriteEmptyHive(software);
  registry::store::HiveStore store;
  store.Mount(registry::store::HiveStore::MountPoint::CurrentUser, file);
  store.Mount(registry::store::HiveStore::MountPoint::MachineSoftware, software);
  regfile::LoadRegText(
      std::span(reinterpret_cast<const std::uint8_t*>(regText.data()), regText.size()), store);
  const bool written = store.Close() == registry::store::ERROR_SUCCESS;
  fs::remove(software);
  if (!written)
    throw std::runtime_error("hive not written: " + file.string());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "Aufruf: MakeSeeds AUSGABEORDNER FIXTURES-ORDNER [PE-ORDNER]\n";
    return 2;
  }
  const fs::path out = argv[1];
  const fs::path fixtures = argv[2];
  for (const char* kind : {"reg", "hive", "pe"})
    fs::create_directories(out / kind);
  try {
    WriteFile(out / "reg" / "demo.reg", app::DemoRegistryText());
    WriteHive(out / "hive" / "demo.dat", app::DemoRegistryText());
    registry::store::hive::WriteEmptyHive(out / "hive" / "empty.dat");
    for (const auto& entry : fs::recursive_directory_iterator(fixtures)) {
      if (entry.path().extension() != ".reg")
        continue;
      const std::string name =
          entry.path().parent_path().filename().string() + "-" + entry.path().stem().string();
      const std::string text = ReadFile(entry.path());
      WriteFile(out / "reg" / (name + ".reg"), text);
      WriteHive(out / "hive" / (name + ".dat"), text);
    }
    WriteFile(out / "pe" / "demo-outlook.exe", app::DemoOutlookExe());
    if (argc > 3) {
      for (const auto& entry : fs::directory_iterator(argv[3])) {
        if (entry.path().extension() == ".exe")
          fs::copy_file(entry.path(), out / "pe" / entry.path().filename(),
                        fs::copy_options::overwrite_existing);
      }
    }
  } catch (const std::exception& error) {
    std::cerr << "MakeSeeds: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
