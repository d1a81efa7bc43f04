#include "platform/posix/ini_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <optional>
#include <utility>

#include "platform/posix/file_parts.h"

namespace vreko::posix {

using namespace files;

// The file as it was last read or written while an update lock is held.
struct IniFile::Kept {
    int locks = 0;                        // update locks held
    std::shared_ptr<const IniText> text;  // nothing: read at the next use
    std::optional<FileKey> key;           // the file the text is of; nothing for a missing file
    std::string untrusted;                // why the text could come from another user
};

namespace {

// The lock of the settings folder: closing the last descriptor releases it. What was kept of
// the file is let go with it.
class FolderLock : public SettingsStore::UpdateLock {
public:
    FolderLock(int fd, std::function<void()> release) : fd_(fd), release_(std::move(release)) {}
    ~FolderLock() override {
        release_();
        ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_;
    std::function<void()> release_;
};

}  // namespace

IniFile::IniFile(std::string path) : IniStore("\n"), path_(std::move(path)), kept_(std::make_shared<Kept>()) {}

IniFile::~IniFile() = default;

std::unique_ptr<SettingsStore::UpdateLock> IniFile::TakeUpdateLock() {
    const auto target = ResolveLinks(path_);
    if (!target) return nullptr;
    const int fd = LockFolder(*target);
    RemoveStaleTemporaries(*target);
    if (fd < 0) return nullptr;
    std::string text, untrusted;
    struct stat st {};
    const LoadResult r = ReadSettingsFile(path_, kMaxFileSize, text, st, untrusted);
    bool rewritten = false;
    ignored_ = FinishRewrite(*target, untrusted.empty(), rewritten);
    if (kept_->locks++ == 0 && r != LoadResult::Failed && !rewritten) {
        // Kept for the reads that follow.
        kept_->text = std::make_shared<const IniText>(std::move(text));
        kept_->untrusted = std::move(untrusted);
        if (r == LoadResult::Ok) kept_->key.emplace(st);
    }
    return std::make_unique<FolderLock>(fd, [kept = kept_] {
        if (--kept->locks == 0) *kept = Kept{};
    });
}

std::shared_ptr<const IniText> IniFile::Load() const {
    Kept& kept = *kept_;
    if (kept.locks > 0 && kept.text) {
        struct stat st {};
        const bool same =
            ::stat(path_.c_str(), &st) == 0 ? kept.key && *kept.key == FileKey(st) : !kept.key && MissingError(errno);
        if (same) {
            untrusted_ = kept.untrusted;
            return kept.text;
        }
    }
    std::string contents;
    struct stat st {};
    const LoadResult r = ReadSettingsFile(path_, kMaxFileSize, contents, st, untrusted_);
    if (r == LoadResult::Failed) return nullptr;
    auto text = std::make_shared<const IniText>(std::move(contents));
    if (kept.locks > 0) {
        kept.text = text;
        kept.untrusted = untrusted_;
        kept.key.reset();
        if (r == LoadResult::Ok) kept.key.emplace(st);
    }
    return text;
}

bool IniFile::Replace(const IniText& old, std::string text) {
    if (!untrusted_.empty()) return false;  // never write what another user can have put there
    struct stat written {};
    const bool ok = ReplaceFileContents(path_, old.Text(), text, written);
    if (kept_->locks > 0) {
        *kept_ = Kept{kept_->locks, nullptr, std::nullopt, {}};
        if (ok && written.st_ino != 0) {
            kept_->text = std::make_shared<const IniText>(std::move(text));
            kept_->key.emplace(written);
        }
    }
    return ok;
}

}  // namespace vreko::posix
