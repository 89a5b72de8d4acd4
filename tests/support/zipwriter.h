#pragma once

// ZIP files made with libarchive for tests (the test program links libarchive).

#include <archive.h>
#include <archive_entry.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace tamro::test {

struct ZipMember {
  std::string name, data;
  time_t mtime;
};

// The path written, or empty when the file could not be created.
inline std::string WriteZip(const std::filesystem::path &path, const std::vector<ZipMember> &members) {
  std::filesystem::create_directories(path.parent_path());
  archive *a = archive_write_new();
  archive_write_set_format_zip(a);
  if (archive_write_open_filename(a, path.c_str()) != ARCHIVE_OK) {
    archive_write_free(a);
    return {};
  }
  for (const ZipMember &m : members) {
    archive_entry *e = archive_entry_new();
    archive_entry_set_pathname(e, m.name.c_str());
    archive_entry_set_filetype(e, AE_IFREG);
    archive_entry_set_perm(e, 0644);
    archive_entry_set_size(e, static_cast<la_int64_t>(m.data.size()));
    archive_entry_set_mtime(e, m.mtime, 0);
    archive_write_header(a, e);
    archive_write_data(a, m.data.data(), m.data.size());
    archive_entry_free(e);
  }
  archive_write_close(a);
  archive_write_free(a);
  return path.string();
}

}  // namespace tamro::test
