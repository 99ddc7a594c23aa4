#pragma once

#include <QString>

#include <string_view>
#include <vector>

namespace kabuka {

// Files written beside their final names and made durable together: one sync of
// the file system for a whole month of day files instead of one per file, which
// cost more than the rest of a year's collection. Each file still replaces its
// old copy only whole, by a rename after the sync; until then the old copy stays.
// Files not committed are removed when the stage goes.
class StagedFiles {
public:
  StagedFiles() = default;
  ~StagedFiles();
  StagedFiles(const StagedFiles&) = delete;
  StagedFiles& operator=(const StagedFiles&) = delete;

  // Writes `content` to a new file beside `finalPath`; false (and nothing left
  // behind) when it could not be written whole.
  bool add(const QString& finalPath, std::string_view content);

  struct Committed {
    int files = 0;    // renamed over their final names
    bool all = true;  // every staged file was synced and renamed
  };
  // Syncs every staged file to the disk, then renames each over its final name
  // in the order they were added, so a later file for the same name wins.
  Committed commit();

private:
  struct Staged {
    QString temporaryPath;
    QString finalPath;
  };
  bool syncAll();
  void discard();

  std::vector<Staged> m_staged;
};

}  // namespace kabuka
