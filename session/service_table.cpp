// What the service table asks of an installation, gathered for the content check.
#include "session/service_table.h"

#include <algorithm>

namespace velora {

std::set<std::string> PagesOpenedByName() {
  std::set<std::string> pages;
  for (const ServiceRow& row : ServiceTable) {
    for (std::string_view page : row.pages)
      pages.insert(WithTxt(page));
  }
  return pages;
}

std::set<std::string, std::less<>> InputNamesRead() {
  std::set<std::string, std::less<>> inputs;
  for (const ServiceRow& row : ServiceTable) {
    for (std::string_view input : row.inputs)
      inputs.emplace(input);
  }
  return inputs;
}

std::vector<ResourceFile> ResourceFiles() {
  std::vector<ResourceFile> files;
  for (const ServiceRow& row : ServiceTable) {
    for (const ResourceFile& resource : row.resources) {
      const bool known = std::any_of(files.begin(), files.end(), [&](const ResourceFile& f) {
        return f.file == resource.file;
      });
      if (!known) files.push_back(resource);
    }
  }
  return files;
}

}  // namespace velora
