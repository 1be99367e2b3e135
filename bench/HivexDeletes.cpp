// The peer of repair_profile's store work: a plain libhivex program that deletes the
// same sections of one profile and commits the hive.
//
//   hivex_deletes HIVE PROFILE NAMES
//
// NAMES holds the section names, one a line (repair_profile HIVE PROFILE NAMES writes
// them). Exit status 0 when every section was deleted and the hive committed.

#include <hivex.h>

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: hivex_deletes HIVE PROFILE NAMES\n");
    return 2;
  }
  hive_h* hive = hivex_open(argv[1], HIVEX_OPEN_WRITE);
  if (hive == nullptr) {
    std::perror("hivex_open");
    return 1;
  }
  hive_node_h node = hivex_root(hive);
  for (const char* part : {"Software", "Microsoft", "Office", "16.0", "Outlook", "Profiles"})
    node = node == 0 ? 0 : hivex_node_get_child(hive, node, part);
  node = node == 0 ? 0 : hivex_node_get_child(hive, node, argv[2]);
  if (node == 0) {
    std::fprintf(stderr, "hivex_deletes: no profile %s\n", argv[2]);
    hivex_close(hive);
    return 1;
  }
  std::ifstream names(argv[3]);
  std::string name;
  int status = 0;
  while (status == 0 && std::getline(names, name)) {
    const hive_node_h section = hivex_node_get_child(hive, node, name.c_str());
    if (section == 0 || hivex_node_delete_child(hive, section) != 0)
      status = 1;
  }
  if (status == 0 && hivex_commit(hive, nullptr, 0) != 0)
    status = 1;
  hivex_close(hive);
  if (status != 0)
    std::fprintf(stderr, "hivex_deletes: failed\n");
  return status;
}
