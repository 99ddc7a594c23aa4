#pragma once

#include <QRandomGenerator>
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
  // `random` names the temporary files; a test may give one with a known seed.
  explicit StagedFiles(QRandomGenerator& random = *QRandomGenerator::global()) : m_random(random) {}
  ~StagedFiles();
  StagedFiles(const StagedFiles&) = delete;
  StagedFiles& operator=(const StagedFiles&) = delete;

  // A file whose content is already that of its final name is then left as it is
  // (its time and inode too), so that a backup keyed on times copies nothing
  // for it.
  void keepUnchangedFiles(bool keep) { m_keepUnchanged = keep; }

  enum class Added {
    Staged,     // written beside its final name, to be renamed over it
    Unchanged,  // the final file holds these bytes already; nothing written
    Failed,     // could not be written whole; nothing left behind
  };
  Added add(const QString& finalPath, std::string_view content);

  // Forgets the file staged last, which is then never renamed into place.
  void discardLast();

  struct Committed {
    int files = 0;    // renamed over their final names
    bool all = true;  // every staged file was synced and renamed
  };
  // Syncs every staged file to the disk, then renames each over its final name
  // in the order they were added, so a later file for the same name wins. What
  // could not be renamed is removed.
  Committed commit();

private:
  struct Staged {
    QString temporaryPath;
    QString finalPath;
  };
  bool syncAll();
  void discard();

  QRandomGenerator& m_random;
  std::vector<Staged> m_staged;
  bool m_keepUnchanged = false;
};

// Makes the renames and removals inside `folder` durable; false when the sync failed.
bool syncFolder(const QString& folder);

// Removes what interrupted writes left in `folder`: the temporary files
// "<name>.XXXXXX" (six letters or digits) of the files whose names match
// `finalNames`, a wildcard such as "201603??.csv". Only for files this run owns.
void removeLeftoverTemporaries(const QString& folder, const QString& finalNames);

}  // namespace kabuka
