#include "os/settings/file_settings.hpp"

#include "os/settings/settings_file_format.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace os {

namespace {

using settings_file::Document;

struct Loaded {
    bool ok = false; // false: the store cannot be reached, nothing may be written
    Document document;
};

void Complain(const std::string& text) {
    std::fprintf(stderr, "mirelo: %s\n", text.c_str());
}

// A file that cannot be used is moved aside before anything is written over it; the
// program then goes on as with no file.
Loaded SetAside(const std::string& path, const std::string& reason) {
    const std::string bad = path + ".bad";
    if (std::rename(path.c_str(), bad.c_str()) != 0) {
        Complain("settings file '" + path + "' " + reason + ", and it cannot be moved aside (" +
                 std::strerror(errno) + "); settings are not saved");
        return {};
    }
    Complain("settings file '" + path + "' " + reason + "; moved aside to '" + bad +
             "', using defaults");
    return {true, {}};
}

Loaded Load(const std::string& path) {
    // Non-blocking, so that a FIFO in its place cannot hang the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        // No file (or no folder) yet: an empty store.
        if (errno == ENOENT || errno == ENOTDIR) return {true, {}};
        Complain("cannot read settings file '" + path + "': " + std::strerror(errno));
        return {};
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Complain("settings file '" + path + "' is not a regular file");
        return {};
    }
    std::string text;
    char buffer[16384];
    int error = 0;
    // Reading stops just past the largest size accepted: more is refused anyway.
    while (text.size() <= settings_file::kMaxFileSize) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (error != 0) {
        Complain("cannot read settings file '" + path + "': " + std::strerror(error));
        return {};
    }
    settings_file::Parsed parsed = settings_file::Parse(text);
    if (parsed.error) {
        const auto& e = *parsed.error;
        return SetAside(path, e.line == 0 ? "is " + e.reason
                                          : "line " + std::to_string(e.line) + ": " + e.reason);
    }
    return {true, std::move(parsed.document)};
}

// Makes the folder and any missing parents, readable by the user alone.
bool MakeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

// All or nothing: the new text goes to a temporary file in the same folder, reaches the
// disk, and only then takes the old file's name.
bool Save(const std::string& path, const Document& document) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    if (slash != 0 && !MakeFolders(folder)) return false;
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) {
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    const std::string text = settings_file::Render(document);
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = std::fflush(file) == 0 && ok;
    ok = ::fsync(::fileno(file)) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself is on the disk once the folder is.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

// What was in the file when the key was opened or last written; every write reads the file
// again, so that values another process stored in the meantime are kept.
class FileKey final : public SettingsKey {
public:
    FileKey(std::string file, std::string key, Document document)
        : file_(std::move(file)), key_(std::move(key)), document_(std::move(document)) {}

    bool ValueExists(const std::string& name) override { return document_.Exists(key_, name); }
    std::optional<SettingValue> Read(const std::string& name) override {
        return document_.Get(key_, name);
    }
    bool Write(const std::string& name, const SettingValue& value) override {
        Loaded loaded = Load(file_);
        if (!loaded.ok) return false;
        if (loaded.document.lines.empty())
            loaded.document.lines.push_back(settings_file::CommentLine(kHeading));
        if (!loaded.document.Set(key_, name, value) || !Save(file_, loaded.document)) return false;
        document_ = std::move(loaded.document);
        return true;
    }

    static constexpr const char* kHeading = "# Mirelo settings";

private:
    std::string file_;
    std::string key_;
    Document document_;
};

} // namespace

FileSettings::FileSettings(std::string path) : path_(std::move(path)) {}

std::string FileSettings::DefaultPath() {
    std::string base;
    // Relative values are to be ignored, as the base directory rules say.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw && pw->pw_dir ? pw->pw_dir : "";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/mirelo/settings.ini";
}

std::unique_ptr<SettingsKey> FileSettings::Open(const std::string& path, bool create) {
    Loaded loaded = Load(path_);
    if (!loaded.ok) return nullptr;
    Document& document = loaded.document;
    if (!document.HasKey(path)) {
        if (!create) return nullptr;
        if (document.lines.empty())
            document.lines.push_back(settings_file::CommentLine(FileKey::kHeading));
        if (!document.AddKey(path) || !Save(path_, document)) return nullptr;
    }
    return std::make_unique<FileKey>(path_, path, std::move(document));
}

} // namespace os
