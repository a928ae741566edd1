// A file replaced as a whole: written into a temporary file in the target's
// folder and moved over the target only when complete, so that readers see
// the old file or the new one, never a part.
#pragma once

#include <string>
#include <string_view>

namespace dialsift::platform {

class AtomicFile {
 public:
  // How the temporary file is made. kUnnamed (the default) makes it without
  // a name (O_TMPFILE), so that a crash leaves nothing behind, and falls back
  // to kNamed where the file system cannot; kNamed is always a named file.
  enum class Temporary { kUnnamed, kNamed };

  AtomicFile() = default;
  explicit AtomicFile(Temporary temporary) : temporary_(temporary) {}
  ~AtomicFile() { Cancel(); }
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Begins a new content for `path`. A symbolic link is followed: the file
  // it leads to is replaced, not the link. The new file gets the permissions
  // of the file it replaces, or those of a new file (0666 less the umask).
  // An existing target that is not a regular file (a device, a fifo) cannot
  // be replaced and is written directly. False when the target is a folder,
  // a file the user may not write, or its folder is missing or not writable.
  bool Open(const std::string& path);
  // Writes everything; false once a write has failed (later ones fail too).
  bool Write(std::string_view bytes);
  // Puts the content on disk and in place of the target. False when any
  // write failed or the replacing does; the target is then as it was.
  bool Commit();
  // Drops the new content; the target stays as it was.
  void Cancel();
  // The last failure in the system's words ("Permission denied").
  const std::string& Error() const { return error_; }

 private:
  enum class Mode { kClosed, kUnnamed, kNamed, kDirect };
  bool Fail(int error);
  bool OpenTemporary(int permissions);
  bool LinkUnnamed();

  Temporary temporary_ = Temporary::kUnnamed;
  Mode mode_ = Mode::kClosed;
  int fd_ = -1;
  std::string target_;          // the file replaced, links followed
  std::string temporary_name_;  // kNamed: the temporary file's path
  bool failed_ = false;
  std::string error_;
};

}  // namespace dialsift::platform
